// Reader of the ".vrl" patch list: a header of informational keys, then
// sections of directory lines and records. The parsed description is read
// through the public fields below.
//
// Not shared between threads: one worker resets and reads it, then reads the
// fields.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "patch/line_tokenizer.h"
#include "patch/vrel_records.h"

namespace kivro {

enum SectionType : int32_t {
  kSectionUnknown = 0,
  kSectionHeader = 1,
  kSectionInstall = 2,
  kSectionUninstall = 3,
  kSectionNpkPackageInstall = 4,
  kSectionNpkEntityInstall = 5,
  kSectionNpkPackageUninstall = 6,
  kSectionNpkEntityUninstall = 7,
  kSectionSetupInstall = 8,
};

// Lines are read with a buffer of this size: a line holds at most 4095
// characters and a longer physical line continues as the next line.
constexpr size_t kVrelLineBuffer = 4096;

class CVrelBase {
 public:
  CVrelBase() = default;
  CVrelBase(const CVrelBase&) = delete;
  CVrelBase& operator=(const CVrelBase&) = delete;
  virtual ~CVrelBase() = default;

  // Reads a list file (a Windows path). True when the file could be opened,
  // whatever its content. The caller resets the reader before each read.
  bool Read(const char* path);
  // The same over bytes in memory.
  void ReadBuffer(const char* data, size_t length);
  // Deletes every record and zeroes the counters and totals.
  void Reset();
  // Parses one line (as read, with its line feed).
  void ParseLine(const char* line);

  int32_t line_count = 0;
  SectionType current_section = kSectionUnknown;
  LineTokenizer tokenizer;
  std::string project_name;
  std::string download_url;  // without surrounding double quotes
  int64_t publication_date = 0;
  uint32_t total_checksum = 0;
  uint32_t total_archive_size = 0;
  uint32_t total_file_count = 0;
  int32_t header_key_count = 0;
  std::vector<std::unique_ptr<VrelDirectory>> install_directories;
  std::vector<std::unique_ptr<VrelDirectory>> uninstall_directories;
  VrelDirectory* current_directory = nullptr;
  std::vector<std::unique_ptr<CNpkPackageBag>> package_install_bags;
  std::vector<std::unique_ptr<CNpkPackageBag>> package_uninstall_bags;
  CNpkPackage* current_package = nullptr;
  CNpkPackageBag* current_bag = nullptr;
  std::vector<std::unique_ptr<VrelDirectory>> setup_directories;

 private:
  void ParseSectionLine();
  void ParseHeaderKey();
  void ParseDirectoryLine(bool keyword);
  void ParseRecord();
  void SelectEntityInstallPackage(std::string path);
  void SelectEntityUninstallPackage(std::string path, int32_t keyword);
  // Reads the next field into token_; on failure token_ keeps the previous
  // field's text, which is what a missing field reads as.
  const std::string& Field(bool first);

  std::string token_;
  // Section in which each current target was set: records only go to a
  // target set by a directory line of their own section.
  SectionType directory_section_ = kSectionUnknown;
  SectionType bag_section_ = kSectionUnknown;
  SectionType package_section_ = kSectionUnknown;
};

}  // namespace kivro
