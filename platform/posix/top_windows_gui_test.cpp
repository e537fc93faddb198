// A window of our toolkit answers messages sent from another thread's
// display connection, as the portal's launcher window answers the plug-in:
// the toolkit's native-event hook hands the event to AnswerSentMessage.
#include <gtest/gtest.h>

#include <future>
#include <utility>

#include "platform/thread.h"
#include "platform/top_windows.h"
#include "platform/testing/top_windows_testing.h"
#include "platform/window.h"
#include "platform/testing/window_testing.h"

namespace platform {
namespace {

class LauncherWindow : public Dialog {
 public:
  explicit LauncherWindow(DialogTemplate t) : Dialog(std::move(t)) {}
  int handled = 0;

 protected:
  intptr_t OnMessage(uint32_t message, uintptr_t wparam, intptr_t lparam) override {
    if (message == 0x046F && wparam == 0 && lparam == 0) {
      ++handled;
      return 7;
    }
    return Dialog::OnMessage(message, wparam, lparam);
  }
};

TEST(TopWindowsWithToolkitTest, AToolkitWindowAnswersThroughTheNativeEventHook) {
  PrivateXServer server;
  if (!server.Start()) GTEST_SKIP() << "Xvfb is not available";
  ASSERT_TRUE(InitGui("sdl"));
  DialogTemplate t;
  t.size = {160, 40};
  t.dialogUnits = false;
  t.caption = "Zelmora_Launcher";
  LauncherWindow launcher(t);
  ASSERT_TRUE(launcher.Create());
  SetNativeEventHook([&](const NativeEvent* event) {
    return AnswerSentMessage(event, [&](TopWindow target, uint32_t m, uintptr_t w, intptr_t l) {
      return target == launcher.NativeId() ? launcher.SendWindowMessage(m, w, l) : intptr_t{0};
    });
  });
  // The sender runs on another thread, while this (UI) thread runs the loop.
  auto sent = std::async(std::launch::async, [] {
    for (int attempt = 0; attempt < 200; ++attempt) {
      TopWindow w = FindTopLevelWindow("Zelmora_Launcher");
      intptr_t answer = 0;
      if (w != 0 && SendTopWindowMessage(w, 0x046F, 0, 0, 5000, &answer) == SendResult::kAnswered) {
        return answer;
      }
      Sleep(25);
    }
    return intptr_t{-1};
  });
  ASSERT_TRUE(gui_testing::PumpUntil(
      [&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20000));
  EXPECT_EQ(sent.get(), 7);
  EXPECT_EQ(launcher.handled, 1);
  SetNativeEventHook(nullptr);
  launcher.Destroy();
}

}  // namespace
}  // namespace platform
