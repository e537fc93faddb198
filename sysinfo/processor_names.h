// The name table for processors without a usable brand string, by vendor
// class, family and model (the basic fields). Texts are code page 949: "μ"
// is the double-byte character 0xA5 0xEC.
#pragma once
#include <cstdint>

namespace kivro {

const char* ProcessorNameFromTable(int32_t vendor_class, int32_t family, int32_t model,
                                   int32_t extended_family, bool multiprocessor_capable);

}  // namespace kivro
