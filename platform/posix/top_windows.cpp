// Top-level windows over X11:
// - a window's title is its _NET_WM_NAME (UTF-8), else its WM_NAME;
// - a property "Name" is the X11 property _KIVRO_PROP_NAME (the name
//   upper-cased, as Windows compares property names without case) holding a
//   pointer-sized number; the number 0 counts as no property;
// - a sent message is a ClientMessage _KIVRO_SENT_MESSAGE to the window
//   (data: message, wparam, lparam, reply window, serial); the program that
//   owns the window answers with a ClientMessage _KIVRO_SENT_MESSAGE_REPLY
//   (data: serial, answer) to the reply window.
// A NativeEvent here is an XEvent; a TopWindow is an X11 window id.
#include "platform/top_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/codepage.h"
#include "platform/thread.h"

namespace platform {

namespace {

constexpr char kSentMessage[] = "_KIVRO_SENT_MESSAGE";
constexpr char kSentReply[] = "_KIVRO_SENT_MESSAGE_REPLY";

// X errors for windows that vanish while we look at them are expected and
// must not end the process (Xlib's default handler exits). The error handler
// is process-wide: ours is installed once and ignores errors on our own
// connections (and on any connection while this thread answers a sender),
// handing every other error to the handler it replaced, so a host program's
// own handling stays as it was. No lock is held while waiting for answers.
std::mutex g_displays_lock;
std::set<Display*>* g_our_displays = new std::set<Display*>();
XErrorHandler g_previous_handler = nullptr;
thread_local bool t_ignore_errors = false;

int FilterXError(Display* d, XErrorEvent* e) {
  if (t_ignore_errors) return 0;
  {
    std::lock_guard<std::mutex> guard(g_displays_lock);
    if (g_our_displays->count(d) != 0) return 0;
  }
  return g_previous_handler != nullptr ? g_previous_handler(d, e) : 0;
}

void InstallErrorFilter() {
  static std::once_flag once;
  std::call_once(once, [] { g_previous_handler = XSetErrorHandler(FilterXError); });
}

Display* OpenOwnDisplay() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == 0) return nullptr;
  InstallErrorFilter();
  Display* d = XOpenDisplay(nullptr);
  if (d != nullptr) {
    std::lock_guard<std::mutex> guard(g_displays_lock);
    g_our_displays->insert(d);
  }
  return d;
}

void CloseOwnDisplay(Display* d) {
  if (d == nullptr) return;
  XCloseDisplay(d);
  std::lock_guard<std::mutex> guard(g_displays_lock);
  g_our_displays->erase(d);
}

class Connection {
 public:
  Connection() : display_(OpenOwnDisplay()) {}
  ~Connection() { CloseOwnDisplay(display_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  Display* get() const { return display_; }

 private:
  Display* display_;
};

std::string PropertyAtomName(const std::string& name) {
  std::string upper = name;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return "_KIVRO_PROP_" + upper;
}

bool HasWmState(Display* d, Window w) {
  Atom wm_state = XInternAtom(d, "WM_STATE", True);
  if (wm_state == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool has = XGetWindowProperty(d, w, wm_state, 0, 0, False, AnyPropertyType, &type, &format,
                                &count, &after, &data) == Success &&
             type != None;
  if (data) XFree(data);
  return has;
}

// The program window inside a window-manager frame: the first descendant
// (two levels deep at most) that carries WM_STATE; the frame itself if none.
Window ClientOf(Display* d, Window frame, int depth = 0) {
  if (HasWmState(d, frame)) return frame;
  if (depth >= 2) return None;
  Window root_return, parent_return, *children = nullptr;
  unsigned int count = 0;
  Window found = None;
  if (XQueryTree(d, frame, &root_return, &parent_return, &children, &count)) {
    for (unsigned int i = count; i-- > 0 && found == None;) found = ClientOf(d, children[i], depth + 1);
  }
  if (children) XFree(children);
  if (found == None && depth == 0) return frame;
  return found;
}

std::vector<TopWindow> ListWindows(Display* d) {
  std::vector<TopWindow> windows;
  Window root_return, parent_return, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(d, DefaultRootWindow(d), &root_return, &parent_return, &children, &count)) {
    return windows;
  }
  // XQueryTree lists children bottom first.
  for (unsigned int i = count; i-- > 0;) windows.push_back(ClientOf(d, children[i]));
  if (children) XFree(children);
  return windows;
}

std::string TitleOf(Display* d, Window w) {
  Atom net_wm_name = XInternAtom(d, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(d, w, net_wm_name, 0, 1024, False, utf8, &type, &format, &count, &after,
                         &data) == Success &&
      type == utf8 && format == 8 && data != nullptr) {
    title = Utf8ToCp949(std::string(reinterpret_cast<char*>(data), count));
    XFree(data);
    return title;
  }
  if (data) XFree(data);
  char* name = nullptr;
  if (XFetchName(d, w, &name) && name != nullptr) {
    title = name;
    XFree(name);
  }
  return title;
}

bool WindowExists(Display* d, Window w) {
  XWindowAttributes attributes;
  return w != None && XGetWindowAttributes(d, w, &attributes) != 0;
}

uintptr_t ReadProperty(Display* d, Window w, const std::string& name) {
  Atom atom = XInternAtom(d, PropertyAtomName(name).c_str(), True);
  if (atom == None) return 0;  // nobody ever set it
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  uintptr_t value = 0;
  if (XGetWindowProperty(d, w, atom, 0, 2, False, XA_CARDINAL, &type, &format, &count, &after,
                         &data) == Success &&
      type == XA_CARDINAL && format == 32 && data != nullptr && count >= 1) {
    // Format-32 items come back as longs; the value is kept as two halves.
    const long* items = reinterpret_cast<const long*>(data);
    uint64_t low = static_cast<uint32_t>(items[0]);
    uint64_t high = count >= 2 ? static_cast<uint32_t>(items[1]) : 0;
    value = static_cast<uintptr_t>(low | (high << 32));
  }
  if (data) XFree(data);
  return value;
}

bool WriteProperty(Display* d, Window w, const std::string& name, uintptr_t value) {
  Atom atom = XInternAtom(d, PropertyAtomName(name).c_str(), False);
  uint64_t v = value;
  long items[2] = {static_cast<long>(v & 0xFFFFFFFFu), static_cast<long>(v >> 32)};
  XChangeProperty(d, w, atom, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(items), 2);
  XSync(d, False);
  return WindowExists(d, w);
}

}  // namespace

bool HasDisplay() {
  Connection c;
  return c.get() != nullptr;
}

std::vector<TopWindow> TopLevelWindows() {
  Connection c;
  if (c.get() == nullptr) return {};
  return ListWindows(c.get());
}

TopWindow FindTopLevelWindow(const std::string& title) {
  // No window is searched for by no title (many have none).
  if (title.empty()) return 0;
  Connection c;
  if (c.get() == nullptr) return 0;
  for (TopWindow w : ListWindows(c.get())) {
    if (TitleOf(c.get(), static_cast<Window>(w)) == title) return w;
  }
  return 0;
}

std::string GetTopWindowTitle(TopWindow window) {
  Connection c;
  if (c.get() == nullptr || window == 0) return std::string();
  return TitleOf(c.get(), static_cast<Window>(window));
}

uintptr_t GetTopWindowProperty(TopWindow window, const std::string& name) {
  Connection c;
  if (c.get() == nullptr || window == 0) return 0;
  return ReadProperty(c.get(), static_cast<Window>(window), name);
}

std::vector<TopWindow> TopLevelWindowsWithProperty(const std::string& name) {
  Connection c;
  std::vector<TopWindow> found;
  if (c.get() == nullptr) return found;
  for (TopWindow w : ListWindows(c.get())) {
    if (ReadProperty(c.get(), static_cast<Window>(w), name) != 0) found.push_back(w);
  }
  return found;
}

bool SetTopWindowProperty(TopWindow window, const std::string& name, uintptr_t value) {
  Connection c;
  if (c.get() == nullptr || window == 0) return false;
  return WriteProperty(c.get(), static_cast<Window>(window), name, value);
}

bool RemoveTopWindowProperty(TopWindow window, const std::string& name) {
  Connection c;
  if (c.get() == nullptr || window == 0) return false;
  Atom atom = XInternAtom(c.get(), PropertyAtomName(name).c_str(), True);
  if (atom == None) return false;
  XDeleteProperty(c.get(), static_cast<Window>(window), atom);
  XSync(c.get(), False);
  return WindowExists(c.get(), static_cast<Window>(window));
}

SendResult SendTopWindowMessage(TopWindow window, uint32_t message, uintptr_t wparam,
                                intptr_t lparam, uint32_t timeout_ms, intptr_t* answer) {
  Connection c;
  Display* d = c.get();
  Window target = static_cast<Window>(window);
  if (d == nullptr || !WindowExists(d, target)) return SendResult::kNoWindow;
  // A window of our own receives the reply; we also watch the target, so
  // its end stops the wait at once.
  Window reply = XCreateSimpleWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, 0);
  XSelectInput(d, target, StructureNotifyMask);
  static std::atomic<uint32_t> serial_counter{0};
  long serial = static_cast<long>(++serial_counter ^ (static_cast<uint32_t>(reply) << 8));
  XEvent event;
  std::memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = target;
  event.xclient.message_type = XInternAtom(d, kSentMessage, False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(message);
  event.xclient.data.l[1] = static_cast<long>(wparam);
  event.xclient.data.l[2] = static_cast<long>(lparam);
  event.xclient.data.l[3] = static_cast<long>(reply);
  event.xclient.data.l[4] = serial;
  Atom reply_type = XInternAtom(d, kSentReply, False);
  // An empty event mask delivers the event to the client that made the window.
  XSendEvent(d, target, False, NoEventMask, &event);
  XFlush(d);

  SendResult result = SendResult::kTimedOut;
  uint32_t start = GetTickCount();
  for (bool waiting = true; waiting;) {
    while (waiting && XPending(d) > 0) {
      XEvent in;
      XNextEvent(d, &in);
      if (in.type == ClientMessage && in.xclient.window == reply &&
          in.xclient.message_type == reply_type && in.xclient.data.l[0] == serial) {
        if (answer) *answer = static_cast<intptr_t>(static_cast<int32_t>(in.xclient.data.l[1]));
        result = SendResult::kAnswered;
        waiting = false;
      } else if (in.type == DestroyNotify && in.xdestroywindow.window == target) {
        result = SendResult::kNoWindow;
        waiting = false;
      }
    }
    if (!waiting) break;
    uint32_t elapsed = GetTickCount() - start;
    if (elapsed >= timeout_ms) break;
    pollfd fd{ConnectionNumber(d), POLLIN, 0};
    uint32_t left = timeout_ms - elapsed;
    poll(&fd, 1, static_cast<int>(left > 100 ? 100 : left));
    // A window destroyed before we selected its events sends no notice.
    if (fd.revents == 0 && !WindowExists(d, target)) {
      result = SendResult::kNoWindow;
      break;
    }
  }
  XSelectInput(d, target, NoEventMask);
  XDestroyWindow(d, reply);
  XSync(d, False);
  return result;
}

bool AnswerSentMessage(const NativeEvent* native_event, const SentMessageHandler& handler) {
  if (native_event == nullptr) return false;
  const XEvent* event = reinterpret_cast<const XEvent*>(native_event);
  if (event->type != ClientMessage || event->xclient.format != 32) return false;
  Display* d = event->xclient.display;
  if (event->xclient.message_type != XInternAtom(d, kSentMessage, False)) return false;
  const long* l = event->xclient.data.l;
  intptr_t result = handler ? handler(event->xclient.window, static_cast<uint32_t>(l[0]),
                                      static_cast<uintptr_t>(static_cast<unsigned long>(l[1])),
                                      static_cast<intptr_t>(l[2]))
                            : 0;
  XEvent reply;
  std::memset(&reply, 0, sizeof reply);
  reply.xclient.type = ClientMessage;
  reply.xclient.window = static_cast<Window>(l[3]);
  reply.xclient.message_type = XInternAtom(d, kSentReply, False);
  reply.xclient.format = 32;
  reply.xclient.data.l[0] = l[4];
  reply.xclient.data.l[1] = static_cast<long>(result);
  InstallErrorFilter();
  t_ignore_errors = true;  // a sender gone meanwhile is no error of ours
  XSendEvent(d, reply.xclient.window, False, NoEventMask, &reply);
  XSync(d, False);
  t_ignore_errors = false;
  return true;
}

MessageWindow::~MessageWindow() { Destroy(); }

bool MessageWindow::Create(const std::string& title, SentMessageHandler handler) {
  Destroy();
  Display* d = OpenOwnDisplay();
  if (d == nullptr) return false;
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 160, 40, 0,
                                 BlackPixel(d, DefaultScreen(d)), WhitePixel(d, DefaultScreen(d)));
  std::string utf8 = Cp949ToUtf8(title);
  XStoreName(d, w, utf8.c_str());
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False),
                  8, PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()),
                  static_cast<int>(utf8.size()));
  XMapWindow(d, w);
  XSync(d, False);
  display_ = d;
  window_ = w;
  handler_ = std::move(handler);
  return true;
}

void MessageWindow::Destroy() {
  if (display_ == nullptr) return;
  Display* d = static_cast<Display*>(display_);
  XDestroyWindow(d, static_cast<Window>(window_));
  CloseOwnDisplay(d);
  display_ = nullptr;
  window_ = 0;
}

bool MessageWindow::SetProperty(const std::string& name, uintptr_t value) {
  if (display_ == nullptr) return false;
  return WriteProperty(static_cast<Display*>(display_), static_cast<Window>(window_), name, value);
}

void MessageWindow::Pump(uint32_t milliseconds) {
  if (display_ == nullptr) return;
  Display* d = static_cast<Display*>(display_);
  uint32_t start = GetTickCount();
  for (;;) {
    while (XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      AnswerSentMessage(reinterpret_cast<const NativeEvent*>(&event), handler_);
    }
    uint32_t elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    pollfd fd{ConnectionNumber(d), POLLIN, 0};
    uint32_t left = milliseconds - elapsed;
    poll(&fd, 1, static_cast<int>(left > 100 ? 100 : left));
  }
}

}  // namespace platform
