// Test support: PNG files of pictures, for people to look at after a test.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform::testing_support {

// Writes `rgb` (height rows of width red, green, blue bytes, top row first)
// as an 8-bit RGB PNG file at the POSIX path `path`, through a temporary
// file renamed into place. False on failure.
bool WriteRgbPng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb,
                 const std::string& path);

}  // namespace platform::testing_support
