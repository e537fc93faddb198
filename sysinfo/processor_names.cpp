#include "sysinfo/processor_names.h"

#include "sysinfo/processor_info.h"

// "μ" (micron) in code page 949.
#define MU "\xA5\xEC"

namespace kivro {

namespace {

const char* Amd(int32_t family, int32_t model, bool mp) {
  switch (family) {
    case 4:
      switch (model) {
        case 3: return "80486DX2";
        case 7: return "80486DX2 WriteBack";
        case 8: return "80486DX4";
        case 9: return "80486DX4 WriteBack";
        case 14: return "5x86";
        case 15: return "5x86WB";
        default: return "Unknown 80486 family";
      }
    case 5:
      switch (model) {
        case 0: return "SSA5 (PR75, PR90, PR100)";
        case 1: return "5k86 (PR120, PR133)";
        case 2: return "5k86 (PR166)";
        case 3: return "5k86 (PR200)";
        case 6: return "K6 (0.30 " MU ")";
        case 7: return "K6 (0.25 " MU ")";
        case 8: return "K6-2";
        case 9: return "K6-III";
        case 13: return "K6-2+ or K6-III+ (0.18 " MU ")";
        default: return "Unknown 80586 family";
      }
    case 6:
      switch (model) {
        case 1: return "Athlon(tm)(0.25 " MU ")";
        case 2: return "Athlon(tm)(0.18 " MU ")";
        case 3: return "Duron(tm)(SF core)";
        case 4: return "Athlon(tm)(Thunderbird core)";
        case 6: return "Athlon(tm)(Palomino core)";
        case 7: return "Duron(tm)(Morgan core)";
        case 8: return mp ? "Athlon(tm)MP (Thoroughbred core)" : "Athlon(tm)XP (Thoroughbred core)";
        default: return "Unknown K7 family";
      }
    default: return "Unknown AMD family";
  }
}

const char* Intel(int32_t family, int32_t model, int32_t extended_family) {
  switch (family) {
    case 3: return "Newer i80386 family";
    case 4:
      switch (model) {
        case 0: return "i80486DX-25/33";
        case 1: return "i80486DX-50";
        case 2: return "i80486SX";
        case 3: return "i80486DX2";
        case 4: return "i80486SL";
        case 5: return "i80486SX2";
        case 7: return "i80486DX2 WriteBack";
        case 8: return "i80486DX4";
        case 9: return "i80486DX4 WriteBack";
        default: return "Unknown 80486 family";
      }
    case 5:
      switch (model) {
        case 0: return "P5 A-Step";
        case 1: return "P5";
        case 2:
        case 7: return "P54C";
        case 3: return "P24T OverDrive";
        case 4: return "P55C";
        case 8: return "P55C (0.25" MU ")";
        default: return "Unknown Pentium(tm)family";
      }
    case 6:
      switch (model) {
        case 0: return "P6 A-Step";
        case 1: return "P6";
        case 3: return "Pentium(tm)II (0.28 " MU ")";
        case 5: return "Pentium(tm)II (0.25 " MU ")";
        case 6: return "Pentium(tm)II With On-Die L2 Cache";
        case 7: return "Pentium(tm)III (0.25 " MU ")";
        case 8: return "Pentium(tm)III (0.18 " MU ") With 256 KB On-Die L2 Cache ";
        case 9: return "Pentium(tm) Centrino (0.13 " MU ", Banias core)";
        case 10: return "Pentium(tm)III (0.18 " MU ") With 1 Or 2 MB On-Die L2 Cache ";
        case 11: return "Pentium(tm)III (0.13 " MU ") With 256 Or 512 KB On-Die L2 Cache ";
        default: return "Unknown P6 family";
      }
    case 7: return "Intel Merced (IA-64)";
    case 15:
      switch (extended_family) {
        case 0:
          switch (model) {
            case 0:
            case 1: return "Pentium(tm)IV (0.18 " MU ")";
            case 2: return "Pentium(tm)IV (0.13 " MU ")";
            default: return "Unknown Pentium 4 family";
          }
        case 1: return "Intel McKinley (IA-64)";
        default: return "";
      }
    default: return "Unknown Intel family";
  }
}

const char* Cyrix(int32_t family, int32_t model) {
  switch (family) {
    case 4:
      switch (model) {
        case 4: return "MediaGX GX, GXm";
        case 9: return "5x86";
        default: return "Unknown Cx5x86 family";
      }
    case 5:
      switch (model) {
        case 2: return "Cx6x86";
        case 4: return "MediaGX GXm";
        default: return "Unknown Cx6x86 family";
      }
    case 6:
      switch (model) {
        case 0: return "6x86MX";
        case 5: return "Cyrix M2 Core";
        case 6: return "WinChip C5A Core";
        case 7: return "WinChip C5B\\C5C Core";
        case 8: return "WinChip C5C-T Core";
        default: return "Unknown 6x86MX\\Cyrix III family";
      }
    default: return "Unknown Cyrix family";
  }
}

const char* Centaur(int32_t family, int32_t model) {
  if (family == 5 && model == 4) return "C6";
  if (family == 5 && model == 8) return "C2";
  if (family == 5 && model == 9) return "C3";
  if (family == 6 && model == 6) return "VIA Cyrix III - Samuel";
  return "Unknown IDT\\Centaur family";
}

}  // namespace

const char* ProcessorNameFromTable(int32_t vendor_class, int32_t family, int32_t model,
                                   int32_t extended_family, bool multiprocessor_capable) {
  switch (vendor_class) {
    case kVendorAmd: return Amd(family, model, multiprocessor_capable);
    case kVendorIntel: return Intel(family, model, extended_family);
    case kVendorNationalSemiconductor: return "Cx486SLC \\ DLC \\ Cx486S A-Step";
    case kVendorUmc:
      if (family == 4 && model == 1) return "U5D";
      if (family == 4 && model == 2) return "U5S";
      return "Unknown UMC family";
    case kVendorCyrix: return Cyrix(family, model);
    case kVendorNexGen:
      return family == 5 && model == 0 ? "Nx586 or Nx586FPU" : "Unknown NexGen family";
    case kVendorCentaur: return Centaur(family, model);
    case kVendorRise:
      if (family == 5 && model == 0) return "mP6 (0.25 " MU ")";
      if (family == 5 && model == 2) return "mP6 (0.18 " MU ")";
      return "Unknown Rise family";
    case kVendorTransmeta:
      if (family != 5) return "Unknown Transmeta family";
      return model == 4 ? "Crusoe TM3x00 and TM5x00" : "Unknown Crusoe family";
    default: return "Unknown family";
  }
}

}  // namespace kivro
