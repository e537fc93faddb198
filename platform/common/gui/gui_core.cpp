// The UI loop and the cross-thread call queue.
#include "platform/common/gui/gui_core.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"

namespace platform {

namespace {

struct Task {
  WindowHandle handle = 0;
  const std::function<void()>* fn = nullptr;
  bool done = false;
  bool ran = false;
};

// State shared with other threads (under `lock`) and the UI thread's own.
struct State {
  std::mutex lock;
  std::condition_variable finished;
  std::deque<std::shared_ptr<Task>> tasks;
  std::set<WindowHandle> alive;
  std::deque<InputEvent> injected;
  std::thread::id ui_thread;
  std::atomic<bool> started{false};
  std::unique_ptr<Backend> backend;
  std::string backend_name;
  WindowHandle next_handle = 1;
  NativeEventHook hook;

  // UI thread only.
  std::map<WindowHandle, Window*> windows;
  std::vector<Window*> tops;
  std::vector<Window*> modal;
  std::deque<InputEvent> pending;
  Window* capture = nullptr;
  Window* hot = nullptr;
  WindowHandle mouse_top = 0;
  Point mouse_pos;
  Cursor cursor = Cursor::kArrow;
};

State& S() {
  static State* state = new State;  // lives until the process ends
  return *state;
}

void DropTasksLocked(State& s, WindowHandle handle, bool all) {
  for (auto it = s.tasks.begin(); it != s.tasks.end();) {
    if (all || (*it)->handle == handle) {
      (*it)->done = true;
      it = s.tasks.erase(it);
    } else {
      ++it;
    }
  }
}

void RunTasks() {
  State& s = S();
  for (;;) {
    std::shared_ptr<Task> task;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      if (s.tasks.empty()) return;
      task = s.tasks.front();
      s.tasks.pop_front();
      bool live = task->handle == 0 ? !s.alive.empty() : s.alive.count(task->handle) > 0;
      if (!live) {
        task->done = true;
        s.finished.notify_all();
        continue;
      }
    }
    (*task->fn)();
    {
      std::lock_guard<std::mutex> guard(s.lock);
      task->ran = true;
      task->done = true;
    }
    s.finished.notify_all();
  }
}

}  // namespace

bool InitGui(const char* backend) {
  State& s = S();
  if (s.started.load()) return true;
  std::string choice = backend ? backend : "";
  if (choice.empty())
    if (const char* env = getenv("KIVRO_GUI")) choice = env;
  if (choice != "offscreen") s.backend = CreateScreenBackend(choice);
  if (!s.backend) s.backend = CreateOffscreenBackend();
  s.backend_name = s.backend->Name();
  s.ui_thread = std::this_thread::get_id();
  s.started.store(true, std::memory_order_release);
  return true;
}

const char* GuiBackendName() { return S().started.load() ? S().backend_name.c_str() : ""; }

bool HasScreen() { return S().started.load() && S().backend_name != "offscreen"; }

bool IsUiThread() {
  State& s = S();
  return s.started.load(std::memory_order_acquire) && s.ui_thread == std::this_thread::get_id();
}

void SetNativeEventHook(NativeEventHook hook) {
  std::lock_guard<std::mutex> guard(S().lock);
  S().hook = std::move(hook);
}

NativeEventHook CurrentNativeEventHook() {
  std::lock_guard<std::mutex> guard(S().lock);
  return S().hook;
}

bool GuiCore::Started() { return S().started.load(std::memory_order_acquire); }

Backend& GuiCore::TheBackend() { return *S().backend; }

uint64_t GuiCore::NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool GuiCore::Call(WindowHandle handle, const std::function<void()>& fn) {
  State& s = S();
  if (!Started()) return false;
  if (IsUiThread()) {
    if (handle != 0 && s.windows.count(handle) == 0) return false;
    fn();
    return true;
  }
  auto task = std::make_shared<Task>();
  task->handle = handle;
  task->fn = &fn;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    bool live = handle == 0 ? !s.alive.empty() : s.alive.count(handle) > 0;
    if (!live) return false;
    s.tasks.push_back(task);
  }
  s.backend->Wake();
  std::unique_lock<std::mutex> lock(s.lock);
  s.finished.wait(lock, [&] { return task->done; });
  return task->ran;
}

void GuiCore::Inject(const InputEvent& event) {
  State& s = S();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.injected.push_back(event);
  }
  if (Started()) s.backend->Wake();
}

Window* GuiCore::Find(WindowHandle handle) {
  auto it = S().windows.find(handle);
  return it == S().windows.end() ? nullptr : it->second;
}

WindowHandle GuiCore::Register(Window& w) {
  State& s = S();
  WindowHandle h;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    h = s.next_handle++;
    s.alive.insert(h);
  }
  s.windows[h] = &w;
  w.handle_.store(h, std::memory_order_release);
  if (w.top_) s.tops.push_back(&w);
  return h;
}

void GuiCore::Unregister(Window& w) {
  State& s = S();
  WindowHandle h = w.Handle();
  s.windows.erase(h);
  s.tops.erase(std::remove(s.tops.begin(), s.tops.end(), &w), s.tops.end());
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.alive.erase(h);
    DropTasksLocked(s, h, false);
    // With no window left nobody runs the loop for calls that need none in
    // particular: drop them rather than leave their callers waiting.
    if (s.alive.empty()) DropTasksLocked(s, 0, true);
  }
  s.finished.notify_all();
  w.handle_.store(0, std::memory_order_release);
}

void GuiCore::ForgetWindow(Window& w) {
  State& s = S();
  if (s.capture == &w) s.capture = nullptr;
  if (s.hot == &w) s.hot = nullptr;
  s.modal.erase(std::remove(s.modal.begin(), s.modal.end(), &w), s.modal.end());
}

void GuiCore::SetCaptureTo(Window* w) { S().capture = w; }

void GuiCore::LoseMouse(Window& w) {
  State& s = S();
  if (s.capture == &w) s.capture = nullptr;
  if (s.hot == &w) s.hot = nullptr;
}

void GuiCore::PushModal(Window* w) { S().modal.push_back(w); }
void GuiCore::PopModal(Window* w) {
  auto& m = S().modal;
  m.erase(std::remove(m.begin(), m.end(), w), m.end());
}

Window* GuiCore::InnermostModal() { return S().modal.empty() ? nullptr : S().modal.back(); }

bool GuiCore::InputAllowed(Window& top) {
  auto& m = S().modal;
  if (!top.enabled_) return false;
  if (m.empty()) return true;
  // The innermost modal window and windows it owns take input.
  for (Window* o = &top; o; o = o->owner_)
    if (o == m.back()) return true;
  return false;
}

Window* GuiCore::TopOf(const Window& w) {
  const Window* t = &w;
  while (t->parent_) t = t->parent_;
  return const_cast<Window*>(t);
}

Point GuiCore::SurfaceOrigin(const Window& w) {
  Point o;
  for (const Window* t = &w; t->parent_; t = t->parent_) {
    o.x += t->rect_.left;
    o.y += t->rect_.top;
  }
  return o;
}

Rect GuiCore::VisibleArea(const Window& w) {
  Point o = SurfaceOrigin(w);
  Rect area{o.x, o.y, o.x + w.rect_.Width(), o.y + w.rect_.Height()};
  for (const Window* p = w.parent_; p; p = p->parent_) {
    Point po = SurfaceOrigin(*p);
    area = area.Intersect({po.x, po.y, po.x + p->rect_.Width(), po.y + p->rect_.Height()});
  }
  return area;
}

Window* GuiCore::HitTest(Window& top, Point p) {
  Window* at = &top;
  for (;;) {
    Window* next = nullptr;
    // Later children lie above earlier ones; disabled ones let the mouse
    // through to their parent.
    for (auto it = at->children_.rbegin(); it != at->children_.rend(); ++it) {
      Window* c = *it;
      if (c->visible_ && c->enabled_ && c->rect_.Contains(p)) {
        next = c;
        break;
      }
    }
    if (!next) return at;
    p.x -= next->rect_.left;
    p.y -= next->rect_.top;
    at = next;
  }
}

void GuiCore::MarkDirty(Window& w, const Rect& client_rect, bool erase) {
  Rect r = client_rect.Intersect({0, 0, w.rect_.Width(), w.rect_.Height()});
  if (r.IsEmpty()) return;
  if (w.dirty_) {
    w.dirty_rect_ = {std::min(w.dirty_rect_.left, r.left), std::min(w.dirty_rect_.top, r.top),
                     std::max(w.dirty_rect_.right, r.right),
                     std::max(w.dirty_rect_.bottom, r.bottom)};
  } else {
    w.dirty_rect_ = r;
  }
  w.dirty_ = true;
  w.erase_ = w.erase_ || erase;
}

class PaintDc : public WindowDc {
 public:
  PaintDc(Window& w, const Rect& dirty_surface) : WindowDc(w) { Limit(dirty_surface); }
};

void GuiCore::PaintWindowTree(Window& w) {
  if (!w.visible_) return;
  WindowHandle h = w.Handle();
  if (w.dirty_) {
    Point o = SurfaceOrigin(w);
    Rect dirty = w.dirty_rect_.Offset(o.x, o.y);
    bool erase = w.erase_;
    w.dirty_ = false;
    w.erase_ = false;
    {
      PaintDc dc(w, dirty);
      if (erase && !w.OnEraseBackground(dc))
        dc.FillSolidRect(w.GetClientRect(), w.BackgroundColour());
    }
    if (Find(h) != &w) return;
    {
      PaintDc dc(w, dirty);
      w.OnPaint(dc);
    }
    if (Find(h) != &w) return;
    // A parent that erased has wiped what its children showed there.
    if (erase && !(w.style_ & kStyleClipChildren))
      for (Window* c : w.children_) {
        Rect overlap = c->rect_.Offset(o.x, o.y).Intersect(dirty);
        if (!overlap.IsEmpty()) {
          Point co = SurfaceOrigin(*c);
          MarkDirty(*c, overlap.Offset(-co.x, -co.y), true);
        }
      }
  }
  std::vector<Window*> children = w.children_;
  for (Window* c : children)
    if (Find(c->Handle()) == c) PaintWindowTree(*c);
}

void GuiCore::Present(Window& top) {
  if (top.top_) TheBackend().Present(top.Handle(), top.top_->surface);
}

void GuiCore::PaintAll() {
  std::vector<Window*> tops = S().tops;
  for (Window* t : tops) {
    if (Find(t->Handle()) != t) continue;
    bool any = false;
    std::function<bool(Window&)> dirty = [&](Window& w) {
      if (w.dirty_ && w.visible_) return true;
      for (Window* c : w.children_)
        if (dirty(*c)) return true;
      return false;
    };
    any = dirty(*t);
    if (!any) continue;
    PaintWindowTree(*t);
    if (Find(t->Handle()) == t) Present(*t);
  }
}

void GuiCore::FireTimers() {
  uint64_t now = NowMs();
  std::vector<std::pair<WindowHandle, uint32_t>> due;
  for (auto& [h, w] : S().windows)
    for (auto& t : w->timers_)
      if (t.due <= now) due.push_back({h, t.id});
  for (const auto& entry : due) {
    // A plain variable, not a structured binding: lambdas capture those only
    // from C++20 compilers on (clang 16), and Debian's clang is 14.
    uint32_t id = entry.second;
    Window* w = Find(entry.first);
    if (!w) continue;
    auto it = std::find_if(w->timers_.begin(), w->timers_.end(),
                           [&](const Window::Timer& t) { return t.id == id; });
    if (it == w->timers_.end() || it->due > now) continue;
    it->due = now + std::max<uint32_t>(it->period, 1);
    w->OnTimer(id);
  }
}

void GuiCore::FireHover() {
  State& s = S();
  uint64_t now = NowMs();
  Window* w = s.hot;
  if (!w || !w->track_hover_ || w->hover_due_ > now) return;
  w->track_hover_ = false;
  w->OnMouseHover(w->hover_anchor_);
}

uint64_t GuiCore::NextDeadline() {
  uint64_t next = UINT64_MAX;
  for (auto& [h, w] : S().windows) {
    for (auto& t : w->timers_) next = std::min(next, t.due);
    if (w->track_hover_) next = std::min(next, w->hover_due_);
  }
  return next;
}

void GuiCore::DispatchInput(const InputEvent& e) {
  State& s = S();
  Window* top = Find(e.top);
  if (e.kind == InputEvent::kMouseLeave || (top == nullptr && e.kind == InputEvent::kMouseMove)) {
    if (s.mouse_top != e.top && e.kind == InputEvent::kMouseLeave) return;
    Window* hot = s.hot;
    s.hot = nullptr;
    s.mouse_top = 0;
    if (hot && hot->track_leave_) {
      hot->track_leave_ = false;
      hot->track_hover_ = false;
      hot->OnMouseLeave();
    }
    return;
  }
  if (!top) return;
  switch (e.kind) {
    case InputEvent::kExposed:
      Present(*top);
      return;
    case InputEvent::kMinimized:
    case InputEvent::kRestored:
      top->iconic_ = e.kind == InputEvent::kMinimized;
      MarkDirty(*top, top->GetClientRect(), true);
      return;
    case InputEvent::kMoved:
      top->rect_ = top->rect_.Offset(e.p.x - top->rect_.left, e.p.y - top->rect_.top);
      return;
    case InputEvent::kClose:
      if (InputAllowed(*top)) top->OnSysCommand(kScClose);
      return;
    case InputEvent::kKey:
      if (!InputAllowed(*top)) return;
      if (e.alt && e.key == kKeyF4) {
        top->OnSysCommand(kScClose);
      } else if (e.alt && e.key == kKeySpace) {
        ShowSystemMenu(*top, top->ClientToScreen({0, 0}));
      } else {
        top->OnKeyDown(e.key);
      }
      return;
    default:
      break;
  }
  if (!InputAllowed(*top)) {
    if (e.kind == InputEvent::kButtonDown && !s.modal.empty() && s.modal.back()->top_ &&
        s.modal.back()->top_->dismiss)
      s.modal.back()->top_->dismiss();
    return;
  }
  s.mouse_top = e.top;
  s.mouse_pos = e.p;
  Window* target = s.capture ? s.capture : HitTest(*top, e.p);
  if (TopOf(*target) != top && !s.capture) return;
  Point o = SurfaceOrigin(*target);
  Point local{e.p.x - o.x, e.p.y - o.y};
  if (target != s.hot) {
    Window* old = s.hot;
    s.hot = target;
    if (old && old->track_leave_) {
      old->track_leave_ = false;
      old->track_hover_ = false;
      WindowHandle th = target->Handle();
      old->OnMouseLeave();
      if (Find(th) != target) return;
    }
  }
  WindowHandle th = target->Handle();
  switch (e.kind) {
    case InputEvent::kMouseMove:
      if (!target->OnSetCursor()) SetCursor(Cursor::kArrow);
      if (Find(th) != target) return;
      if (target->track_hover_ && (std::abs(local.x - target->hover_anchor_.x) > 2 ||
                                   std::abs(local.y - target->hover_anchor_.y) > 2)) {
        target->hover_anchor_ = local;
        target->hover_due_ = NowMs() + target->hover_ms_;
      }
      target->OnMouseMove(local);
      break;
    case InputEvent::kButtonDown:
      target->OnLButtonDown(local);
      break;
    case InputEvent::kButtonUp:
      target->OnLButtonUp(local);
      break;
    case InputEvent::kRightButtonUp:
      if (target == top && (top->style_ & kStyleSysMenu))
        ShowSystemMenu(*top, top->ClientToScreen(e.p));
      break;
    default:
      break;
  }
}

void GuiCore::Turn(uint32_t max_wait_ms) {
  State& s = S();
  RunTasks();
  std::vector<InputEvent> events(s.pending.begin(), s.pending.end());
  s.pending.clear();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    events.insert(events.end(), s.injected.begin(), s.injected.end());
    s.injected.clear();
  }
  s.backend->WaitInput(0, &events);
  for (const InputEvent& e : events) DispatchInput(e);
  RunTasks();
  FireTimers();
  FireHover();
  PaintAll();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.tasks.empty() || !s.injected.empty()) return;
  }
  uint64_t now = NowMs(), next = NextDeadline();
  uint64_t wait = next <= now ? 0 : std::min<uint64_t>(next - now, max_wait_ms);
  if (wait == 0 && next > now) return;
  std::vector<InputEvent> more;
  s.backend->WaitInput(static_cast<int32_t>(wait), &more);
  s.pending.insert(s.pending.end(), more.begin(), more.end());
}

void GuiCore::RunLoop(const std::function<bool()>& keep_going) {
  while (keep_going()) Turn(250);
}

void SetCursor(Cursor cursor) {
  if (!GuiCore::Started()) return;
  GuiCore::Call(0, [&] {
    if (S().cursor == cursor) return;
    S().cursor = cursor;
    GuiCore::TheBackend().SetCursor(cursor);
  });
}

Cursor GetCursor() {
  Cursor c = Cursor::kArrow;
  GuiCore::Call(0, [&] { c = S().cursor; });
  return c;
}

bool RunOnWindow(WindowHandle handle, const std::function<void(Window&)>& fn) {
  if (handle == 0) return false;
  return GuiCore::Call(handle, [&] {
    if (Window* w = GuiCore::Find(handle)) fn(*w);
  });
}

}  // namespace platform
