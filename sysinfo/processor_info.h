// Names the processor and measures its clock for the client report, from
// the processor identification instruction (CPUID): the vendor, the
// family/model signature, the feature flags and, where offered, the
// 48-character brand string. Processors without a usable brand string are
// named from a fixed table (processor_names.h).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/system_info.h"
#include "sysinfo/clock_meter.h"

namespace kivro {

using CpuidRegisters = platform::CpuidRegisters;
// Executes one CPUID leaf; false when the instruction faults.
using CpuidFunction = std::function<bool(uint32_t leaf, CpuidRegisters* out)>;

enum ProcessorVendor : int32_t {
  kVendorAmd = 0,
  kVendorIntel = 1,
  kVendorNationalSemiconductor = 2,
  kVendorUmc = 3,
  kVendorCyrix = 4,
  kVendorNexGen = 5,
  kVendorCentaur = 6,
  kVendorRise = 7,
  kVendorTransmeta = 8,
  kVendorUnknown = 9,
};

// The vendor class of a 12-character vendor string.
int32_t VendorClassOf(const char* vendor_string);

class ProcessorInfo {
 public:
  // The processor of this machine.
  ProcessorInfo();
  // `counters` are used only when the processor has a time-stamp counter.
  ProcessorInfo(const CpuidFunction& cpuid, const ClockCounters& counters);
  ~ProcessorInfo();
  ProcessorInfo(const ProcessorInfo&) = delete;
  ProcessorInfo& operator=(const ProcessorInfo&) = delete;

  const char* name() const { return name_; }
  // The measured clock in MHz; -1 without a time-stamp counter.
  int clock() const { return clock_meter_ ? clock_meter_->mhz() : -1; }

  int32_t vendor_class() const { return vendor_class_; }
  const char* vendor_string() const { return vendor_string_; }
  int32_t family() const { return family_; }
  int32_t model() const { return model_; }
  int32_t stepping() const { return stepping_; }
  int32_t processor_type() const { return type_; }
  int32_t extended_family() const { return extended_family_; }
  int32_t extended_model() const { return extended_model_; }
  bool multiprocessor_capable() const { return multiprocessor_; }

 private:
  void Identify(const CpuidFunction& cpuid, const ClockCounters& counters);
  bool ExtendedLeafAvailable(const CpuidFunction& cpuid, uint32_t leaf) const;

  int32_t vendor_class_ = kVendorUnknown;
  char vendor_string_[13] = {};
  int32_t stepping_ = 0, model_ = 0, family_ = 0, type_ = 0;
  int32_t extended_model_ = 0, extended_family_ = 0;
  bool time_stamp_counter_ = false;
  bool multiprocessor_ = false;
  char name_[49] = {};
  std::unique_ptr<ClockMeter> clock_meter_;
};

}  // namespace kivro
