// Test support for the plug-in: a fresh virtual root (and XDG folders) per
// test, stand-in programs in the Windows directory, and helpers for strings.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/process.h"

namespace kivro::plugin {

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // POSIX paths.
  std::string Root() const { return root_; }
  std::string WindowsFolder() const;  // the Windows directory
  // Writes an executable script `name` into `folder` that, after
  // `delay_ms`, records its argument count and arguments (one per line)
  // into `<root>/<log>`.
  std::string PlaceRecorder(const std::string& folder, const std::string& name,
                            const std::string& log, int delay_ms = 0);
  static std::string Read(const std::string& path);
  static bool Exists(const std::string& path);
  // Runs kivro_test_named_object_holder with `args` (READY appended) and
  // waits until it holds its object.
  bool StartHolder(platform::Process* holder, std::vector<std::string> args);

  std::string root_;
};

// An owned BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::u16string& text) : s_(platform::SysAllocStringFromUtf16(text)) {}
  ~Bstr() { platform::SysFreeString(s_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  platform::BSTR get() const { return s_; }
  platform::BSTR* out() {
    platform::SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  std::u16string text() const { return platform::BstrToUtf16(s_); }

 private:
  platform::BSTR s_ = nullptr;
};

}  // namespace kivro::plugin
