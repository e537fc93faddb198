// Top-level windows through the system's window manager:
// - a TopWindow is an HWND; titles are the windows' texts (UTF-16, held in
//   code page 949 here) compared exactly, case included;
// - properties are the system's window properties (SetPropW...), whose
//   names the system compares without case; the number 0 counts as none;
// - a sent message is SendMessageTimeoutW: the receiving thread handles it
//   in its window procedure while it takes messages. Our windows hand
//   messages of the application ranges (WM_USER and up) to their handler;
//   the system's own messages keep their usual meaning.
// A NativeEvent here is a MSG.
#include "platform/top_windows.h"

#include <windows.h>

#include <mutex>

#include "platform/thread.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

constexpr wchar_t kMessageWindowClass[] = L"KivroMessageWindow";

HWND AsHwnd(TopWindow window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }
TopWindow AsTopWindow(HWND window) { return static_cast<TopWindow>(reinterpret_cast<uintptr_t>(window)); }

// Messages a program defines for itself: private (WM_USER...), application
// (WM_APP...) and registered ones (RegisterWindowMessage).
bool IsProgramMessage(UINT message) { return message >= WM_USER && message <= 0xFFFF; }

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<TopWindow>*>(list)->push_back(AsTopWindow(window));
  return TRUE;
}

std::vector<TopWindow> EnumerateWindows() {
  std::vector<TopWindow> windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::wstring WideTitleOf(HWND window) {
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::wstring title(static_cast<size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(window, title.data(), length + 1);
  title.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return title;
}

LRESULT CALLBACK MessageWindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (IsProgramMessage(message)) {
    auto* handler = reinterpret_cast<SentMessageHandler*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (handler != nullptr && *handler) {
      return static_cast<LRESULT>((*handler)(AsTopWindow(window), message, wparam, lparam));
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool RegisterMessageWindowClass() {
  static std::once_flag once;
  static bool registered = false;
  std::call_once(once, [] {
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = MessageWindowProcedure;
    c.hInstance = GetModuleHandleW(nullptr);
    c.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    c.lpszClassName = kMessageWindowClass;
    registered = RegisterClassExW(&c) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  });
  return registered;
}

}  // namespace

// Whether windows can be made here: a hidden one is made and destroyed at
// once (a desktop exists even where no window can be made, as under Wine
// without a graphics driver).
bool HasDisplay() {
  HWND probe = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

std::vector<TopWindow> TopLevelWindows() { return EnumerateWindows(); }

TopWindow FindTopLevelWindow(const std::string& title) {
  // No window is searched for by no title (many have none).
  if (title.empty()) return 0;
  std::wstring wanted = Cp949ToWide(title);
  // The system's search ignores case: the first of its candidates, in Z
  // order, whose title matches exactly.
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, nullptr, wanted.c_str())) != nullptr) {
    if (WideTitleOf(window) == wanted) return AsTopWindow(window);
  }
  return 0;
}

std::string GetTopWindowTitle(TopWindow window) {
  if (window == 0 || !IsWindow(AsHwnd(window))) return std::string();
  return WideToCp949(WideTitleOf(AsHwnd(window)));
}

uintptr_t GetTopWindowProperty(TopWindow window, const std::string& name) {
  if (window == 0 || name.empty()) return 0;
  return reinterpret_cast<uintptr_t>(GetPropW(AsHwnd(window), Cp949ToWide(name).c_str()));
}

std::vector<TopWindow> TopLevelWindowsWithProperty(const std::string& name) {
  std::vector<TopWindow> found;
  if (name.empty()) return found;
  std::wstring wide = Cp949ToWide(name);
  for (TopWindow w : EnumerateWindows()) {
    if (GetPropW(AsHwnd(w), wide.c_str()) != nullptr) found.push_back(w);
  }
  return found;
}

bool SetTopWindowProperty(TopWindow window, const std::string& name, uintptr_t value) {
  if (window == 0 || name.empty()) return false;
  return SetPropW(AsHwnd(window), Cp949ToWide(name).c_str(), reinterpret_cast<HANDLE>(value)) != FALSE;
}

bool RemoveTopWindowProperty(TopWindow window, const std::string& name) {
  if (window == 0 || name.empty()) return false;
  // RemovePropW answers the number it removed, which may be 0: the window's
  // survival says whether the call reached it.
  RemovePropW(AsHwnd(window), Cp949ToWide(name).c_str());
  return IsWindow(AsHwnd(window)) != FALSE;
}

SendResult SendTopWindowMessage(TopWindow window, uint32_t message, uintptr_t wparam,
                                intptr_t lparam, uint32_t timeout_ms, intptr_t* answer) {
  HWND target = AsHwnd(window);
  if (window == 0 || !IsWindow(target)) return SendResult::kNoWindow;
  DWORD_PTR result = 0;
  // A program that takes no messages for a while (the system counts it as
  // hung) is not waited for at all; SMTO_ERRORONEXIT ends the wait when the
  // receiving thread ends.
  LRESULT sent = SendMessageTimeoutW(target, message, static_cast<WPARAM>(wparam),
                                     static_cast<LPARAM>(lparam),
                                     SMTO_ABORTIFHUNG | SMTO_ERRORONEXIT, timeout_ms, &result);
  if (sent != 0) {
    // As on every backend, 32 bits of the answer travel.
    if (answer != nullptr) *answer = static_cast<intptr_t>(static_cast<int32_t>(result));
    return SendResult::kAnswered;
  }
  return IsWindow(target) ? SendResult::kTimedOut : SendResult::kNoWindow;
}

// A toolkit's window procedure hands each message over as a MSG. A message
// another thread sent and waits for is answered here at once (ReplyMessage);
// the window procedure's own result is then ignored by the system. Messages
// sent by the window's own thread, posted ones and the system's own ones
// stay with the toolkit.
bool AnswerSentMessage(const NativeEvent* native_event, const SentMessageHandler& handler) {
  if (native_event == nullptr) return false;
  const MSG* msg = reinterpret_cast<const MSG*>(native_event);
  if (!IsProgramMessage(msg->message)) return false;
  if ((InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_REPLIED)) != ISMEX_SEND) return false;
  intptr_t result = handler ? handler(AsTopWindow(msg->hwnd), msg->message, msg->wParam, msg->lParam) : 0;
  ReplyMessage(static_cast<LRESULT>(result));
  return true;
}

MessageWindow::~MessageWindow() { Destroy(); }

bool MessageWindow::Create(const std::string& title, SentMessageHandler handler) {
  Destroy();
  if (!RegisterMessageWindowClass()) return false;
  handler_ = std::move(handler);
  HWND window = CreateWindowExW(0, kMessageWindowClass, Cp949ToWide(title).c_str(),
                                WS_OVERLAPPED | WS_CAPTION, 10, 10, 160, 40, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return false;
  // The handler lives in this object, which stays put while the window does.
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handler_));
  ShowWindow(window, SW_SHOWNOACTIVATE);
  window_ = AsTopWindow(window);
  display_ = window;
  return true;
}

void MessageWindow::Destroy() {
  if (window_ == 0) return;
  HWND window = AsHwnd(window_);
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
  window_ = 0;
  display_ = nullptr;
}

bool MessageWindow::SetProperty(const std::string& name, uintptr_t value) {
  if (window_ == 0) return false;
  return SetTopWindowProperty(window_, name, value);
}

void MessageWindow::Pump(uint32_t milliseconds) {
  if (window_ == 0) return;
  uint32_t start = platform::GetTickCount();
  for (;;) {
    // Taking messages also delivers those other threads sent.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    uint32_t elapsed = platform::GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

}  // namespace platform
