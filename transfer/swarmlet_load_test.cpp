// CSwarmlet when the engine library is missing, incomplete, or offered
// only in the current directory. This program's folder holds no
// "Swarmlet.dll" of its own; the tests place one there and remove it.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/dynlib.h"
#include "platform/paths.h"
#include "transfer/swarmlet.h"
#include "transfer/test_support/test_servers.h"
#include "update/last_error.h"

namespace kivro {

namespace fs = std::filesystem;

namespace {

fs::path ProgramFolder() { return platform::ToPosixPath(platform::ProgramDirectory()); }

// Puts a library into this program's folder as "Swarmlet.dll" for one test.
class PlacedLibrary {
 public:
  explicit PlacedLibrary(const fs::path& source) : target_(ProgramFolder() / "Swarmlet.dll") {
    fs::copy_file(source, target_, fs::copy_options::overwrite_existing);
  }
  ~PlacedLibrary() {
    std::error_code ec;
    fs::remove(target_, ec);
  }

 private:
  fs::path target_;
};

void ExpectAnswers21(CSwarmlet* s) {
  EXPECT_FALSE(s->Loaded());
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(s->OpenUrlSession("LAUNCHER"), 21);
  EXPECT_EQ(s->ConnectHttp("LAUNCHER", "h", "", "", 80), 21);
  EXPECT_EQ(s->DownloadUrl("Z:\\tmp\\never\\a.zip", "http://h/a.zip", 0), 21);
  EXPECT_EQ(s->DownloadHttp("Z:\\tmp\\never\\a.zip", "http://h/a.zip", 0), 21);
  LastErrorRecord e = GetLastErrorInfo();
  EXPECT_EQ(e.code, 21);
  EXPECT_EQ(e.system_error, 0);
  EXPECT_STREQ(e.text, "SWARMLET DLL LOADING ERROR");
  EXPECT_EQ(s->DownloadFtp("Z:\\tmp\\never\\a.zip", "ftp://h/a.zip", 0), 25);
  EXPECT_FALSE(kivro_test::PosixFileExists("/tmp/never"));
}

TEST(SwarmletLoad, MissingLibraryAnswers21) {
  ASSERT_FALSE(fs::exists(ProgramFolder() / "Swarmlet.dll"));
  SetLastErrorInfo(0, 0, nullptr);
  CSwarmlet s;
  EXPECT_EQ(GetLastErrorInfo().code, 21);  // stored at construction
  ExpectAnswers21(&s);
}

TEST(SwarmletLoad, MissingEntryPointAnswers21WithoutCallingTheEngine) {
  PlacedLibrary placed(ProgramFolder() / "SwarmletIncomplete.dll");
  {
    CSwarmlet s;
    ExpectAnswers21(&s);
  }
  platform::DynamicLibrary engine;
  ASSERT_TRUE(engine.Load(platform::ProgramDirectory() + "\\Swarmlet.dll"));
  auto log = reinterpret_cast<uint32_t (*)(char*, uint32_t)>(engine.Find("TestEngine_Log"));
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log(nullptr, 0), 0u);  // not even ModuleInit
}

TEST(SwarmletLoad, LibraryInTheCurrentDirectoryIsNotTaken) {
  fs::path complete = ProgramFolder().parent_path() / "swarmlet_adapter" / "Swarmlet.dll";
  ASSERT_TRUE(fs::exists(complete)) << complete;
  kivro_test::TempDir elsewhere;
  fs::copy_file(complete, fs::path(elsewhere.Posix()) / "Swarmlet.dll");
  std::string before = platform::CurrentDirectory();
  ASSERT_TRUE(platform::ChangeCurrentDirectory(elsewhere.Windows()));
  {
    CSwarmlet s;
    EXPECT_FALSE(s.Loaded());
  }
  platform::ChangeCurrentDirectory(before);
}

}  // namespace

}  // namespace kivro
