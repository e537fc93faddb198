// The SDL2 backend: one SDL window per top-level window, its surface copied
// in on every present; input and window events are translated for the core.
// Native X11 events reach the hook of SetNativeEventHook.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdlib>
#include <map>

#include "platform/common/gui/backend.h"

namespace platform {

namespace {

class SdlBackend : public Backend {
 public:
  bool Start() {
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Surfaces go straight to X (shared memory images): no OpenGL driver
    // is loaded for a window that is painted in software anyway.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
    wake_type_ = SDL_RegisterEvents(1);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    return wake_type_ != static_cast<Uint32>(-1);
  }

  ~SdlBackend() override {
    for (auto& [h, w] : windows_) SDL_DestroyWindow(w);
    for (auto& [k, c] : cursors_) SDL_FreeCursor(c);
    SDL_Quit();
  }

  const char* Name() const override { return "sdl"; }

  bool CreateNative(WindowHandle top, const Rect& r, uint32_t style, bool owned,
                    const std::string& caption) override {
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!(style & kStyleCaption)) flags |= SDL_WINDOW_BORDERLESS;
    if (owned) flags |= SDL_WINDOW_SKIP_TASKBAR;
    // A bordered pop-up without caption that something owns is a menu.
    if (owned && !(style & kStyleCaption) && (style & kStyleBorder)) flags |= SDL_WINDOW_POPUP_MENU;
    SDL_Window* w = SDL_CreateWindow(caption.c_str(), r.left, r.top, r.Width(), r.Height(), flags);
    if (!w) return false;
    windows_[top] = w;
    ids_[SDL_GetWindowID(w)] = top;
    return true;
  }

  void DestroyNative(WindowHandle top) override {
    auto it = windows_.find(top);
    if (it == windows_.end()) return;
    ids_.erase(SDL_GetWindowID(it->second));
    SDL_DestroyWindow(it->second);
    windows_.erase(it);
  }

  void ShowNative(WindowHandle top, ShowCommand command) override {
    SDL_Window* w = Get(top);
    if (!w) return;
    switch (command) {
      case ShowCommand::kHide:
        SDL_HideWindow(w);
        break;
      case ShowCommand::kShow:
        SDL_ShowWindow(w);
        SDL_RaiseWindow(w);
        break;
      case ShowCommand::kMinimize:
        SDL_MinimizeWindow(w);
        break;
      case ShowCommand::kRestore:
        SDL_RestoreWindow(w);
        break;
    }
  }

  void MoveNative(WindowHandle top, const Rect& r) override {
    SDL_Window* w = Get(top);
    if (!w) return;
    SDL_SetWindowPosition(w, r.left, r.top);
    SDL_SetWindowSize(w, r.Width(), r.Height());
  }

  void SetTitle(WindowHandle top, const std::string& utf8) override {
    if (SDL_Window* w = Get(top)) SDL_SetWindowTitle(w, utf8.c_str());
  }

  void SetIcon(WindowHandle top, const Icon& icon) override {
    SDL_Window* w = Get(top);
    if (!w || icon.IsNull()) return;
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(icon.Pixels().data()),
                                                        icon.Width(), icon.Height(), 32,
                                                        icon.Width() * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!s) return;
    SDL_SetWindowIcon(w, s);
    SDL_FreeSurface(s);
  }

  void Present(WindowHandle top, const Bitmap& surface) override {
    SDL_Window* w = Get(top);
    if (!w || surface.IsNull()) return;
    SDL_Surface* target = SDL_GetWindowSurface(w);
    if (!target) return;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(surface.Row(0)), surface.Width(), surface.Height(), 32,
        surface.Width() * 4, SDL_PIXELFORMAT_RGB888);
    if (!source) return;
    SDL_BlitSurface(source, nullptr, target, nullptr);
    SDL_FreeSurface(source);
    SDL_UpdateWindowSurface(w);
  }

  void SetCursor(Cursor cursor) override {
    SDL_SystemCursor id = SDL_SYSTEM_CURSOR_ARROW;
    switch (cursor) {
      case Cursor::kArrow:
        id = SDL_SYSTEM_CURSOR_ARROW;
        break;
      case Cursor::kHand:
        id = SDL_SYSTEM_CURSOR_HAND;
        break;
      case Cursor::kWait:
        id = SDL_SYSTEM_CURSOR_WAIT;
        break;
      case Cursor::kIBeam:
        id = SDL_SYSTEM_CURSOR_IBEAM;
        break;
    }
    SDL_Cursor*& c = cursors_[id];
    if (!c) c = SDL_CreateSystemCursor(id);
    if (c) SDL_SetCursor(c);
  }

  uint64_t NativeId(WindowHandle top) override {
    SDL_Window* w = Get(top);
    if (!w) return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return static_cast<uint64_t>(info.info.x11.window);
  }

  Size ScreenSize() override {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return {1024, 768};
    return {mode.w, mode.h};
  }

  void WaitInput(int32_t timeout_ms, std::vector<InputEvent>* out) override {
    if (timeout_ms > 0) SDL_WaitEventTimeout(nullptr, timeout_ms);
    SDL_Event e;
    while (SDL_PollEvent(&e)) Translate(e, out);
  }

  void Wake() override {
    SDL_Event e;
    SDL_zero(e);
    e.type = wake_type_;
    SDL_PushEvent(&e);
  }

 private:
  SDL_Window* Get(WindowHandle top) {
    auto it = windows_.find(top);
    return it == windows_.end() ? nullptr : it->second;
  }

  WindowHandle Of(Uint32 window_id) {
    auto it = ids_.find(window_id);
    return it == ids_.end() ? 0 : it->second;
  }

  void Translate(const SDL_Event& e, std::vector<InputEvent>* out) {
    InputEvent ev;
    switch (e.type) {
      case SDL_MOUSEMOTION:
        ev.top = Of(e.motion.windowID);
        ev.p = {e.motion.x, e.motion.y};
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        ev.top = Of(e.button.windowID);
        ev.p = {e.button.x, e.button.y};
        if (e.button.button == SDL_BUTTON_LEFT) {
          ev.kind = e.type == SDL_MOUSEBUTTONDOWN ? InputEvent::kButtonDown : InputEvent::kButtonUp;
        } else if (e.button.button == SDL_BUTTON_RIGHT && e.type == SDL_MOUSEBUTTONUP) {
          ev.kind = InputEvent::kRightButtonUp;
        } else {
          return;
        }
        break;
      case SDL_KEYDOWN: {
        ev.kind = InputEvent::kKey;
        ev.top = Of(e.key.windowID);
        ev.alt = (e.key.keysym.mod & KMOD_ALT) != 0;
        switch (e.key.keysym.sym) {
          case SDLK_ESCAPE:
            ev.key = kKeyEscape;
            break;
          case SDLK_RETURN:
          case SDLK_KP_ENTER:
            ev.key = kKeyReturn;
            break;
          case SDLK_F4:
            ev.key = kKeyF4;
            break;
          case SDLK_SPACE:
            ev.key = kKeySpace;
            break;
          default:
            return;
        }
        break;
      }
      case SDL_WINDOWEVENT:
        ev.top = Of(e.window.windowID);
        switch (e.window.event) {
          case SDL_WINDOWEVENT_LEAVE:
            ev.kind = InputEvent::kMouseLeave;
            break;
          case SDL_WINDOWEVENT_CLOSE:
            ev.kind = InputEvent::kClose;
            break;
          case SDL_WINDOWEVENT_EXPOSED:
            ev.kind = InputEvent::kExposed;
            break;
          case SDL_WINDOWEVENT_MINIMIZED:
            ev.kind = InputEvent::kMinimized;
            break;
          case SDL_WINDOWEVENT_RESTORED:
            ev.kind = InputEvent::kRestored;
            break;
          case SDL_WINDOWEVENT_MOVED:
            ev.kind = InputEvent::kMoved;
            ev.p = {e.window.data1, e.window.data2};
            break;
          default:
            return;
        }
        break;
      case SDL_SYSWMEVENT: {
        NativeEventHook hook = CurrentNativeEventHook();
        if (hook && e.syswm.msg && e.syswm.msg->subsystem == SDL_SYSWM_X11)
          hook(reinterpret_cast<const NativeEvent*>(&e.syswm.msg->msg.x11.event));
        return;
      }
      default:
        return;
    }
    if (ev.top) out->push_back(ev);
  }

  Uint32 wake_type_ = 0;
  std::map<WindowHandle, SDL_Window*> windows_;
  std::map<Uint32, WindowHandle> ids_;
  std::map<int, SDL_Cursor*> cursors_;
};

}  // namespace

}  // namespace platform

// SDL's X11 video asks D-Bus for the screen saver and input methods; the
// D-Bus library keeps a buffer until the process ends, which the leak checker
// of sanitizer builds would report for every program with a window.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace platform {

std::unique_ptr<Backend> CreateScreenBackend(const std::string& choice) {
  // "sdl" asks for it; any other choice but off-screen takes it when there
  // is a display.
  const char* display = getenv("DISPLAY");
  if (choice != "sdl" && !(display && *display)) return nullptr;
  auto backend = std::make_unique<SdlBackend>();
  if (!backend->Start()) return nullptr;
  return backend;
}

}  // namespace platform
