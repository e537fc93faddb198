// The Windows presenter: one real top-level window per toolkit window, the
// system's message loop inside WaitInput, and the finished frame copied to
// the window with SetDIBitsToDevice on WM_PAINT. The toolkit draws every
// pixel itself (controls, text, skins), so presenting its surface as it is
// gives the same frame as the other backends, pixel for pixel; drawing with
// GDI's own controls would not.
//
// Messages reach the window procedure on the UI thread (the thread that made
// the windows); input becomes InputEvents that the core dispatches after
// WaitInput returns. Program messages (WM_USER and up), such as another
// process's SendMessageTimeout, go first to the native-event hook as a MSG,
// then to the window's OnMessage, whose answer is the message's result.
#include <windows.h>

#include <map>
#include <vector>

#include "platform/common/gui/backend.h"
#include "platform/win32/gui/win32_window_style.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

constexpr wchar_t kWindowClass[] = L"KivroToolkitWindow";
// The icon the programs carry in their resource section (the .exe's icon).
constexpr int kProgramIconId = 128;

// Signed client coordinates of a mouse message.
int32_t XOf(LPARAM l) { return static_cast<int16_t>(LOWORD(l)); }
int32_t YOf(LPARAM l) { return static_cast<int16_t>(HIWORD(l)); }

LPCWSTR SystemCursor(LPSTR id) { return reinterpret_cast<LPCWSTR>(id); }

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

class Win32Backend;
Win32Backend* g_backend = nullptr;  // one presenter per process, on the UI thread

struct NativeWindow {
  HWND hwnd = nullptr;
  std::vector<uint32_t> frame;  // the last presented surface, 0x00RRGGBB rows
  int32_t width = 0;
  int32_t height = 0;
  HICON icon = nullptr;
  bool tracking_leave = false;
  bool minimized = false;
  bool menu = false;  // a pop-up menu: shown without taking the focus
};

class Win32Backend : public Backend {
 public:
  bool Start() {
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (wake_ == nullptr) return false;
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = &Win32Backend::Procedure;
    c.hInstance = ThisModule();
    c.hIcon = LoadIconW(c.hInstance, MAKEINTRESOURCEW(kProgramIconId));
    c.lpszClassName = kWindowClass;
    if (RegisterClassExW(&c) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    // A desktop where windows can be made (a service without one cannot).
    HWND probe = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                 nullptr, ThisModule(), nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    g_backend = this;
    return true;
  }

  ~Win32Backend() override {
    for (auto& [h, w] : windows_) {
      if (w.hwnd) DestroyWindow(w.hwnd);
      if (w.icon) DestroyIcon(w.icon);
    }
    if (g_backend == this) g_backend = nullptr;
    if (wake_) CloseHandle(wake_);
  }

  const char* Name() const override { return "win32"; }

  bool CreateNative(WindowHandle top, const Rect& r, uint32_t style, bool owned,
                    const std::string& caption) override {
    NativeStyle ns = NativeStyleOf(style, owned);
    RECT outer{r.left, r.top, r.right, r.bottom};
    AdjustWindowRectEx(&outer, ns.style, FALSE, ns.ex_style);
    NativeWindow& w = windows_[top];
    w.menu = ns.menu;
    HWND hwnd = CreateWindowExW(ns.ex_style, kWindowClass, Utf8ToWide(caption).c_str(), ns.style,
                                outer.left, outer.top, outer.right - outer.left,
                                outer.bottom - outer.top, nullptr, nullptr, ThisModule(),
                                reinterpret_cast<LPVOID>(static_cast<uintptr_t>(top)));
    if (hwnd == nullptr) {
      windows_.erase(top);
      return false;
    }
    w.hwnd = hwnd;
    return true;
  }

  void SetOwner(WindowHandle top, WindowHandle owner) override {
    NativeWindow* w = Get(top);
    NativeWindow* o = Get(owner);
    // GWLP_HWNDPARENT of a top-level window is its owner: it stays above it
    // and leaves the taskbar to it.
    if (w && o) SetWindowLongPtrW(w->hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(o->hwnd));
  }

  void DestroyNative(WindowHandle top) override {
    auto it = windows_.find(top);
    if (it == windows_.end()) return;
    HWND hwnd = it->second.hwnd;
    HICON icon = it->second.icon;
    it->second.hwnd = nullptr;
    if (hwnd) DestroyWindow(hwnd);
    windows_.erase(top);
    if (icon) DestroyIcon(icon);
  }

  void ShowNative(WindowHandle top, ShowCommand command) override {
    NativeWindow* w = Get(top);
    if (!w) return;
    switch (command) {
      case ShowCommand::kHide:
        ShowWindow(w->hwnd, SW_HIDE);
        break;
      case ShowCommand::kShow:
        if (w->menu) {
          SetWindowPos(w->hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        } else {
          ShowWindow(w->hwnd, SW_SHOW);
          SetForegroundWindow(w->hwnd);
        }
        break;
      case ShowCommand::kMinimize:
        ShowWindow(w->hwnd, SW_MINIMIZE);
        break;
      case ShowCommand::kRestore:
        ShowWindow(w->hwnd, SW_RESTORE);
        break;
    }
  }

  void MoveNative(WindowHandle top, const Rect& r) override {
    NativeWindow* w = Get(top);
    if (!w) return;
    RECT outer{r.left, r.top, r.right, r.bottom};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(w->hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(w->hwnd, GWL_EXSTYLE)));
    SetWindowPos(w->hwnd, nullptr, outer.left, outer.top, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void SetTitle(WindowHandle top, const std::string& utf8) override {
    if (NativeWindow* w = Get(top)) SetWindowTextW(w->hwnd, Utf8ToWide(utf8).c_str());
  }

  void SetIcon(WindowHandle top, const Icon& icon) override {
    NativeWindow* w = Get(top);
    if (!w || icon.IsNull()) return;
    HICON made = MakeIcon(icon);
    if (made == nullptr) return;
    SendMessageW(w->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(made));
    SendMessageW(w->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(made));
    if (w->icon) DestroyIcon(w->icon);
    w->icon = made;
  }

  void Present(WindowHandle top, const Bitmap& surface) override {
    NativeWindow* w = Get(top);
    if (!w || surface.IsNull()) return;
    w->width = surface.Width();
    w->height = surface.Height();
    w->frame.assign(surface.Row(0), surface.Row(0) + static_cast<size_t>(w->width) * w->height);
    // Painted at once, not when the queue next gets to WM_PAINT: progress
    // shown from a worker's callback appears while the worker waits.
    InvalidateRect(w->hwnd, nullptr, FALSE);
    UpdateWindow(w->hwnd);
  }

  void SetCursor(Cursor cursor) override {
    LPCWSTR id = SystemCursor(IDC_ARROW);
    switch (cursor) {
      case Cursor::kArrow:
        id = SystemCursor(IDC_ARROW);
        break;
      case Cursor::kHand:
        id = SystemCursor(IDC_HAND);
        break;
      case Cursor::kWait:
        id = SystemCursor(IDC_WAIT);
        break;
      case Cursor::kIBeam:
        id = SystemCursor(IDC_IBEAM);
        break;
    }
    cursor_ = LoadCursorW(nullptr, id);
    ::SetCursor(cursor_);
  }

  uint64_t NativeId(WindowHandle top) override {
    NativeWindow* w = Get(top);
    return w ? static_cast<uint64_t>(reinterpret_cast<uintptr_t>(w->hwnd)) : 0;
  }

  Size ScreenSize() override {
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    if (cx <= 0 || cy <= 0) return {1024, 768};
    return {cx, cy};
  }

  void WaitInput(int32_t timeout_ms, std::vector<InputEvent>* out) override {
    handled_ = false;
    Pump();
    // A handler that ran for a sent message may have left painting to do:
    // no waiting then.
    if (timeout_ms > 0 && pending_.empty() && !handled_) {
      MsgWaitForMultipleObjectsEx(1, &wake_, static_cast<DWORD>(timeout_ms), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
      Pump();
    }
    out->insert(out->end(), pending_.begin(), pending_.end());
    pending_.clear();
  }

  // Any thread: an event rather than a posted message, which would need a
  // window or a message queue of the UI thread to exist already and would
  // be taken by any message loop the system runs meanwhile.
  void Wake() override { SetEvent(wake_); }

 private:
  NativeWindow* Get(WindowHandle top) {
    auto it = windows_.find(top);
    return it == windows_.end() || it->second.hwnd == nullptr ? nullptr : &it->second;
  }

  // Dispatching also delivers what other threads and processes sent.
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;  // the toolkit ends its loops itself
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  void Push(WindowHandle top, InputEvent::Kind kind, Point p = {}, int32_t key = 0, bool alt = false) {
    InputEvent e;
    e.kind = kind;
    e.top = top;
    e.p = p;
    e.key = key;
    e.alt = alt;
    pending_.push_back(e);
  }

  static void PaintFrame(HDC dc, const NativeWindow& w) {
    if (w.frame.empty()) return;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w.width;
    bi.bmiHeader.biHeight = -w.height;  // rows top to bottom, as the surface keeps them
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(w.width), static_cast<DWORD>(w.height), 0, 0, 0,
                      static_cast<UINT>(w.height), w.frame.data(), &bi, DIB_RGB_COLORS);
  }

  static HICON MakeIcon(const Icon& icon) {
    int32_t n = icon.Width();
    BITMAPV5HEADER h{};
    h.bV5Size = sizeof h;
    h.bV5Width = n;
    h.bV5Height = -n;
    h.bV5Planes = 1;
    h.bV5BitCount = 32;
    h.bV5Compression = BI_BITFIELDS;
    h.bV5RedMask = 0x00FF0000;
    h.bV5GreenMask = 0x0000FF00;
    h.bV5BlueMask = 0x000000FF;
    h.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (colour == nullptr) return nullptr;
    memcpy(bits, icon.Pixels().data(), icon.Pixels().size() * 4);
    // The mask: set where the icon is transparent; rows of whole words.
    size_t stride = static_cast<size_t>((n + 15) / 16) * 2;
    std::vector<uint8_t> mask(stride * n, 0);
    for (int32_t y = 0; y < n; ++y)
      for (int32_t x = 0; x < n; ++x)
        if ((icon.Argb(x, y) >> 24) == 0) mask[y * stride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    HBITMAP mono = CreateBitmap(n, n, 1, 1, mask.data());
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mono;
    info.hbmColor = colour;
    HICON made = mono ? CreateIconIndirect(&info) : nullptr;
    DeleteObject(colour);
    if (mono) DeleteObject(mono);
    return made;
  }

  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto top = static_cast<WindowHandle>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (g_backend == nullptr || top == 0) return DefWindowProcW(hwnd, message, wparam, lparam);
    return g_backend->Handle(hwnd, top, message, wparam, lparam);
  }

  LRESULT Handle(HWND hwnd, WindowHandle top, UINT message, WPARAM wparam, LPARAM lparam) {
    if (NativeEventHook hook = CurrentNativeEventHook()) {
      MSG msg{};
      msg.hwnd = hwnd;
      msg.message = message;
      msg.wParam = wparam;
      msg.lParam = lparam;
      msg.time = static_cast<DWORD>(GetMessageTime());
      if (hook(reinterpret_cast<const NativeEvent*>(&msg))) {
        handled_ = true;
        return 0;
      }
    }
    if (message >= WM_USER && message <= 0xFFFF) {
      handled_ = true;
      intptr_t answer = 0;
      RunOnWindow(top, [&](Window& w) {
        answer = w.SendWindowMessage(message, static_cast<uintptr_t>(wparam), static_cast<intptr_t>(lparam));
      });
      return static_cast<LRESULT>(answer);
    }
    NativeWindow* w = Get(top);
    Point at{XOf(lparam), YOf(lparam)};
    switch (message) {
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (w) PaintFrame(dc, *w);
        EndPaint(hwnd, &ps);
        return 0;
      }
      case WM_PRINTCLIENT:
        // PrintWindow and the system's own pictures of the window.
        if (w) PaintFrame(reinterpret_cast<HDC>(wparam), *w);
        return 0;
      case WM_ERASEBKGND:
        return 1;  // the frame covers every pixel
      case WM_MOUSEMOVE:
        if (w && !w->tracking_leave) {
          TRACKMOUSEEVENT t{};
          t.cbSize = sizeof t;
          t.dwFlags = TME_LEAVE;
          t.hwndTrack = hwnd;
          w->tracking_leave = ::TrackMouseEvent(&t) != FALSE;
        }
        Push(top, InputEvent::kMouseMove, at);
        return 0;
      case WM_MOUSELEAVE:
        if (w) w->tracking_leave = false;
        Push(top, InputEvent::kMouseLeave);
        return 0;
      case WM_LBUTTONDOWN:
        // Held while the button is down, so its release outside still comes here.
        ::SetCapture(hwnd);
        Push(top, InputEvent::kButtonDown, at);
        return 0;
      case WM_LBUTTONUP:
        if (::GetCapture() == hwnd) ::ReleaseCapture();
        Push(top, InputEvent::kButtonUp, at);
        return 0;
      case WM_RBUTTONUP:
        Push(top, InputEvent::kRightButtonUp, at);
        return 0;
      case WM_NCRBUTTONUP:
        // The title bar's menu is the toolkit's system menu (with the
        // program's own entries), not the system's.
        if (wparam == HTCAPTION || wparam == HTSYSMENU) {
          POINT p{at.x, at.y};
          ScreenToClient(hwnd, &p);
          Push(top, InputEvent::kRightButtonUp, {p.x, p.y});
          return 0;
        }
        break;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN: {
        int32_t key = ToolkitKey(static_cast<UINT>(wparam));
        if (key == 0) break;
        bool alt = (lparam & (1 << 29)) != 0;
        Push(top, InputEvent::kKey, {}, key, alt);
        return 0;  // Alt+F4 and Alt+Space are the toolkit's
      }
      case WM_SYSCHAR:
        if (wparam == L' ') return 0;  // Alt+Space: the toolkit's menu, already asked for
        break;
      case WM_SETCURSOR:
        if (LOWORD(lparam) == HTCLIENT) {
          ::SetCursor(cursor_ ? cursor_ : LoadCursorW(nullptr, SystemCursor(IDC_ARROW)));
          return TRUE;
        }
        break;
      case WM_CLOSE:
        Push(top, InputEvent::kClose);
        return 0;  // the toolkit decides, then destroys the window itself
      case WM_MOVE:
        if (!IsIconic(hwnd)) Push(top, InputEvent::kMoved, {XOf(lparam), YOf(lparam)});
        return 0;
      case WM_SIZE:
        if (w && wparam == SIZE_MINIMIZED && !w->minimized) {
          w->minimized = true;
          Push(top, InputEvent::kMinimized);
        } else if (w && wparam != SIZE_MINIMIZED && w->minimized) {
          w->minimized = false;
          Push(top, InputEvent::kRestored);
        }
        return 0;
      case WM_MOUSEACTIVATE:
        if (w && w->menu) return MA_NOACTIVATE;
        break;
      default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  static int32_t ToolkitKey(UINT vk) {
    switch (vk) {
      case VK_ESCAPE:
        return kKeyEscape;
      case VK_RETURN:
        return kKeyReturn;
      case VK_F4:
        return kKeyF4;
      case VK_SPACE:
        return kKeySpace;
      default:
        return 0;
    }
  }

  HANDLE wake_ = nullptr;
  HCURSOR cursor_ = nullptr;
  bool handled_ = false;  // a hook or handler ran during this WaitInput
  std::map<WindowHandle, NativeWindow> windows_;
  std::vector<InputEvent> pending_;
};

}  // namespace

std::unique_ptr<Backend> CreateScreenBackend(const std::string& choice) {
  if (!choice.empty() && choice != "win32") return nullptr;
  auto backend = std::make_unique<Win32Backend>();
  if (!backend->Start()) return nullptr;
  return backend;
}

}  // namespace platform
