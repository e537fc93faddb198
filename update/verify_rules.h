// Integrity checks of installed files: the comparisons a verify rule asks
// for, and the rules every program of ours registers unless told otherwise.
#pragma once
#include <cstdint>

// Flags of a verify rule (AddVerifyRule); any combination.

namespace kivro {

constexpr int32_t VERIFY_TIME = 0x001;      // modification time equal to the minute
constexpr int32_t VERIFY_SIZE = 0x010;      // size equal
constexpr int32_t VERIFY_CHECKSUM = 0x100;  // FileByteSum equal

struct StandardVerifyRule {
  const char* extension;  // without the dot
  int32_t flags;
};
// Registered in this order: programs are checked in full, their libraries
// and maps by time and size (summing every byte of them would slow start-up).
constexpr StandardVerifyRule kStandardVerifyRules[] = {
    {"exe", VERIFY_TIME | VERIFY_SIZE | VERIFY_CHECKSUM},
    {"dll", VERIFY_TIME | VERIFY_SIZE},
    {"map", VERIFY_TIME | VERIFY_SIZE},
};

}  // namespace kivro
