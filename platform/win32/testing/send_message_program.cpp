// kivro_test_send_message TITLE MESSAGE WPARAM LPARAM
// Another program's SendMessageTimeout to a window of ours: finds the
// top-level window TITLE (waiting up to ten seconds for it to appear), sends
// it MESSAGE and ends with the answer as its exit code; 250 when no window
// was found, 251 when it gave no answer within five seconds.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "platform/top_windows.h"
#include "platform/win32/wide.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: kivro_test_send_message TITLE MESSAGE WPARAM LPARAM\n");
    return 2;
  }
  std::string title = platform::WideToCp949(argv[1]);
  auto number = [](const wchar_t* text) { return std::wcstoll(text, nullptr, 0); };
  platform::TopWindow window = 0;
  for (int attempt = 0; attempt < 200 && window == 0; ++attempt) {
    window = platform::FindTopLevelWindow(title);
    if (window == 0) Sleep(50);
  }
  if (window == 0) return 250;
  intptr_t answer = 0;
  platform::SendResult sent = platform::SendTopWindowMessage(
      window, static_cast<uint32_t>(number(argv[2])), static_cast<uintptr_t>(number(argv[3])),
      static_cast<intptr_t>(number(argv[4])), 5000, &answer);
  if (sent != platform::SendResult::kAnswered) return 251;
  return static_cast<int>(answer);
}
