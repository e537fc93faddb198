// Window operations. Each public operation runs on the UI thread: directly
// when called there, else through GuiCore::Call while the caller waits.
#include <algorithm>

#include "platform/codepage.h"
#include "platform/common/gui/gui_core.h"

namespace platform {

namespace {
constexpr ColorRef kDialogFace = Rgb(240, 240, 240);
}

WindowDc::WindowDc(const Window& window) {
  Window* top = GuiCore::TopOf(window);
  if (!window.IsAlive() || !top->top_) return;
  surface_ = &top->top_->surface;
  Point o = GuiCore::SurfaceOrigin(window);
  area_ = {o.x, o.y, o.x + window.rect_.Width(), o.y + window.rect_.Height()};
  visible_ = GuiCore::VisibleArea(window);
  SetTarget(surface_, area_, visible_);
}

void WindowDc::Limit(const Rect& surface_rect) {
  if (surface_) SetTarget(surface_, area_, visible_.Intersect(surface_rect));
}

Window::Window() = default;

Window::~Window() {
  if (Handle() != 0) Destroy();
}

bool Window::IsAlive() const { return Handle() != 0; }

void GuiCore::DestroyWindow(Window& w) {
  if (Find(w.Handle()) != &w) return;
  w.OnDestroy();
  if (Find(w.Handle()) != &w) return;
  std::vector<Window*> children = w.children_;
  for (Window* c : children) DestroyWindow(*c);
  ForgetWindow(w);
  w.timers_.clear();
  w.track_hover_ = w.track_leave_ = false;
  if (w.parent_) {
    auto& siblings = w.parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), &w), siblings.end());
    MarkDirty(*w.parent_, w.rect_, true);
  }
  WindowHandle h = w.Handle();
  bool top = w.top_ != nullptr;
  Unregister(w);
  if (top) {
    TheBackend().DestroyNative(h);
    w.top_.reset();
  }
  w.visible_ = false;
}

bool Window::Destroy() {
  return GuiCore::Do(*this, [&] { GuiCore::DestroyWindow(*this); });
}

bool Window::CreateChild(Window* parent, int32_t id, const Rect& rect, bool visible) {
  if (!parent) return false;
  bool ok = false;
  GuiCore::Do(*parent, [&] {
    if (Handle() != 0) return;
    parent_ = parent;
    id_ = id;
    rect_ = rect;
    visible_ = visible;
    if (!font_) font_ = parent->font_;
    parent->children_.push_back(this);
    GuiCore::Register(*this);
    GuiCore::MarkDirty(*this, GetClientRect(), true);
    ok = true;
  });
  return ok;
}

bool Window::CreateTopLevel(Window* owner, const Rect& screen_rect, uint32_t style,
                            const std::string& caption) {
  InitGui();
  bool ok = false;
  std::function<void()> create = [&] {
    if (Handle() != 0 || screen_rect.IsEmpty()) return;
    top_ = std::make_unique<TopLevelState>();
    top_->surface = Bitmap::Colour(screen_rect.Width(), screen_rect.Height());
    top_->owned = owner != nullptr && !(style & kStyleAppWindow);
    owner_ = owner && owner->IsAlive() ? GuiCore::TopOf(*owner) : nullptr;
    rect_ = screen_rect;
    style_ = style;
    text_ = caption;
    visible_ = false;
    WindowHandle h = GuiCore::Register(*this);
    if (!GuiCore::TheBackend().CreateNative(h, screen_rect, style, top_->owned,
                                            Cp949ToUtf8(caption))) {
      GuiCore::Unregister(*this);
      top_.reset();
      return;
    }
    if (owner_) GuiCore::TheBackend().SetOwner(h, owner_->Handle());
    GuiCore::MarkDirty(*this, GetClientRect(), true);
    ok = true;
  };
  if (IsUiThread()) {
    create();
  } else {
    // Creating needs the UI loop; from another thread only while it runs.
    GuiCore::Call(0, create);
  }
  return ok;
}

bool Window::Enable(bool enable) {
  return GuiCore::Do(*this, [&] {
    if (enabled_ == enable) return;
    enabled_ = enable;
    // A disabled window loses the mouse capture.
    if (!enable) GuiCore::LoseMouse(*this);
    GuiCore::MarkDirty(*this, GetClientRect(), true);
  });
}

bool Window::IsEnabled() const {
  bool on = false;
  GuiCore::Do(*this, [&] { on = enabled_; });
  return on;
}

bool Window::Show(ShowCommand command) {
  return GuiCore::Do(*this, [&] {
    switch (command) {
      case ShowCommand::kHide:
        visible_ = false;
        break;
      case ShowCommand::kShow:
        visible_ = true;
        break;
      case ShowCommand::kMinimize:
        visible_ = true;
        iconic_ = top_ != nullptr;
        break;
      case ShowCommand::kRestore:
        visible_ = true;
        iconic_ = false;
        break;
    }
    if (top_) {
      GuiCore::TheBackend().ShowNative(Handle(), command);
    } else if (parent_) {
      GuiCore::MarkDirty(*parent_, rect_, true);
    }
    if (!visible_) GuiCore::LoseMouse(*this);
    GuiCore::MarkDirty(*this, GetClientRect(), true);
  });
}

bool Window::IsVisible() const {
  bool v = false;
  GuiCore::Do(*this, [&] { v = visible_; });
  return v;
}

bool Window::IsIconic() const {
  bool v = false;
  GuiCore::Do(*this, [&] { v = iconic_; });
  return v;
}

bool Window::Move(const Rect& rect, bool repaint) {
  return GuiCore::Do(*this, [&] {
    if (rect.Width() < 0 || rect.Height() < 0) return;
    Rect old = rect_;
    rect_ = rect;
    if (top_) {
      if (old.Width() != rect.Width() || old.Height() != rect.Height()) {
        Bitmap surface = Bitmap::Colour(std::max(rect.Width(), 1), std::max(rect.Height(), 1));
        MemoryDc from, to;
        from.SelectBitmap(&top_->surface);
        to.SelectBitmap(&surface);
        to.BitBlt(0, 0, surface.Width(), surface.Height(), &from, 0, 0, kSrcCopy);
        from.SelectBitmap(nullptr);
        to.SelectBitmap(nullptr);
        top_->surface = std::move(surface);
        GuiCore::MarkDirty(*this, GetClientRect(), true);
      }
      GuiCore::TheBackend().MoveNative(Handle(), rect);
    } else if (repaint && old != rect) {
      if (parent_) GuiCore::MarkDirty(*parent_, old, true);
      GuiCore::MarkDirty(*this, GetClientRect(), true);
    }
  });
}

Rect Window::GetWindowRect() const {
  Rect r;
  GuiCore::Do(*this, [&] {
    Point o = ClientToScreen({0, 0});
    r = {o.x, o.y, o.x + rect_.Width(), o.y + rect_.Height()};
  });
  return r;
}

Rect Window::GetClientRect() const {
  Rect r;
  GuiCore::Do(*this, [&] { r = {0, 0, rect_.Width(), rect_.Height()}; });
  return r;
}

Point Window::ClientToScreen(Point p) const {
  Point out;
  GuiCore::Do(*this, [&] {
    Window* top = GuiCore::TopOf(*this);
    Point o = GuiCore::SurfaceOrigin(*this);
    out = {p.x + o.x + top->rect_.left, p.y + o.y + top->rect_.top};
  });
  return out;
}

Point Window::ScreenToClient(Point p) const {
  Point out;
  GuiCore::Do(*this, [&] {
    Point zero = ClientToScreen({0, 0});
    out = {p.x - zero.x, p.y - zero.y};
  });
  return out;
}

bool Window::Invalidate(bool erase) {
  return GuiCore::Do(*this, [&] {
    GuiCore::MarkDirty(*this, {0, 0, rect_.Width(), rect_.Height()}, erase);
  });
}

bool Window::InvalidateRect(const Rect& rect, bool erase) {
  return GuiCore::Do(*this, [&] { GuiCore::MarkDirty(*this, rect, erase); });
}

bool Window::UpdateWindow() {
  return GuiCore::Do(*this, [&] {
    Window* top = GuiCore::TopOf(*this);
    GuiCore::PaintWindowTree(*this);
    if (top->IsAlive()) GuiCore::Present(*top);
  });
}

bool Window::SetTimer(uint32_t id, uint32_t milliseconds) {
  return GuiCore::Do(*this, [&] {
    uint64_t due = GuiCore::NowMs() + std::max<uint32_t>(milliseconds, 1);
    for (auto& t : timers_)
      if (t.id == id) {
        t.period = milliseconds;
        t.due = due;
        return;
      }
    timers_.push_back({id, milliseconds, due});
  });
}

bool Window::KillTimer(uint32_t id) {
  bool found = false;
  GuiCore::Do(*this, [&] {
    auto it =
        std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; });
    found = it != timers_.end();
    if (found) timers_.erase(it);
  });
  return found;
}

bool Window::TrackMouseEvent(uint32_t flags, uint32_t hoverMs) {
  bool ok = false;
  GuiCore::Do(*this, [&] {
    if (flags & kTrackCancel) {
      if (flags & kTrackHover) track_hover_ = false;
      if (flags & kTrackLeave) track_leave_ = false;
      ok = true;
      return;
    }
    if (flags & kTrackHover) {
      track_hover_ = true;
      hover_ms_ = hoverMs;
      hover_due_ = GuiCore::NowMs() + hoverMs;
    }
    if (flags & kTrackLeave) track_leave_ = true;
    ok = true;
  });
  return ok;
}

bool Window::SetText(const std::string& text) {
  return GuiCore::Do(*this, [&] {
    text_ = text;
    if (top_) GuiCore::TheBackend().SetTitle(Handle(), Cp949ToUtf8(text));
    GuiCore::MarkDirty(*this, GetClientRect(), true);
  });
}

std::string Window::GetText() const {
  std::string t;
  GuiCore::Do(*this, [&] { t = text_; });
  return t;
}

bool Window::SetFont(const Font* font) {
  return GuiCore::Do(*this, [&] {
    font_ = font;
    GuiCore::MarkDirty(*this, GetClientRect(), true);
  });
}

const Font* Window::GetFont() const { return font_; }

bool Window::SetIcon(const Icon& icon, bool big) {
  return GuiCore::Do(*this, [&] {
    (big ? big_icon_ : small_icon_) = icon;
    if (top_ && (big || big_icon_.IsNull())) GuiCore::TheBackend().SetIcon(Handle(), icon);
  });
}

bool Window::AppendSystemMenu(uint32_t id, const std::string& text) {
  return GuiCore::Do(*this, [&] { system_menu_.push_back({id, text}); });
}

std::vector<SystemMenuEntry> Window::SystemMenu() const {
  std::vector<SystemMenuEntry> menu;
  GuiCore::Do(*this, [&] { menu = system_menu_; });
  return menu;
}

intptr_t Window::SendWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  intptr_t answer = 0;
  GuiCore::Do(*this, [&] { answer = OnMessage(message, wparam, lparam); });
  return answer;
}

bool Window::RunOnUiThread(const std::function<void()>& fn) { return GuiCore::Do(*this, fn); }

uint64_t Window::NativeId() const {
  uint64_t id = 0;
  GuiCore::Do(*this, [&] {
    if (top_) id = GuiCore::TheBackend().NativeId(Handle());
  });
  return id;
}

bool Window::SetCapture() {
  return GuiCore::Do(*this, [&] { GuiCore::SetCaptureTo(this); });
}

bool Window::ReleaseCapture() {
  return GuiCore::Do(*this, [&] { GuiCore::SetCaptureTo(nullptr); });
}

void Window::OnPaint(Dc&) {}
bool Window::OnEraseBackground(Dc&) { return false; }
void Window::OnMouseMove(Point) {}
void Window::OnMouseHover(Point) {}
void Window::OnMouseLeave() {}
void Window::OnLButtonDown(Point) {}
void Window::OnLButtonUp(Point) {}
bool Window::OnSetCursor() { return false; }
void Window::OnTimer(uint32_t) {}
void Window::OnCommand(int32_t) {}
bool Window::OnKeyDown(int32_t) { return false; }
void Window::OnClose() { Destroy(); }
void Window::OnDestroy() {}
intptr_t Window::OnMessage(uint32_t, uintptr_t, intptr_t) { return 0; }

ColorRef Window::BackgroundColour() const {
  return parent_ ? parent_->BackgroundColour() : kDialogFace;
}

void Window::EraseIconBackground(Dc& dc) { dc.FillSolidRect(GetClientRect(), BackgroundColour()); }

void Window::OnSysCommand(uint32_t command) {
  switch (command & 0xFFF0) {
    case kScClose:
      OnClose();
      break;
    case kScMinimize:
      Show(ShowCommand::kMinimize);
      break;
    case kScRestore:
      Show(ShowCommand::kRestore);
      break;
    default:
      break;
  }
}

}  // namespace platform
