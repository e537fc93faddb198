// Describes the primary display adapter, its driver and the screen, from
// the registry locations of the NT family and, failing those, of Windows
// 95/98/ME; the video memory of the latter comes from DirectDraw.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/filetime.h"
#include "sysinfo/registry_reader.h"

// What a driver file's version resource offers.

namespace kivro {

struct DriverVersionResource {
  uint16_t file_version[4] = {};  // major, minor, build, revision
  // (language, code page) pairs of the translation table, in order.
  std::vector<std::pair<uint16_t, uint16_t>> translations;
  // String values by their full path, e.g. "\StringFileInfo\041204B0\CompanyName".
  std::vector<std::pair<std::string, std::string>> strings;
};

// The entry of the translation table to read strings from: the user's
// default language; else the first entry of the same primary (low) byte;
// else language-neutral (0, then low byte 0); else English (low byte 9);
// else the first. -1 when the table is empty.
int ChooseTranslation(const std::vector<std::pair<uint16_t, uint16_t>>& translations,
                      uint16_t user_language);

// Rounds megabytes to the nearer power of two, halves up: 24 -> 32, 20 -> 16.
uint32_t RoundVideoMemory(uint32_t megabytes);

// The facilities the probe uses; tests hand in their own.
struct DisplaySystem {
  std::function<void(int* width, int* height)> screen_size;
  const RegistryReader* registry = nullptr;
  // DirectDraw's total video memory for surfaces; false on any failure.
  std::function<bool(uint64_t* bytes)> directdraw_video_memory;
  std::function<bool(const std::string& file, DriverVersionResource* out)> read_version_resource;
  std::function<uint16_t()> user_default_language;
  // The last-write time (UTC) of a file; false when it does not exist.
  std::function<bool(const std::string& path, platform::FileTime* write)> file_write_time;
  // The Windows directory as the "windir" environment variable names it.
  std::function<std::string()> windows_directory;
};
DisplaySystem SystemDisplaySystem();

class DisplayAdapterInfo {
 public:
  DisplayAdapterInfo();  // this machine
  explicit DisplayAdapterInfo(const DisplaySystem& system);

  int width() const { return width_; }
  int height() const { return height_; }
  int video_memory() const { return video_memory_; }  // MB, 0 when unknown
  const char* company_name() const { return company_name_; }
  const char* chip_name() const { return chip_name_; }
  const char* device_description() const { return device_description_; }
  const char* dac_type() const { return dac_type_; }
  const char* driver_file() const { return driver_file_; }
  const char* driver_date() const { return driver_date_; }
  const char* driver_version() const { return driver_version_; }

 private:
  bool ReadNtAdapter(const RegistryReader& registry);
  bool ReadWin9xAdapter(const RegistryReader& registry);
  void ReadDriverFile(const DisplaySystem& system);

  int width_ = 0, height_ = 0;
  int video_memory_ = 0;
  char company_name_[256] = {};
  char chip_name_[256] = {};
  char device_description_[256] = {};
  char dac_type_[256] = {};
  char driver_file_[256] = {};
  char driver_date_[256] = {};
  char driver_version_[256] = {};
};

}  // namespace kivro
