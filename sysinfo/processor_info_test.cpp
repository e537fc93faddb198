#include "sysinfo/processor_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "sysinfo/processor_names.h"

namespace kivro {

namespace {

// A processor made of CPUID answers.
struct FakeCpu {
  bool has_cpuid = true;
  std::map<uint32_t, CpuidRegisters> leaves;
  mutable std::set<uint32_t> asked;

  FakeCpu(const char* vendor, int family, int model, int extended_family = 0, bool tsc = true) {
    CpuidRegisters v;
    v.eax = 1;
    std::memcpy(&v.ebx, vendor, 4);
    std::memcpy(&v.edx, vendor + 4, 4);
    std::memcpy(&v.ecx, vendor + 8, 4);
    leaves[0] = v;
    CpuidRegisters s;
    s.eax = uint32_t(3 | (model << 4) | (family << 8) | (extended_family << 20));
    s.edx = tsc ? 0x10 : 0;
    leaves[1] = s;
  }
  void SetMaxExtended(uint32_t max) { leaves[0x80000000u].eax = max; }
  // The brand string, padded with zero bytes to its 48 bytes.
  void SetBrand(std::string brand) {
    brand.resize(48, '\0');
    SetMaxExtended(0x80000004u);
    for (uint32_t i = 0; i < 3; ++i) {
      CpuidRegisters r;
      std::memcpy(&r, brand.data() + 16 * i, 16);
      leaves[0x80000002u + i] = r;
    }
  }
  void SetMultiprocessor(bool mp) { leaves[0x80000001u].edx = mp ? (1u << 19) : 0; }

  CpuidFunction Function() const {
    return [this](uint32_t leaf, CpuidRegisters* out) {
      if (!has_cpuid) return false;
      asked.insert(leaf);
      auto it = leaves.find(leaf);
      *out = it == leaves.end() ? CpuidRegisters() : it->second;
      return true;
    };
  }
};

// A machine whose time runs only when its counters are read: 1 us per
// performance-counter reading (a 1 MHz counter), the time-stamp counter at
// `mhz` cycles per microsecond.
struct FakeClock {
  int64_t microseconds = 0;
  int64_t mhz = 2000;
  bool has_performance_counter = true;
  ClockCounters Counters() {
    ClockCounters c;
    c.read_time_stamp_counter = [this] { return uint64_t(microseconds * mhz); };
    c.query_performance_frequency = [this](int64_t* f) {
      *f = has_performance_counter ? 1000000 : 0;
      return has_performance_counter;
    };
    c.query_performance_counter = [this](int64_t* v) {
      *v = ++microseconds;
      return has_performance_counter;
    };
    return c;
  }
};

std::string NameOf(const FakeCpu& cpu) {
  FakeClock clock;
  ProcessorInfo info(cpu.Function(), clock.Counters());
  return info.name();
}

const char kBrand[] = "   Intel(R) Xeon(R) CPU @ 2.20GHz";

TEST(ProcessorVendor, EveryVendorStringHasItsClass) {
  EXPECT_EQ(VendorClassOf("GenuineIntel"), kVendorIntel);
  EXPECT_EQ(VendorClassOf("UMC UMC UMC "), kVendorUmc);
  EXPECT_EQ(VendorClassOf("AuthenticAMD"), kVendorAmd);
  EXPECT_EQ(VendorClassOf("AMD ISBETTER"), kVendorAmd);
  EXPECT_EQ(VendorClassOf("CyrixInstead"), kVendorCyrix);
  EXPECT_EQ(VendorClassOf("NexGenDriven"), kVendorNexGen);
  EXPECT_EQ(VendorClassOf("CentaurHauls"), kVendorCentaur);
  EXPECT_EQ(VendorClassOf("RiseRiseRise"), kVendorRise);
  EXPECT_EQ(VendorClassOf("GenuineTMx86"), kVendorTransmeta);
  EXPECT_EQ(VendorClassOf("TransmetaCPU"), kVendorTransmeta);
  EXPECT_EQ(VendorClassOf("Geode By NSC"), kVendorNationalSemiconductor);
  EXPECT_EQ(VendorClassOf("HygonGenuine"), kVendorUnknown);
  EXPECT_EQ(VendorClassOf("genuineintel"), kVendorUnknown);
}

TEST(ProcessorNameTable, EveryRow) {
  struct Row {
    int vendor, family, model, extended_family;
    bool mp;
    const char* name;
  } rows[] = {
      {kVendorAmd, 4, 3, 0, false, "80486DX2"},
      {kVendorAmd, 4, 7, 0, false, "80486DX2 WriteBack"},
      {kVendorAmd, 4, 8, 0, false, "80486DX4"},
      {kVendorAmd, 4, 9, 0, false, "80486DX4 WriteBack"},
      {kVendorAmd, 4, 14, 0, false, "5x86"},
      {kVendorAmd, 4, 15, 0, false, "5x86WB"},
      {kVendorAmd, 4, 1, 0, false, "Unknown 80486 family"},
      {kVendorAmd, 5, 0, 0, false, "SSA5 (PR75, PR90, PR100)"},
      {kVendorAmd, 5, 1, 0, false, "5k86 (PR120, PR133)"},
      {kVendorAmd, 5, 2, 0, false, "5k86 (PR166)"},
      {kVendorAmd, 5, 3, 0, false, "5k86 (PR200)"},
      {kVendorAmd, 5, 6, 0, false, "K6 (0.30 \xA5\xEC)"},
      {kVendorAmd, 5, 7, 0, false, "K6 (0.25 \xA5\xEC)"},
      {kVendorAmd, 5, 8, 0, false, "K6-2"},
      {kVendorAmd, 5, 9, 0, false, "K6-III"},
      {kVendorAmd, 5, 13, 0, false, "K6-2+ or K6-III+ (0.18 \xA5\xEC)"},
      {kVendorAmd, 5, 4, 0, false, "Unknown 80586 family"},
      {kVendorAmd, 6, 1, 0, false, "Athlon(tm)(0.25 \xA5\xEC)"},
      {kVendorAmd, 6, 2, 0, false, "Athlon(tm)(0.18 \xA5\xEC)"},
      {kVendorAmd, 6, 3, 0, false, "Duron(tm)(SF core)"},
      {kVendorAmd, 6, 4, 0, false, "Athlon(tm)(Thunderbird core)"},
      {kVendorAmd, 6, 6, 0, false, "Athlon(tm)(Palomino core)"},
      {kVendorAmd, 6, 7, 0, false, "Duron(tm)(Morgan core)"},
      {kVendorAmd, 6, 8, 0, true, "Athlon(tm)MP (Thoroughbred core)"},
      {kVendorAmd, 6, 8, 0, false, "Athlon(tm)XP (Thoroughbred core)"},
      {kVendorAmd, 6, 5, 0, false, "Unknown K7 family"},
      {kVendorAmd, 15, 1, 0, false, "Unknown AMD family"},
      {kVendorIntel, 3, 0, 0, false, "Newer i80386 family"},
      {kVendorIntel, 4, 0, 0, false, "i80486DX-25/33"},
      {kVendorIntel, 4, 1, 0, false, "i80486DX-50"},
      {kVendorIntel, 4, 2, 0, false, "i80486SX"},
      {kVendorIntel, 4, 3, 0, false, "i80486DX2"},
      {kVendorIntel, 4, 4, 0, false, "i80486SL"},
      {kVendorIntel, 4, 5, 0, false, "i80486SX2"},
      {kVendorIntel, 4, 7, 0, false, "i80486DX2 WriteBack"},
      {kVendorIntel, 4, 8, 0, false, "i80486DX4"},
      {kVendorIntel, 4, 9, 0, false, "i80486DX4 WriteBack"},
      {kVendorIntel, 4, 6, 0, false, "Unknown 80486 family"},
      {kVendorIntel, 5, 0, 0, false, "P5 A-Step"},
      {kVendorIntel, 5, 1, 0, false, "P5"},
      {kVendorIntel, 5, 2, 0, false, "P54C"},
      {kVendorIntel, 5, 7, 0, false, "P54C"},
      {kVendorIntel, 5, 3, 0, false, "P24T OverDrive"},
      {kVendorIntel, 5, 4, 0, false, "P55C"},
      {kVendorIntel, 5, 8, 0, false, "P55C (0.25\xA5\xEC)"},
      {kVendorIntel, 5, 5, 0, false, "Unknown Pentium(tm)family"},
      {kVendorIntel, 6, 0, 0, false, "P6 A-Step"},
      {kVendorIntel, 6, 1, 0, false, "P6"},
      {kVendorIntel, 6, 3, 0, false, "Pentium(tm)II (0.28 \xA5\xEC)"},
      {kVendorIntel, 6, 5, 0, false, "Pentium(tm)II (0.25 \xA5\xEC)"},
      {kVendorIntel, 6, 6, 0, false, "Pentium(tm)II With On-Die L2 Cache"},
      {kVendorIntel, 6, 7, 0, false, "Pentium(tm)III (0.25 \xA5\xEC)"},
      {kVendorIntel, 6, 8, 0, false,
       "Pentium(tm)III (0.18 \xA5\xEC) With 256 KB On-Die L2 Cache "},
      {kVendorIntel, 6, 9, 0, false, "Pentium(tm) Centrino (0.13 \xA5\xEC, Banias core)"},
      {kVendorIntel, 6, 10, 0, false,
       "Pentium(tm)III (0.18 \xA5\xEC) With 1 Or 2 MB On-Die L2 Cache "},
      {kVendorIntel, 6, 11, 0, false,
       "Pentium(tm)III (0.13 \xA5\xEC) With 256 Or 512 KB On-Die L2 Cache "},
      {kVendorIntel, 6, 2, 0, false, "Unknown P6 family"},
      {kVendorIntel, 6, 12, 0, false, "Unknown P6 family"},
      {kVendorIntel, 7, 0, 0, false, "Intel Merced (IA-64)"},
      {kVendorIntel, 15, 0, 0, false, "Pentium(tm)IV (0.18 \xA5\xEC)"},
      {kVendorIntel, 15, 1, 0, false, "Pentium(tm)IV (0.18 \xA5\xEC)"},
      {kVendorIntel, 15, 2, 0, false, "Pentium(tm)IV (0.13 \xA5\xEC)"},
      {kVendorIntel, 15, 3, 0, false, "Unknown Pentium 4 family"},
      {kVendorIntel, 15, 0, 1, false, "Intel McKinley (IA-64)"},
      {kVendorIntel, 15, 0, 2, false, ""},
      {kVendorIntel, 8, 0, 0, false, "Unknown Intel family"},
      {kVendorNationalSemiconductor, 4, 4, 0, false, "Cx486SLC \\ DLC \\ Cx486S A-Step"},
      {kVendorUmc, 4, 1, 0, false, "U5D"},
      {kVendorUmc, 4, 2, 0, false, "U5S"},
      {kVendorUmc, 4, 3, 0, false, "Unknown UMC family"},
      {kVendorUmc, 5, 1, 0, false, "Unknown UMC family"},
      {kVendorCyrix, 4, 4, 0, false, "MediaGX GX, GXm"},
      {kVendorCyrix, 4, 9, 0, false, "5x86"},
      {kVendorCyrix, 4, 1, 0, false, "Unknown Cx5x86 family"},
      {kVendorCyrix, 5, 2, 0, false, "Cx6x86"},
      {kVendorCyrix, 5, 4, 0, false, "MediaGX GXm"},
      {kVendorCyrix, 5, 1, 0, false, "Unknown Cx6x86 family"},
      {kVendorCyrix, 6, 0, 0, false, "6x86MX"},
      {kVendorCyrix, 6, 5, 0, false, "Cyrix M2 Core"},
      {kVendorCyrix, 6, 6, 0, false, "WinChip C5A Core"},
      {kVendorCyrix, 6, 7, 0, false, "WinChip C5B\\C5C Core"},
      {kVendorCyrix, 6, 8, 0, false, "WinChip C5C-T Core"},
      {kVendorCyrix, 6, 1, 0, false, "Unknown 6x86MX\\Cyrix III family"},
      {kVendorCyrix, 7, 0, 0, false, "Unknown Cyrix family"},
      {kVendorNexGen, 5, 0, 0, false, "Nx586 or Nx586FPU"},
      {kVendorNexGen, 5, 1, 0, false, "Unknown NexGen family"},
      {kVendorNexGen, 6, 0, 0, false, "Unknown NexGen family"},
      {kVendorCentaur, 5, 4, 0, false, "C6"},
      {kVendorCentaur, 5, 8, 0, false, "C2"},
      {kVendorCentaur, 5, 9, 0, false, "C3"},
      {kVendorCentaur, 6, 6, 0, false, "VIA Cyrix III - Samuel"},
      {kVendorCentaur, 5, 6, 0, false, "Unknown IDT\\Centaur family"},
      {kVendorCentaur, 6, 4, 0, false, "Unknown IDT\\Centaur family"},
      {kVendorRise, 5, 0, 0, false, "mP6 (0.25 \xA5\xEC)"},
      {kVendorRise, 5, 2, 0, false, "mP6 (0.18 \xA5\xEC)"},
      {kVendorRise, 5, 1, 0, false, "Unknown Rise family"},
      {kVendorRise, 6, 0, 0, false, "Unknown Rise family"},
      {kVendorTransmeta, 5, 4, 0, false, "Crusoe TM3x00 and TM5x00"},
      {kVendorTransmeta, 5, 3, 0, false, "Unknown Crusoe family"},
      {kVendorTransmeta, 6, 4, 0, false, "Unknown Transmeta family"},
      {kVendorUnknown, 6, 0, 0, false, "Unknown family"},
  };
  for (const Row& r : rows) {
    EXPECT_STREQ(ProcessorNameFromTable(r.vendor, r.family, r.model, r.extended_family, r.mp),
                 r.name)
        << r.vendor << " " << r.family << " " << r.model;
  }
}

TEST(ProcessorInfoName, TableNamesLongerThanTheFieldAreCut) {
  FakeCpu cpu("GenuineIntel", 6, 11);
  std::string name = NameOf(cpu);
  EXPECT_EQ(name.size(), 48u);
  EXPECT_EQ(name, std::string("Pentium(tm)III (0.13 \xA5\xEC) With 256 Or 512 KB On-Die L2 Cache ")
                      .substr(0, 48));
}

TEST(ProcessorInfoName, IntelFamily6IgnoresItsBrandString) {
  for (int model : {12, 13, 15}) {
    FakeCpu cpu("GenuineIntel", 6, model);
    cpu.SetBrand(kBrand);
    EXPECT_EQ(NameOf(cpu), "Unknown P6 family");
    EXPECT_EQ(cpu.asked.count(0x80000000u), 0u);  // never asked below family 15
  }
}

TEST(ProcessorInfoName, IntelBrandStringLosesLeadingBlanksAmdKeepsThem) {
  FakeCpu intel("GenuineIntel", 15, 2);
  intel.SetBrand(kBrand);
  EXPECT_EQ(NameOf(intel), "Intel(R) Xeon(R) CPU @ 2.20GHz");
  FakeCpu amd("AuthenticAMD", 15, 1);
  amd.SetBrand(kBrand);
  EXPECT_EQ(NameOf(amd), "   Intel(R) Xeon(R) CPU @ 2.20GHz");
  // Zero bytes in front count as padding too.
  FakeCpu padded("GenuineIntel", 15, 2);
  padded.SetBrand(std::string(3, '\0') + " Pentium 4");
  EXPECT_EQ(NameOf(padded), "Pentium 4");
  // A name made only of padding stays as it is.
  FakeCpu empty("GenuineIntel", 15, 2);
  empty.SetBrand(std::string(48, ' '));
  EXPECT_EQ(NameOf(empty), std::string(48, ' '));
}

TEST(ProcessorInfoName, ExtendedLeafMinimumsPerVendor) {
  struct Case {
    const char* vendor;
    int family, model;
    bool brand;
  } cases[] = {
      {"AuthenticAMD", 4, 15, false}, {"AuthenticAMD", 5, 5, false},
      {"AuthenticAMD", 5, 6, true},   {"AuthenticAMD", 6, 0, true},
      {"GenuineIntel", 14, 0, false}, {"GenuineIntel", 15, 0, true},
      {"CyrixInstead", 4, 9, false},  {"CyrixInstead", 5, 3, false},
      {"CyrixInstead", 5, 4, true},   {"CyrixInstead", 6, 4, false},
      {"CyrixInstead", 6, 5, true},   {"CentaurHauls", 4, 0, false},
      {"CentaurHauls", 5, 7, false},  {"CentaurHauls", 5, 8, true},
      {"CentaurHauls", 6, 0, true},   {"TransmetaCPU", 4, 0, false},
      {"TransmetaCPU", 5, 0, true},   {"RiseRiseRise", 4, 0, true},
      {"UMC UMC UMC ", 3, 0, true},   {"SomeoneElse!", 1, 0, true},
  };
  for (const Case& c : cases) {
    FakeCpu cpu(c.vendor, c.family, c.model);
    cpu.SetBrand("Brand Name CPU");
    std::string name = NameOf(cpu);
    EXPECT_EQ(name == "Brand Name CPU", c.brand) << c.vendor << " " << c.family << " " << c.model;
    if (!c.brand) {
      EXPECT_EQ(cpu.asked.count(0x80000000u), 0u) << c.vendor;
    }
  }
}

TEST(ProcessorInfoName, BrandNeedsAllThreeLeaves) {
  FakeCpu cpu("AuthenticAMD", 6, 4);
  cpu.SetBrand("Brand");
  cpu.SetMaxExtended(0x80000003u);
  EXPECT_EQ(NameOf(cpu), "Athlon(tm)(Thunderbird core)");
  // The comparison ignores the top bit of both numbers.
  cpu.SetMaxExtended(0x00000004u);
  EXPECT_EQ(NameOf(cpu), "Brand");
}

TEST(ProcessorInfoName, AmdModel8IsNamedByItsMultiprocessorFlag) {
  FakeCpu mp("AuthenticAMD", 6, 8);
  mp.SetMaxExtended(0x80000001u);
  mp.SetMultiprocessor(true);
  EXPECT_EQ(NameOf(mp), "Athlon(tm)MP (Thoroughbred core)");
  FakeCpu xp("AuthenticAMD", 6, 8);
  xp.SetMaxExtended(0x80000001u);
  xp.SetMultiprocessor(false);
  EXPECT_EQ(NameOf(xp), "Athlon(tm)XP (Thoroughbred core)");
  // Intel never reads the flag.
  FakeCpu intel("GenuineIntel", 15, 0);
  intel.SetMaxExtended(0x80000001u);
  intel.SetMultiprocessor(true);
  FakeClock clock;
  ProcessorInfo info(intel.Function(), clock.Counters());
  EXPECT_FALSE(info.multiprocessor_capable());
  EXPECT_EQ(intel.asked.count(0x80000001u), 0u);
}

TEST(ProcessorInfoName, UnknownVendorWithoutBrandString) {
  FakeCpu cpu("VIA VIA VIA ", 6, 15);
  EXPECT_EQ(NameOf(cpu), "Unknown family");
}

TEST(ProcessorInfoSignature, FieldsOfLeafOne) {
  FakeCpu cpu("GenuineIntel", 15, 4, 0x12);
  cpu.leaves[1].eax |= (0x7u << 16) | (0x2u << 12);
  FakeClock clock;
  ProcessorInfo info(cpu.Function(), clock.Counters());
  EXPECT_EQ(info.family(), 15);
  EXPECT_EQ(info.model(), 4);
  EXPECT_EQ(info.stepping(), 3);
  EXPECT_EQ(info.extended_family(), 0x12);
  EXPECT_EQ(info.extended_model(), 7);
  EXPECT_EQ(info.processor_type(), 2);
  EXPECT_STREQ(info.vendor_string(), "GenuineIntel");
  EXPECT_EQ(info.vendor_class(), kVendorIntel);
}

TEST(ProcessorInfoClock, MeasuresCyclesOverFiftyMilliseconds) {
  FakeCpu cpu("GenuineIntel", 6, 8);
  FakeClock clock;
  ProcessorInfo info(cpu.Function(), clock.Counters());
  EXPECT_NEAR(info.clock(), 2000, 2);
  EXPECT_GE(clock.microseconds, 50000);  // it waited 50 ms of counter time
  clock.mhz = 733;
  ProcessorInfo slower(cpu.Function(), clock.Counters());
  EXPECT_NEAR(slower.clock(), 733, 2);
}

TEST(ProcessorInfoClock, NoTimeStampCounterGivesMinusOne) {
  FakeCpu cpu("GenuineIntel", 5, 4, 0, /*tsc=*/false);
  FakeClock clock;
  ProcessorInfo info(cpu.Function(), clock.Counters());
  EXPECT_EQ(info.clock(), -1);
  EXPECT_EQ(clock.microseconds, 0);  // nothing measured
  EXPECT_STREQ(info.name(), "P55C");
}

TEST(ProcessorInfoClock, NoPerformanceCounterGivesAboutZero) {
  FakeCpu cpu("GenuineIntel", 6, 8);
  FakeClock clock;
  clock.has_performance_counter = false;
  ProcessorInfo info(cpu.Function(), clock.Counters());
  EXPECT_EQ(info.clock(), 0);
}

TEST(ProcessorInfoClock, WithoutCpuidThereIsNoNameAndNoClock) {
  FakeCpu cpu("GenuineIntel", 6, 8);
  cpu.has_cpuid = false;
  FakeClock clock;
  ProcessorInfo info(cpu.Function(), clock.Counters());
  EXPECT_STREQ(info.name(), "");
  EXPECT_EQ(info.clock(), -1);
}

TEST(ProcessorInfoSystem, ThisMachineHasANameAndAClock) {
  ProcessorInfo info;
  EXPECT_GT(std::strlen(info.name()), 0u);
  // Any processor of this decade runs between 100 MHz and 10 GHz.
  EXPECT_GT(info.clock(), 100);
  EXPECT_LT(info.clock(), 10000);
}

}  // namespace

}  // namespace kivro
