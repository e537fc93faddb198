// CSwarmlet against the scripted test engine, which is built as
// "Swarmlet.dll" beside this test program. The test reaches the engine's
// control exports through the same library the adapter loads.
#include "transfer/swarmlet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/dynlib.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/testing/links.h"
#include "transfer/test_support/test_servers.h"
#include "update/last_error.h"

namespace kivro {

namespace {

struct TestEngine {
  platform::DynamicLibrary library;
  void (*reset)() = nullptr;
  void (*set_init)(int32_t, int32_t, int32_t) = nullptr;
  void (*set_create)(uint32_t) = nullptr;
  void (*set_download)(int32_t, uint32_t, uint32_t, uint32_t, uint32_t) = nullptr;
  uint32_t (*log)(char*, uint32_t) = nullptr;
  void (*fire_complete)(uint32_t) = nullptr;
  void (*fire_error)(uint32_t, uint32_t) = nullptr;

  bool Load() {
    if (!library.Load(platform::ProgramDirectory() + "\\Swarmlet.dll")) return false;
    reset = reinterpret_cast<void (*)()>(library.Find("TestEngine_Reset"));
    set_init = reinterpret_cast<void (*)(int32_t, int32_t, int32_t)>(library.Find("TestEngine_SetInit"));
    set_create = reinterpret_cast<void (*)(uint32_t)>(library.Find("TestEngine_SetCreateResult"));
    set_download = reinterpret_cast<void (*)(int32_t, uint32_t, uint32_t, uint32_t, uint32_t)>(
        library.Find("TestEngine_SetDownload"));
    log = reinterpret_cast<uint32_t (*)(char*, uint32_t)>(library.Find("TestEngine_Log"));
    fire_complete = reinterpret_cast<void (*)(uint32_t)>(library.Find("TestEngine_FireComplete"));
    fire_error = reinterpret_cast<void (*)(uint32_t, uint32_t)>(library.Find("TestEngine_FireError"));
    return reset && set_init && set_create && set_download && log && fire_complete && fire_error;
  }
  std::string Log() {
    std::string text(log(nullptr, 0) + 1, '\0');
    log(text.data(), static_cast<uint32_t>(text.size()));
    text.pop_back();
    return text;
  }
};

enum Mode { kCompleteAfterPolls = 0, kErrorAtStart = 1, kErrorAtPoll = 2, kNeverEnds = 3 };

std::mutex g_trace_mutex;
std::vector<std::string> g_trace;
std::vector<std::pair<uint32_t, uint32_t>> g_progress;
std::vector<int32_t> g_percents;
int g_cancel_calls = 0;
int g_cancel_on = -1;

void TraceSink(const char* line) {
  std::lock_guard<std::mutex> lock(g_trace_mutex);
  g_trace.push_back(platform::Cp949ToUtf8(line));
}
void OnProgress(uint32_t total, uint32_t received) { g_progress.emplace_back(total, received); }
void OnPercent(int32_t percent) { g_percents.push_back(percent); }
int32_t OnCancel() { return g_cancel_calls++ == g_cancel_on ? 1 : 0; }

class SwarmletAdapter : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.Load()) << "the test engine must sit beside the test program";
    engine_.reset();
    CSwarmlet::SetPollInterval(5);
    CSwarmlet::SetInitWaitLimit(5000);
    CSwarmlet::SetTraceSink(TraceSink);
    {
      std::lock_guard<std::mutex> lock(g_trace_mutex);
      g_trace.clear();
    }
    g_progress.clear();
    g_percents.clear();
    g_cancel_calls = 0;
    g_cancel_on = -1;
    SetLastErrorInfo(0, 0, nullptr);
    // The test engine writes nothing: these are the files it "fetched".
    for (const char* name : {"a.zip", "b.zip", "new/folder/a.zip"})
      kivro_test::WritePosixFile(dir_.PosixPath(name), "fetched");
  }
  void TearDown() override { CSwarmlet::SetTraceSink(nullptr); }
  void Wire(CSwarmlet* s) {
    s->SetProgressCallback(OnProgress);
    s->SetPercentCallback(OnPercent);
    s->SetCancelCheck(OnCancel);
  }
  std::vector<std::string> Trace() {
    std::lock_guard<std::mutex> lock(g_trace_mutex);
    return g_trace;
  }
  TestEngine engine_;
  kivro_test::TempDir dir_;
};

TEST_F(SwarmletAdapter, ModuleIsStartedByTheFirstAdapterAndStoppedByTheLast) {
  auto* first = new CSwarmlet;
  ASSERT_TRUE(first->Loaded());
  // The engine answers from its own thread after a while: the adapter waited.
  EXPECT_EQ(engine_.Log(), "ModuleInit(0);SetDownloadRateLimit(-1);SetUploadRateLimit(-1);");
  auto* second = new CSwarmlet;
  EXPECT_EQ(engine_.Log(), "ModuleInit(0);SetDownloadRateLimit(-1);SetUploadRateLimit(-1);");
  first->Release();
  EXPECT_EQ(engine_.Log().find("ModuleUninit"), std::string::npos);
  second->Release();
  EXPECT_EQ(engine_.Log(),
            "ModuleInit(0);SetDownloadRateLimit(-1);SetUploadRateLimit(-1);ModuleUninit;");
  std::vector<std::string> expected = {"모듈 초기화\n", "모듈 초기화 완료\n", "모듈 없애기\n",
                                       "모듈 없애기 완료\n"};
  EXPECT_EQ(Trace(), expected);
}

TEST_F(SwarmletAdapter, DownloadCallsTheEngineInItsFixedOrder) {
  CSwarmlet s;
  Wire(&s);
  engine_.set_download(kCompleteAfterPolls, 3, 1000, 300, 0);
  ASSERT_EQ(s.OpenUrlSession("LAUNCHER"), 0);
  std::string local = dir_.WinPath("new/folder/a.zip");
  engine_.reset();  // keep only the download's calls
  engine_.set_download(kCompleteAfterPolls, 3, 1000, 300, 0);
  EXPECT_EQ(s.DownloadUrl(local.c_str(), "http://h/dist/a.zip", 0), 0);
  std::string dir = dir_.WinPath("new/folder");
  EXPECT_EQ(engine_.Log(), "Create;SetOnDownloadComplete(7);SetOnError(7);Start(7,http://h/dist/a.zip.swarmlet,,," +
                               dir + ",0,0);Status;Status;Status;Status;Stop(7);Destroy(7);");
  EXPECT_TRUE(kivro_test::PosixFileExists(dir_.PosixPath("new/folder")));  // created for the engine
  // Start (0,0), then each poll; the last poll after completion is reported too.
  std::vector<std::pair<uint32_t, uint32_t>> progress = {{0, 0}, {1000, 300}, {1000, 600}, {1000, 900}, {1000, 1200}};
  EXPECT_EQ(g_progress, progress);
  EXPECT_EQ(g_percents, (std::vector<int32_t>{30, 60, 90, 100}));  // 100 when received >= total
  EXPECT_EQ(s.Total(), 1000u);
  s.CloseUrlSession();
  std::vector<std::string> trace = Trace();
  std::vector<std::string> expected = {
      "Swarmlet 접속\n",         "싱글 Swarmlet 생성\n",   "싱글 Swarmlet 생성 완료\n",
      "싱글 Swarmlet 다운로드 시작\n", "싱글 Swarmlet 다운로드 종료\n", "싱글 Swarmlet 스탑\n",
      "싱글 Swarmlet 스탑 완료\n", "싱글 Swarmlet 해제\n",   "싱글 Swarmlet 해제 완료\n",
      "싱글 Swarmlet 종료\n"};
  trace.erase(trace.begin(), trace.begin() + 2);  // the module start
  EXPECT_EQ(trace, expected);
}

TEST_F(SwarmletAdapter, OptionsChangeTheMetaExtensionAndTheExtraText) {
  CSwarmlet s;
  s.SetOption(0, "meta");
  s.SetOption(1, "peer=on");
  s.SetOption(7, "ignored");
  engine_.reset();
  EXPECT_EQ(s.DownloadHttp(dir_.WinPath("b.zip").c_str(), "http://h/b.zip", 0), 0);
  EXPECT_NE(engine_.Log().find("Start(7,http://h/b.zip.meta,peer=on,,"), std::string::npos);
  s.SetOption(0, nullptr);
  engine_.reset();
  EXPECT_EQ(s.DownloadHttp(dir_.WinPath("b.zip").c_str(), "http://h/b.zip", 0), 0);
  EXPECT_NE(engine_.Log().find("Start(7,http://h/b.zip.swarmlet,peer=on,,"), std::string::npos);
  // Texts beyond 99 characters are cut, never overflow.
  s.SetOption(0, std::string(150, 'x').c_str());
  engine_.reset();
  EXPECT_EQ(s.DownloadHttp(dir_.WinPath("b.zip").c_str(), "http://h/b.zip", 0), 0);
  EXPECT_NE(engine_.Log().find("http://h/b.zip." + std::string(99, 'x') + ","), std::string::npos);
}

TEST_F(SwarmletAdapter, ErrorBeforeTheFirstPollIs24AfterOnePoll) {
  CSwarmlet s;
  Wire(&s);
  engine_.reset();
  engine_.set_download(kErrorAtStart, 0, 1000, 100, 42);
  EXPECT_EQ(s.DownloadUrl(dir_.WinPath("a.zip").c_str(), "http://h/a.zip", 0), 24);
  EXPECT_EQ(engine_.Log(), "Create;SetOnDownloadComplete(7);SetOnError(7);Start(7,http://h/a.zip.swarmlet,,," +
                               dir_.Windows() + ",0,0);Status;Stop(7);Destroy(7);");
  EXPECT_EQ(g_cancel_calls, 0);  // the loop body never ran
  LastErrorRecord e = GetLastErrorInfo();
  EXPECT_EQ(e.code, 24);
  EXPECT_EQ(e.system_error, 0);
  EXPECT_STREQ(e.text, "SWARMLET CORE ERROR[42]");
  std::vector<std::string> trace = Trace();
  EXPECT_NE(std::find(trace.begin(), trace.end(),
                      "====================싱글 Swarmlet 에러[42]====================\n"),
            trace.end());
}

// An engine that reports completion although the requested file is not
// there (its meta file named another one) fails the download; before the
// fix this reported success and the applier found no archive.
TEST_F(SwarmletAdapter, CompletionWithoutTheRequestedFileIs26) {
  CSwarmlet s;
  Wire(&s);
  engine_.set_download(kCompleteAfterPolls, 1, 1000, 1000, 0);
  EXPECT_EQ(s.DownloadUrl(dir_.WinPath("gone.zip").c_str(), "http://h/gone.zip", 0),
            kSwarmletFileMissing);
  EXPECT_EQ(GetLastErrorInfo().code, kSwarmletFileMissing);
  // A folder at the name is no file either.
  kivro_test::WritePosixFile(dir_.PosixPath("dir.zip/x"), "");
  EXPECT_EQ(s.DownloadUrl(dir_.WinPath("dir.zip").c_str(), "http://h/dir.zip", 0),
            kSwarmletFileMissing);
}

// Hostile local files: the engine is whatever library sits beside the
// program and may write through a link planted at the requested name. A
// completion whose file is a link does not count: 26, with the link error
// as the system error. Before, the link's target was handed on as the
// download.
TEST_F(SwarmletAdapter, CompletionWithALinkAtTheRequestedNameIs26) {
  kivro_test::TempDir outside;
  kivro_test::WritePosixFile(outside.PosixPath("victim"), "elsewhere");
  if (!platform::MakeLink(outside.PosixPath("victim"), dir_.PosixPath("link.zip")))
    GTEST_SKIP() << platform::kNoLinksHere;
  CSwarmlet s;
  Wire(&s);
  engine_.set_download(kCompleteAfterPolls, 1, 1000, 1000, 0);
  EXPECT_EQ(s.DownloadUrl(dir_.WinPath("link.zip").c_str(), "http://h/link.zip", 0),
            kSwarmletFileMissing);
  EXPECT_EQ(GetLastErrorInfo().code, kSwarmletFileMissing);
  EXPECT_EQ(GetLastErrorInfo().system_error, platform::kErrorStoppedOnSymlink);
}

TEST_F(SwarmletAdapter, CancelOutranksAnEngineError) {
  CSwarmlet s;
  Wire(&s);
  engine_.set_download(kErrorAtPoll, 1, 1000, 100, 9);
  g_cancel_on = 0;  // the first cancel check, after the poll that reported the error
  EXPECT_EQ(s.DownloadUrl(dir_.WinPath("a.zip").c_str(), "http://h/a.zip", 0), 1);
  EXPECT_EQ(GetLastErrorInfo().code, 0);  // nothing stored
  EXPECT_NE(engine_.Log().find("Stop(7);Destroy(7);"), std::string::npos);
}

TEST_F(SwarmletAdapter, CancelStopsAnEndlessDownload) {
  CSwarmlet s;
  Wire(&s);
  engine_.set_download(kNeverEnds, 0, 1000, 10, 0);
  g_cancel_on = 3;
  EXPECT_EQ(s.DownloadHttp(dir_.WinPath("a.zip").c_str(), "http://h/a.zip", 0), 1);
  EXPECT_EQ(g_cancel_calls, 4);
  // The adapter is ready for the next file.
  engine_.set_download(kCompleteAfterPolls, 1, 1000, 1000, 0);
  EXPECT_EQ(s.DownloadHttp(dir_.WinPath("a.zip").c_str(), "http://h/a.zip", 0), 0);
}

TEST_F(SwarmletAdapter, CallbacksForUnknownHandlesOnlyTrace) {
  CSwarmlet s;
  engine_.set_download(kCompleteAfterPolls, 1, 10, 10, 0);
  ASSERT_EQ(s.DownloadUrl(dir_.WinPath("a.zip").c_str(), "http://h/a.zip", 0), 0);
  // Handle 7 has left the map after the download.
  engine_.fire_complete(7);
  engine_.fire_error(7, 5);
  std::vector<std::string> trace = Trace();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[trace.size() - 2], "싱글 Swarmlet 다운로드 오류\n");
  EXPECT_EQ(trace.back(), "싱글 Swarmlet 에러 처리 오류\n");
  EXPECT_EQ(GetLastErrorInfo().code, 0);
}

TEST_F(SwarmletAdapter, CreateFailureIs23WithNothingStored) {
  CSwarmlet s;
  engine_.reset();
  engine_.set_create(0);
  EXPECT_EQ(s.DownloadUrl(dir_.WinPath("a.zip").c_str(), "http://h/a.zip", 0), 23);
  EXPECT_EQ(engine_.Log(), "Create;");
  EXPECT_EQ(GetLastErrorInfo().code, 0);
}

TEST_F(SwarmletAdapter, FtpOperationsAnswer25WithoutCallingTheEngine) {
  CSwarmlet s;
  engine_.reset();
  EXPECT_EQ(s.ConnectFtp("LAUNCHER", "h", "u", "p", 21), 25);
  EXPECT_EQ(s.DownloadFtp(dir_.WinPath("a.zip").c_str(), "ftp://h/a.zip", 0), 25);
  EXPECT_EQ(s.ConnectFtpResume("LAUNCHER", "h", "u", "p", 21), 25);
  EXPECT_EQ(s.DownloadFtpResume(dir_.WinPath("a.zip").c_str(), "ftp://h/a.zip", 0), 25);
  s.CloseFtp();
  s.CloseFtpResume();
  EXPECT_EQ(engine_.Log(), "");
  EXPECT_EQ(GetLastErrorInfo().code, 0);
}

TEST_F(SwarmletAdapter, RefusedModuleStartMakesOpenAnswer22) {
  engine_.set_init(5, 1, 0);  // answered at once, inside ModuleInit, with a failure
  CSwarmlet s;
  EXPECT_EQ(engine_.Log(), "ModuleInit(0);");  // no rate limits after a failed start
  EXPECT_EQ(s.OpenUrlSession("LAUNCHER"), 22);
  EXPECT_EQ(s.ConnectHttp("LAUNCHER", "h", "", "", 80), 22);
}

TEST_F(SwarmletAdapter, UnansweredModuleStartGivesUpAtTheTimeLimit) {
  engine_.set_init(0, 0, 0);  // never answers
  CSwarmlet::SetInitWaitLimit(300);
  auto start = std::chrono::steady_clock::now();
  CSwarmlet s;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(s.OpenUrlSession("LAUNCHER"), 22);
}

TEST_F(SwarmletAdapter, CallbacksFromEngineThreadsAreSeenByThePoller) {
  // Completion arrives on a thread of the engine while the adapter polls.
  CSwarmlet s;
  Wire(&s);
  engine_.set_download(kNeverEnds, 0, 100, 1, 0);
  std::atomic<bool> done{false};
  std::thread engine_thread([&] {
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      engine_.fire_complete(7);
    }
  });
  EXPECT_EQ(s.DownloadUrl(dir_.WinPath("a.zip").c_str(), "http://h/a.zip", 0), 0);
  done = true;
  engine_thread.join();
}

}  // namespace

}  // namespace kivro
