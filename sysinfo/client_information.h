// The client information report: one fixed text of eight lines describing
// the PC (processor, operating system, display, DirectX, XML components,
// memory and PC-room software), composed at each start of an update.
//
// ClientInformation is a stateless front over the probes; every probe runs
// synchronously on the caller's thread (about 50 ms of busy waiting for the
// processor clock). ClientEnvironment carries the facilities the probes
// use, so tests compose reports of machines of their own.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "pcroom/pc_room_detection.h"
#include "sysinfo/clock_meter.h"
#include "sysinfo/display_adapter_info.h"
#include "sysinfo/memory_info.h"
#include "sysinfo/os_info.h"
#include "sysinfo/processor_info.h"
#include "sysinfo/xml_support.h"

namespace kivro {

struct ClientEnvironment {
  CpuidFunction cpuid;
  ClockCounters clock;
  Zelmora::VersionQuery version;
  const RegistryReader* registry = nullptr;
  DisplaySystem display;
  PcRoomEnvironment pc_room;
  MemoryStatusQuery memory_status;
  XmlSupport::CreateByProgId create_by_progid;
  XmlSupport::DebugOutput debug_output;
};
// This machine.
ClientEnvironment SystemClientEnvironment();

struct ProcessorAnswer {
  char name[49] = {};
  int clock = -1;
};
struct OsAnswer {
  uint32_t major = 0, minor = 0, build = 0;
  int32_t edition_code = 0;
  int32_t platform_code = 0;
  char edition_name[128] = {};
  char service_pack[128] = {};
};
struct DisplayAnswer {
  int width = 0, height = 0;
  int video_memory = 0;
  char chip_name[128] = {};  // cut to 127 characters
};

class ClientInformation {
 public:
  explicit ClientInformation(const ClientEnvironment& env) : env_(env) {}

  ProcessorAnswer GetProcessor() const;
  OsAnswer GetOperatingSystem() const;
  DisplayAnswer GetDisplay() const;
  int GetPcRoom() const;  // 1 when PC-room software is found, else 0
  int32_t GetTotalMemory() const;
  uint16_t GetXmlSupport() const;
  int32_t GetDirectXMajor() const;

 private:
  const ClientEnvironment& env_;
};

// The thirteen values of the report, in the order they are printed.
struct ClientReportValues {
  std::string cpu_name;
  int cpu_clock = -1;
  std::string os_name;
  int os_platform = 0;
  int os_version = 0;
  std::string vga_name;
  int vga_memory = 0;
  int screen_width = 0;
  int screen_height = 0;
  int dx_version = 0;
  int xml_support = 0;
  int memory_total = 0;
  char pc_room = 'N';
};

constexpr size_t kClientReportSize = 512;
struct ClientReport {
  char text[kClientReportSize] = {};
};

// Formats the values in the report's fixed format (code page 949), cut at
// the 512-byte buffer.
void FormatClientReport(const ClientReportValues& values, ClientReport* report);

// Runs the probes in the report's order and answers their values.
ClientReportValues GatherClientReportValues(const ClientEnvironment& env);

// Composes the report of this machine (or of `env`) into `report`; answers 1.
// It never fails as a whole: a value that cannot be determined carries its
// fallback ("Unknown", 0, -1 for the clock).
int ComposeClientReport(ClientReport* report);
int ComposeClientReport(ClientReport* report, const ClientEnvironment& env);

}  // namespace kivro
