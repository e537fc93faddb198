#include "sysinfo/client_information.h"

#include <cstdio>
#include <cstring>

#include "sysinfo/directx_version.h"

namespace kivro {

ProcessorAnswer ClientInformation::GetProcessor() const {
  ProcessorInfo cpu(env_.cpuid, env_.clock);
  ProcessorAnswer a;
  std::snprintf(a.name, sizeof a.name, "%s", cpu.name());
  a.clock = cpu.clock();
  return a;
}

OsAnswer ClientInformation::GetOperatingSystem() const {
  Zelmora::OSInfo os(env_.version, *env_.registry);
  OsAnswer a;
  a.major = os.major();
  a.minor = os.minor();
  a.build = os.build();
  a.edition_code = os.edition_code();
  a.platform_code = os.platform_code();
  std::snprintf(a.edition_name, sizeof a.edition_name, "%s", os.edition_name());
  std::snprintf(a.service_pack, sizeof a.service_pack, "%s", os.service_pack());
  return a;
}

DisplayAnswer ClientInformation::GetDisplay() const {
  DisplayAdapterInfo display(env_.display);
  DisplayAnswer a;
  a.width = display.width();
  a.height = display.height();
  a.video_memory = display.video_memory();
  // Cut to 127 characters for the report.
  const size_t n = strnlen(display.chip_name(), sizeof a.chip_name - 1);
  std::memcpy(a.chip_name, display.chip_name(), n);
  a.chip_name[n] = '\0';
  return a;
}

int ClientInformation::GetPcRoom() const {
  char code = 'X';  // overwritten by the product found; not used here
  return DetectPcRoomSoftware(code, env_.pc_room) ? 1 : 0;
}

int32_t ClientInformation::GetTotalMemory() const {
  return MemoryInfo(env_.memory_status).total();
}

uint16_t ClientInformation::GetXmlSupport() const {
  XmlSupport xml(env_.create_by_progid, env_.debug_output);
  return xml.Probe();
}

int32_t ClientInformation::GetDirectXMajor() const {
  return DirectXVersion(*env_.registry).major();
}

void FormatClientReport(const ClientReportValues& v, ClientReport* report) {
  // "[PC\xB9\xE6]" is the label [PC-bang] (internet cafe) in code page 949.
  std::snprintf(report->text, sizeof report->text,
                "===========CLIENT INFORMATION==========\n"
                "[CPU]  NAME : %s,  CLOCK : %d\n"
                "[OS]   NAME : %s, PLATFORM : %d, VERSION : %d\n"
                "[VGA]  NAME : %s,  MEMORY : %d, SCREEN : %d X %d\n"
                "[DX]   VER : %d\n"
                "[XML]  SUPPORT : %d\n"
                "[MEM]  TOTAL : %d\n"
                "[PC\xB9\xE6]\t      : %c\n",
                v.cpu_name.c_str(), v.cpu_clock, v.os_name.c_str(), v.os_platform, v.os_version,
                v.vga_name.c_str(), v.vga_memory, v.screen_width, v.screen_height, v.dx_version,
                v.xml_support, v.memory_total, v.pc_room);
}

ClientReportValues GatherClientReportValues(const ClientEnvironment& env) {
  ClientInformation info(env);
  ClientReportValues v;
  const ProcessorAnswer cpu = info.GetProcessor();
  v.cpu_name = cpu.name;
  v.cpu_clock = cpu.clock;
  const OsAnswer os = info.GetOperatingSystem();
  v.os_name = os.edition_name;
  v.os_platform = os.platform_code;
  v.os_version = os.edition_code;
  const DisplayAnswer display = info.GetDisplay();
  v.screen_width = display.width;
  v.screen_height = display.height;
  v.vga_memory = display.video_memory;
  v.vga_name = display.chip_name;
  v.pc_room = info.GetPcRoom() ? 'Y' : 'N';
  v.memory_total = info.GetTotalMemory();
  v.xml_support = info.GetXmlSupport();
  v.dx_version = info.GetDirectXMajor();
  return v;
}

int ComposeClientReport(ClientReport* report, const ClientEnvironment& env) {
  FormatClientReport(GatherClientReportValues(env), report);
  return 1;
}

int ComposeClientReport(ClientReport* report) {
  return ComposeClientReport(report, SystemClientEnvironment());
}

}  // namespace kivro
