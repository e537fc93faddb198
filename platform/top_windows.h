// Top-level windows of every program on the desktop: found by title, walked
// in Z order, asked for named properties, and sent a message whose answer is
// waited for. With no display there are no top-level windows (every search
// finds nothing). Programs of ours answer sent messages through
// AnswerSentMessage (from their toolkit's native-event hook) or a
// MessageWindow. Only 32 bits of each number travel.
//
// Thread safety: the free functions may be called from any thread; each uses
// a display connection of its own. A MessageWindow belongs to one thread.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/native_event.h"

namespace platform {

// The window system's id of a top-level window; 0 is no window.
using TopWindow = uint64_t;

// Whether a display can be opened.
bool HasDisplay();

// Every top-level window, topmost first (hidden ones included, as Windows
// enumerates them). Under a reparenting window manager each frame stands for
// the program window inside it.
std::vector<TopWindow> TopLevelWindows();

// The first top-level window, in Z order, whose title equals `title` (code
// page 949); 0 when there is none.
TopWindow FindTopLevelWindow(const std::string& title);

// The title in code page 949 ("" when it has none or is gone).
std::string GetTopWindowTitle(TopWindow window);

// GetProp: the property's number, 0 when absent.
uintptr_t GetTopWindowProperty(TopWindow window, const std::string& name);
// The top-level windows, topmost first, that carry a non-zero property
// `name` (one pass over the desktop).
std::vector<TopWindow> TopLevelWindowsWithProperty(const std::string& name);
bool SetTopWindowProperty(TopWindow window, const std::string& name, uintptr_t value);
bool RemoveTopWindowProperty(TopWindow window, const std::string& name);

enum class SendResult {
  kAnswered,   // the window's program handled the message
  kNoWindow,   // no display, no such window, or it went away meanwhile
  kTimedOut,   // no answer within the time limit
};

// SendMessageTimeout: sends `message` and waits up to `timeout_ms` for the
// window's program to handle it, so a hung or foreign window never blocks
// the caller for ever. `answer` (may be null) receives the result.
SendResult SendTopWindowMessage(TopWindow window, uint32_t message, uintptr_t wparam,
                                intptr_t lparam, uint32_t timeout_ms, intptr_t* answer);

using SentMessageHandler =
    std::function<intptr_t(TopWindow target, uint32_t message, uintptr_t wparam, intptr_t lparam)>;

// For a program's event loop: when `event` is a sent message, runs `handler`
// and answers the sender; true then (the event is consumed), false for every
// other event. Program messages (0x400 and up) travel on every backend;
// on Windows the system's own messages keep their meaning, and a toolkit's
// window procedure hands each message over, of which only those another
// thread sent and waits for are answered here.
bool AnswerSentMessage(const NativeEvent* event, const SentMessageHandler& handler);

// A top-level window that answers sent messages, for programs without a
// window toolkit of their own (and for tests).
class MessageWindow {
 public:
  MessageWindow() = default;
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Creates and shows a small window titled `title`. False without a display.
  bool Create(const std::string& title, SentMessageHandler handler);
  void Destroy();
  TopWindow Id() const { return window_; }
  bool SetProperty(const std::string& name, uintptr_t value);
  // Handles events for `milliseconds`, answering sent messages.
  void Pump(uint32_t milliseconds);

 private:
  void* display_ = nullptr;
  TopWindow window_ = 0;
  SentMessageHandler handler_;
};

}  // namespace platform
