// Lines of a patch list as both list readers take them: a 4096-byte line
// buffer cuts the text through each line feed, or after 4095 bytes when a
// line is longer (the rest then reads as the next line).
#pragma once
#include <cstddef>
#include <functional>

namespace kivro {

using ListLineFn = std::function<void(const char* line)>;

// Feeds every line of `data` to `parse`.
void SplitListLines(const char* data, size_t length, const ListLineFn& parse);

// Reads the file at `path` (a Windows path) piece by piece and feeds every
// line to `parse`, after calling `opened` (when given) once the file is
// open. False when it cannot be opened; then neither is called.
bool ReadListLines(const char* path, const ListLineFn& parse,
                   const std::function<void()>& opened = nullptr);

}  // namespace kivro
