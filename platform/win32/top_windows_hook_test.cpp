// A toolkit's own window answers sent messages by handing each message of
// its window procedure, as a MSG, to AnswerSentMessage: what another thread
// sent and waits for is answered there; the rest stays with the toolkit.
#include <windows.h>

#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "platform/top_windows.h"

namespace platform {
namespace {

struct HookLog {
  std::vector<UINT> answered;    // taken by AnswerSentMessage
  std::vector<UINT> left;        // left with the toolkit
  TopWindow target = 0;
};
HookLog* g_log = nullptr;

LRESULT CALLBACK ToolkitProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wparam;
  msg.lParam = lparam;
  bool taken = AnswerSentMessage(reinterpret_cast<const NativeEvent*>(&msg),
                                 [](TopWindow target, uint32_t m, uintptr_t w, intptr_t l) {
                                   g_log->target = target;
                                   return static_cast<intptr_t>(m == 0x046F ? w + static_cast<uintptr_t>(l) : 0);
                                 });
  if (message >= WM_USER && message <= 0xFFFF) (taken ? g_log->answered : g_log->left).push_back(message);
  if (taken) return 0;  // the sender has its answer already
  if (message == 0x0470) return 99;  // the toolkit's own answer
  return DefWindowProcW(window, message, wparam, lparam);
}

class ToolkitWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HasDisplay()) GTEST_SKIP() << "no window can be made here";
    g_log = &log_;
    WNDCLASSW c{};
    c.lpfnWndProc = ToolkitProcedure;
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = L"KivroToolkitTest";
    RegisterClassW(&c);
    window_ = CreateWindowExW(0, L"KivroToolkitTest", L"toolkit", WS_OVERLAPPED, 0, 0, 50, 50,
                              nullptr, nullptr, c.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    if (window_ != nullptr) DestroyWindow(window_);
    g_log = nullptr;
  }
  // Takes messages until `pending` is ready (at most ten seconds).
  template <typename T>
  T PumpUntil(std::future<T>& pending) {
    for (int i = 0; i < 1000 && pending.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready; ++i) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return pending.get();
  }
  HookLog log_;
  HWND window_ = nullptr;
};

TEST_F(ToolkitWindowTest, AMessageAnotherThreadWaitsForIsAnsweredByTheHandler) {
  TopWindow id = static_cast<TopWindow>(reinterpret_cast<uintptr_t>(window_));
  auto pending = std::async(std::launch::async, [id] {
    intptr_t answer = -1;
    SendResult r = SendTopWindowMessage(id, 0x046F, 30, 12, 10000, &answer);
    return r == SendResult::kAnswered ? answer : -2;
  });
  EXPECT_EQ(PumpUntil(pending), 42);
  EXPECT_EQ(log_.answered, std::vector<UINT>{0x046F});
  EXPECT_EQ(log_.target, id);
}

TEST_F(ToolkitWindowTest, OwnThreadPostedAndSystemMessagesStayWithTheToolkit) {
  TopWindow id = static_cast<TopWindow>(reinterpret_cast<uintptr_t>(window_));
  // Sent by the window's own thread: the window procedure's result counts.
  intptr_t answer = 0;
  EXPECT_EQ(SendTopWindowMessage(id, 0x0470, 0, 0, 1000, &answer), SendResult::kAnswered);
  EXPECT_EQ(answer, 99);
  // Posted: nobody waits for an answer.
  ASSERT_TRUE(PostMessageW(window_, 0x0471, 0, 0));
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  // The system's own messages, even from another thread, are not ours.
  auto pending = std::async(std::launch::async, [id] {
    return SendTopWindowMessage(id, WM_NULL, 0, 0, 10000, nullptr);
  });
  EXPECT_EQ(PumpUntil(pending), SendResult::kAnswered);
  EXPECT_TRUE(log_.answered.empty());
  EXPECT_EQ(log_.left, (std::vector<UINT>{0x0470, 0x0471}));
  EXPECT_FALSE(AnswerSentMessage(nullptr, nullptr));
}

}  // namespace
}  // namespace platform
