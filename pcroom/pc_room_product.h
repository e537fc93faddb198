// One row of a PC-room (internet cafe) product table.
#pragma once
#include <string>
#include <vector>

namespace kivro {

struct PcRoomProduct {
  int code = 0;          // one upper-case letter; the same letter in both tables is one product
  std::string name;      // display name, not used by the decision
  bool pattern = false;  // `process` is a regular expression over program names
  std::string process;   // executable name of the running program, or a pattern
  std::string window;    // exact title of a top-level window the running product shows
  std::vector<std::string> files;  // paths that must all exist
};

}  // namespace kivro
