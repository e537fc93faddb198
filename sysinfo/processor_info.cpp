#include "sysinfo/processor_info.h"

#include <cstring>
#include <new>

#include "platform/thread.h"
#include "sysinfo/processor_names.h"

namespace kivro {

namespace {

struct VendorEntry {
  const char* text;
  int32_t vendor_class;
};
const VendorEntry kVendors[] = {
    {"GenuineIntel", kVendorIntel},   {"UMC UMC UMC ", kVendorUmc},
    {"AuthenticAMD", kVendorAmd},     {"AMD ISBETTER", kVendorAmd},
    {"CyrixInstead", kVendorCyrix},   {"NexGenDriven", kVendorNexGen},
    {"CentaurHauls", kVendorCentaur}, {"RiseRiseRise", kVendorRise},
    {"GenuineTMx86", kVendorTransmeta}, {"TransmetaCPU", kVendorTransmeta},
    {"Geode By NSC", kVendorNationalSemiconductor},
};

}  // namespace

int32_t VendorClassOf(const char* vendor_string) {
  for (const VendorEntry& v : kVendors)
    if (std::memcmp(v.text, vendor_string, 13) == 0) return v.vendor_class;  // terminator included
  return kVendorUnknown;
}

ClockCounters SystemClockCounters() {
  ClockCounters c;
  c.read_time_stamp_counter = [] { return platform::ReadTimeStamp(); };
  c.query_performance_frequency = [](int64_t* f) {
    *f = platform::PerformanceFrequency();
    return *f > 0;
  };
  c.query_performance_counter = [](int64_t* v) {
    *v = platform::PerformanceCounter();
    return true;
  };
  return c;
}

ProcessorInfo::ProcessorInfo() {
  Identify([](uint32_t leaf, CpuidRegisters* out) { return platform::ExecuteCpuid(leaf, out); },
           SystemClockCounters());
}

ProcessorInfo::ProcessorInfo(const CpuidFunction& cpuid, const ClockCounters& counters) {
  Identify(cpuid, counters);
}

ProcessorInfo::~ProcessorInfo() = default;

bool ProcessorInfo::ExtendedLeafAvailable(const CpuidFunction& cpuid, uint32_t leaf) const {
  const int32_t f = family_, m = model_;
  switch (vendor_class_) {
    case kVendorAmd:
      if (f < 5 || (f == 5 && m < 6)) return false;
      break;
    case kVendorIntel:
      // Family 6 never reaches the brand string and is named from the table.
      if (f < 15) return false;
      break;
    case kVendorCyrix:
      if (f < 5 || (f == 5 && m < 4) || (f == 6 && m < 5)) return false;
      break;
    case kVendorCentaur:
      if (f < 5 || (f == 5 && m < 8)) return false;
      break;
    case kVendorTransmeta:
      if (f < 5) return false;
      break;
    default:
      break;
  }
  CpuidRegisters r;
  if (!cpuid(0x80000000u, &r)) return false;
  return (r.eax & 0x7FFFFFFFu) >= (leaf & 0x7FFFFFFFu);
}

void ProcessorInfo::Identify(const CpuidFunction& cpuid, const ClockCounters& counters) {
  CpuidRegisters r;
  if (!cpuid(0, &r)) return;  // no CPUID: no name, no clock
  std::memcpy(vendor_string_, &r.ebx, 4);
  std::memcpy(vendor_string_ + 4, &r.edx, 4);
  std::memcpy(vendor_string_ + 8, &r.ecx, 4);
  vendor_string_[12] = '\0';
  vendor_class_ = VendorClassOf(vendor_string_);

  CpuidRegisters sig;
  if (cpuid(1, &sig)) {
    stepping_ = int32_t(sig.eax & 0xF);
    model_ = int32_t((sig.eax >> 4) & 0xF);
    family_ = int32_t((sig.eax >> 8) & 0xF);
    type_ = int32_t((sig.eax >> 12) & 0xF);
    extended_model_ = int32_t((sig.eax >> 16) & 0xF);
    extended_family_ = int32_t((sig.eax >> 20) & 0xFF);
    time_stamp_counter_ = (sig.edx >> 4) & 1;
  }

  if (time_stamp_counter_) {
    clock_meter_.reset(new (std::nothrow) ClockMeter(counters));
    if (clock_meter_) clock_meter_->Measure();
  }

  if (vendor_class_ != kVendorIntel && ExtendedLeafAvailable(cpuid, 0x80000001u)) {
    CpuidRegisters ext;
    if (cpuid(0x80000001u, &ext)) multiprocessor_ = (ext.edx >> 19) & 1;
  }

  if (ExtendedLeafAvailable(cpuid, 0x80000002u) && ExtendedLeafAvailable(cpuid, 0x80000003u) &&
      ExtendedLeafAvailable(cpuid, 0x80000004u)) {
    for (uint32_t i = 0; i < 3; ++i) {
      CpuidRegisters b;
      cpuid(0x80000002u + i, &b);
      const uint32_t words[4] = {b.eax, b.ebx, b.ecx, b.edx};
      std::memcpy(name_ + 16 * i, words, 16);
    }
    name_[48] = '\0';
    if (vendor_class_ == kVendorIntel) {
      // Intel pads its brand string at the front; a name made only of
      // padding stays as it is.
      size_t skip = 0;
      while (skip < 48 && (name_[skip] == ' ' || name_[skip] == '\0')) ++skip;
      if (skip > 0 && skip < 48) {
        std::memmove(name_, name_ + skip, 49 - skip);
        std::memset(name_ + 49 - skip, 0, skip);
      }
    }
  } else {
    const char* table = ProcessorNameFromTable(vendor_class_, family_, model_, extended_family_,
                                               multiprocessor_);
    // Some table names are longer than the 48-character field (the P6 cache
    // descriptions); they are cut there, never written past it.
    std::strncpy(name_, table, 48);
    name_[48] = '\0';
  }
}

}  // namespace kivro
