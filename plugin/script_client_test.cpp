// The plug-in as players and pages meet it on Windows, with the system's own
// programs: regsvr32 registers it, a JScript client run by cscript makes it
// by its ProgID and calls every member, regsvr32 /u takes back every key it
// wrote, and a "Zelmora:" link opened by the shell starts the program the
// protocol names. The real KIVROInstaller.exe and Pingbell.exe are started
// where the build has them (their windows are found and closed as a player
// would; the launcher, with no download server here, may be showing its
// failure). A stand-in (kivro_test_start_recorder) records how it was
// started, for the arguments the real programs do not show: it takes the
// programs' places where the build has no windows, and the launcher's in
// the folder the real one must not be started from.
//
// These tests change the registry and the Windows folder of the machine:
// under Wine they run in a prefix of their own (plugin/windows_tests.cmake).
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/named_mutex.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/shared_memory.h"
#include "platform/testing/program_output.h"
#include "platform/testing/top_windows_testing.h"
#include "platform/thread.h"
#include "platform/top_windows.h"
#include "plugin/started_program_closer.h"

namespace kivro::plugin {
namespace {

using platform::RegistryRoot;
constexpr RegistryRoot kCR = RegistryRoot::kClassesRoot;

// The launcher's main window and its message boxes carry this title.
constexpr char kLauncherTitle[] = "KIVROInstaller";
constexpr char kLauncherFile[] = "KIVROInstaller.exe";

// A path of the build machine as Windows names it (Wine's drive Z:).
std::string Windows(const std::string& host_path) {
  std::string path = "Z:" + host_path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::string System(const std::string& program) {
  return platform::SystemDirectory() + "\\" + program;
}

// Runs a program and waits for it; its exit code, or -1.
int RunProgram(const std::string& program, const std::vector<std::string>& args,
               uint32_t timeout_ms = 120000) {
  platform::Process process;
  if (!process.Start(program, args)) return -1;
  if (!process.Wait(timeout_ms)) {
    process.Terminate();
    return -1;
  }
  uint32_t code = 0;
  return process.ExitCode(&code) ? static_cast<int>(code) : -1;
}

std::string Read(const std::string& path) {
  std::string text;
  platform::ReadWholeFile(path, &text);
  return text;
}

// Waits up to 30 s for a file to have content.
std::string AwaitContent(const std::string& path) {
  for (int i = 0; i < 300; ++i) {
    std::string text = Read(path);
    if (!text.empty()) return text;
    platform::Sleep(100);
  }
  return "";
}

// Everything under HKCR: each key (lower case) and each of its values with
// its text, or a mark for values that are not strings.
using Snapshot = std::map<std::string, std::string>;

void Walk(const std::string& key, Snapshot* out) {
  std::string lower = platform::ToLowerAscii(key);
  (*out)[lower] = "<key>";
  for (const std::string& name : platform::RegistryValueNames(kCR, key)) {
    std::string value;
    (*out)[lower + " | " + platform::ToLowerAscii(name)] =
        platform::RegistryGetString(kCR, key, name, &value) ? value : "<not a string>";
  }
  for (const std::string& sub : platform::RegistrySubKeys(kCR, key)) {
    Walk(key.empty() ? sub : key + "\\" + sub, out);
  }
}

Snapshot TakeSnapshot() {
  Snapshot snapshot;
  Walk("", &snapshot);
  snapshot.erase("");
  return snapshot;
}

// The entries of `after` that differ from `before`, one per line, each
// marked "+" (new or changed) or "-" (gone or changed).
std::string Difference(const Snapshot& before, const Snapshot& after) {
  std::string out;
  for (const auto& [key, value] : after) {
    auto old = before.find(key);
    if (old == before.end() || old->second != value) out += "+ " + key + " = " + value + "\n";
  }
  for (const auto& [key, value] : before) {
    auto now = after.find(key);
    if (now == after.end() || now->second != value) out += "- " + key + " = " + value + "\n";
  }
  return out;
}

// What the JScript client prints for a text (see script_client.js).
std::string Printable(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c >= 32 && c < 127) {
      out.push_back(static_cast<char>(c));
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out;
}

class ScriptClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseLeftNotifiers();
    ASSERT_TRUE(CloseProgramWindows(kLauncherTitle, kLauncherFile, 30000))
        << "a launcher left running";
    windows_ = platform::WindowsDirectory();
    downloaded_ = windows_ + "\\Downloaded Program Files";
    ASSERT_TRUE(platform::CreateDirectoryChain(downloaded_));
    std::string recorder, notifier;
    ASSERT_TRUE(platform::ReadWholeFile(Windows(KIVRO_TEST_START_RECORDER), &recorder));
#if defined(KIVRO_PINGBELL_PROGRAM)
    ASSERT_TRUE(platform::ReadWholeFile(Windows(KIVRO_PINGBELL_PROGRAM), &notifier));
#else
    notifier = recorder;
#endif
    for (const std::string& folder : {windows_, downloaded_}) {
      for (const char* name : {"KIVROInstaller.exe", "Pingbell.exe"}) {
        std::string path = folder + "\\" + name;
        const std::string& program = std::string(name) == "Pingbell.exe" ? notifier : recorder;
        ASSERT_TRUE(platform::WriteWholeFile(path, program.data(), program.size())) << path;
        platform::RemoveFile(path + ".log");
        placed_.push_back(path);
      }
    }
    // Registration starts from a machine without the keys it may keep.
    for (const char* key : {"Zelmora", "ZelNoti", "CLSID\\Component Cathegories"}) {
      if (platform::RegistryKeyExists(kCR, key)) {
        ASSERT_TRUE(platform::RegistryDeleteTree(kCR, key));
      }
    }
  }
  // A notifier that a failed run left open would hold the files placed here.
  static void CloseLeftNotifiers() { CloseProgramWindows("Pingbell", "Pingbell.exe", 2000); }
  // Puts the real launcher in `folder` in place of the stand-in; false
  // where the build has none.
  bool PlaceRealLauncher(const std::string& folder) {
#if defined(KIVRO_LAUNCHER_PROGRAM)
    std::string program;
    if (!platform::ReadWholeFile(Windows(KIVRO_LAUNCHER_PROGRAM), &program)) return false;
    return platform::WriteWholeFile(folder + "\\" + kLauncherFile, program.data(), program.size());
#else
    (void)folder;
    return false;
#endif
  }
  void TearDown() override {
    CloseLeftNotifiers();
    EXPECT_TRUE(CloseProgramWindows(kLauncherTitle, kLauncherFile, 30000))
        << "a launcher left running";
    RunProgram(System("regsvr32.exe"), {"/u", "/s", Windows(KIVRO_PLUGIN_FILE)});
    for (const std::string& path : placed_) {
      platform::RemoveFile(path);
      platform::RemoveFile(path + ".log");
    }
  }
  std::string windows_, downloaded_;
  std::vector<std::string> placed_;
};

// Runs the JScript client with cscript; what it prints is kept in the file
// `transcript` and answered in `output`.
int RunScriptClient(const std::string& mutex_name, const std::string& transcript,
                    std::string* output) {
  int code = platform::RunCapturingOutput(
      System("cscript.exe"), {"//nologo", Windows(KIVRO_SCRIPT_CLIENT), mutex_name}, output);
  platform::WriteWholeFile(transcript, output->data(), output->size());
  return code;
}

std::string WithoutCarriageReturns(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out.push_back(c);
  }
  return out;
}

TEST_F(ScriptClientTest, RegsvrThenAPageScriptCallsEveryMemberAndRegsvrUndoesItAll) {
  // Unregistered, a page cannot make the object ("Automation server can't
  // create object"). The script host registers its own library on its
  // first run, so the registry is compared from after this run on.
  std::string unregistered = Windows(KIVRO_SCRIPT_TRANSCRIPT);
  unregistered.insert(unregistered.rfind('.'), "_unregistered");
  std::string output;
  EXPECT_EQ(RunScriptClient("none", unregistered, &output), 1);
  EXPECT_EQ(WithoutCarriageReturns(output), "new ActiveXObject: error 0x800A01AD\n");
  Snapshot before = TakeSnapshot();
  ASSERT_GT(before.size(), 100u);

  // The partners of a page: the portal's launcher window, a game client's
  // window with its property and its shared text, and a held mutex.
  std::string temp = platform::TempDirectory();
  platform::TestWindowProgram launcher, game;
  std::string launcher_log = temp + "\\kivro-launcher-window.log";
  ASSERT_TRUE(launcher.Start("Zelmora_Launcher", {}, launcher_log));
  ASSERT_TRUE(game.Start("Gobanvista", {"Zelmora=1"}, temp + "\\kivro-game-window.log"));
  const std::string game_info = platform::Utf8ToCp949("대국 정보: 흑 KIVRO, 백 Gobanvista");
  platform::SharedMemory section;
  ASSERT_TRUE(section.CreateOrOpen("ZM_Property", 512));
  char* view = static_cast<char*>(section.Map());
  ASSERT_NE(view, nullptr);
  std::memcpy(view, game_info.c_str(), game_info.size() + 1);
  // One word: it passes through cmd's command line unquoted.
  const std::string mutex_name = "KIVRO.ScriptClientTest.Mutex";
  platform::NamedMutex mutex;
  ASSERT_TRUE(mutex.Create(mutex_name));

  ASSERT_EQ(RunProgram(System("regsvr32.exe"), {"/s", Windows(KIVRO_PLUGIN_FILE)}), 0);

  // The transcript stays in the build tree for people to read.
  std::string transcript = Windows(KIVRO_SCRIPT_TRANSCRIPT);
#if defined(KIVRO_LAUNCHER_PROGRAM)
  // The stand-in stays in "Downloaded Program Files", to tell if it were
  // started from there.
  ASSERT_TRUE(PlaceRealLauncher(windows_));
  StartedProgramCloser launcher_window(kLauncherTitle, kLauncherFile);  // zms_startGame waits
#endif
#if defined(KIVRO_PINGBELL_PROGRAM)
  StartedProgramCloser notifier_window("Pingbell",
                                       "Pingbell.exe");  // zms_startNotify waits until it is closed
#endif
  ASSERT_EQ(RunScriptClient(mutex_name, transcript, &output), 0) << output;

  std::string long_answer = "511 characters, its start";
  std::string expected =
      "new ActiveXObject: done\n"
      "zms_chkDown: done\n"
      "zms_chkLauncher: done\n"
      "CurGameInfo before SearchZelmora: \n"
      "SearchZelmora: done\n"
      "CurGameInfo after SearchZelmora: " +
      Printable(platform::Cp949ToUtf16(game_info)) +
      "\n"
      "CurGameInfo round trip: \\ubc14\\ub451 \\uc911\\uacc4 KIVRO\n"
      "CurGameInfo of 600 characters: " +
      long_answer +
      "\n"
      "CurGameInfo through a second object: shared text\n"
      "zms_chkMutex held: TRUE\n"
      "zms_chkMutex missing: FALSE\n"
      "zms_startGame empty: error 0xFFFFFFFF\n"
      "zms_startGame: done\n"
      "zms_startNotify: done\n"
      "unknown member: error 0x800A01B6\n";
  EXPECT_EQ(WithoutCarriageReturns(output), expected);

  // The launcher window was sent its message (0x046F, both parameters 0).
  EXPECT_EQ(Read(launcher_log), "1135 0 0\n");
#if defined(KIVRO_LAUNCHER_PROGRAM)
  // The real launcher started from the Windows folder: its window showed,
  // the stand-in elsewhere was not run, and it had ended once its windows
  // were closed (zms_startGame returned only then).
  EXPECT_TRUE(launcher_window.Seen()) << "the launcher's window never showed";
  EXPECT_TRUE(launcher_window.Ended()) << "the launcher did not end when closed";
  EXPECT_EQ(platform::ToLowerAscii(launcher_window.StartedBy()), "cscript.exe");
  EXPECT_FALSE(platform::FileExists(downloaded_ + "\\KIVROInstaller.exe.log"));
#else
  // Each start ran the program from the Windows folder with no argument;
  // the empty call started nothing.
  EXPECT_EQ(Read(windows_ + "\\KIVROInstaller.exe.log"), windows_ + "\\KIVROInstaller.exe\n");
#endif
#if defined(KIVRO_PINGBELL_PROGRAM)
  EXPECT_TRUE(notifier_window.Seen()) << "the notifier's window never showed";
#else
  EXPECT_EQ(Read(windows_ + "\\Pingbell.exe.log"), windows_ + "\\Pingbell.exe\n");
#endif

  // Removal takes back everything but what stays by design: the two
  // protocols and the (now empty) category key.
  ASSERT_EQ(RunProgram(System("regsvr32.exe"), {"/u", "/s", Windows(KIVRO_PLUGIN_FILE)}), 0);
  std::string kept = Difference(before, TakeSnapshot());
  std::string folder = windows_ + "\\Downloaded Program Files\\";
  std::string expected_kept =
      "+ clsid\\component cathegories = <key>\n"
      "+ zelmora = <key>\n"
      "+ zelmora | url protocol = \n"
      "+ zelmora\\shell = <key>\n"
      "+ zelmora\\shell\\open = <key>\n"
      "+ zelmora\\shell\\open\\command = <key>\n"
      "+ zelmora\\shell\\open\\command |  = \"" +
      folder +
      "KIVROInstaller.exe\" \"%1\"\n"
      "+ zelnoti = <key>\n"
      "+ zelnoti | url protocol = \n"
      "+ zelnoti\\shell = <key>\n"
      "+ zelnoti\\shell\\open = <key>\n"
      "+ zelnoti\\shell\\open\\command = <key>\n"
      "+ zelnoti\\shell\\open\\command |  = \"" +
      folder + "Pingbell.exe\" \"%1\"\n";
  EXPECT_EQ(kept, expected_kept);
}

TEST_F(ScriptClientTest, ProtocolLinksOpenedByTheShellStartTheirProgramsWithTheUrl) {
  ASSERT_EQ(RunProgram(System("regsvr32.exe"), {"/s", Windows(KIVRO_PLUGIN_FILE)}), 0);
  ASSERT_EQ(RunProgram(System("start.exe"), {"Zelmora:open/Gobanvista"}), 0);
  EXPECT_EQ(AwaitContent(downloaded_ + "\\KIVROInstaller.exe.log"),
            downloaded_ + "\\KIVROInstaller.exe [Zelmora:open/Gobanvista]\n");
  if (PlaceRealLauncher(downloaded_)) {
    // The same link starts the real launcher from there (it shows no
    // arguments; the stand-in above recorded them).
    StartedProgramCloser launcher_window(kLauncherTitle, kLauncherFile);
    ASSERT_EQ(RunProgram(System("start.exe"), {"Zelmora:open/Gobanvista"}), 0);
    EXPECT_TRUE(launcher_window.Seen()) << "the launcher's window never showed";
    EXPECT_TRUE(launcher_window.Ended()) << "the launcher did not end when closed";
  }
#if defined(KIVRO_PINGBELL_PROGRAM)
  StartedProgramCloser notifier_window("Pingbell", "Pingbell.exe");
  ASSERT_EQ(RunProgram(System("start.exe"), {"ZelNoti:notice 7"}), 0);
  EXPECT_TRUE(notifier_window.Seen()) << "the notifier's window never showed";
#else
  ASSERT_EQ(RunProgram(System("start.exe"), {"ZelNoti:notice 7"}), 0);
  EXPECT_EQ(AwaitContent(downloaded_ + "\\Pingbell.exe.log"),
            downloaded_ + "\\Pingbell.exe [ZelNoti:notice 7]\n");
#endif
  // Nothing was started from the Windows folder itself.
  EXPECT_FALSE(platform::FileExists(windows_ + "\\KIVROInstaller.exe.log"));
}

// kivro-plugin-host stands in for a page from the command line: it makes
// the object through CoCreateInstance by its ProgID and calls by name.
TEST_F(ScriptClientTest, ThePluginHostMakesTheObjectThroughTheSystemAndCallsByName) {
  std::string host = Windows(KIVRO_PLUGIN_HOST);
  std::string out;
  ASSERT_EQ(RunProgram(host, {"register", Windows(KIVRO_PLUGIN_FILE)}), 0);
  EXPECT_EQ(
      platform::RunCapturingOutput(host,
                                   {"call", "CurGameInfo=Gobanvista", "--", "call", "CurGameInfo",
                                    "--", "call", "zms_chkMutex", "KIVRO.NoSuchMutex", "--", "call",
                                    "zms_startGame", "", "--", "call", "zms_chkDown"},
                                   &out),
      1);
  EXPECT_EQ(WithoutCarriageReturns(out), "Gobanvista\nFALSE\nzms_startGame: 0xFFFFFFFF\n");
  EXPECT_EQ(platform::RunCapturingOutput(host, {"call", "zms_chkDown"}, &out), 0);
  EXPECT_EQ(out, "");
  // zms_startGame runs the program of the Windows folder, with no argument
  // (the stand-in is in place here).
  EXPECT_EQ(platform::RunCapturingOutput(host, {"call", "zms_startGame", "Gobanvista"}, &out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(Read(windows_ + "\\KIVROInstaller.exe.log"), windows_ + "\\KIVROInstaller.exe\n");
  ASSERT_EQ(RunProgram(host, {"unregister", Windows(KIVRO_PLUGIN_FILE)}), 0);
  EXPECT_EQ(platform::RunCapturingOutput(host, {"call", "zms_chkDown"}, &out), 1);
  EXPECT_EQ(WithoutCarriageReturns(out), "create KIVROPlugin.KIVROPlugin: 0x800401F3\n");
}

}  // namespace
}  // namespace kivro::plugin
