// The registry reads the probes need, behind a small interface so that
// tests hand in registry contents of their own.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kivro {

class RegistryReader {
 public:
  using Root = platform::RegistryRoot;
  virtual ~RegistryReader() = default;
  virtual bool KeyExists(Root root, const std::string& key) const = 0;
  virtual bool GetString(Root root, const std::string& key, const std::string& name,
                         std::string* value) const = 0;
  virtual bool GetNumber(Root root, const std::string& key, const std::string& name,
                         uint32_t* value) const = 0;
  // Names of the direct sub-keys, in the registry's order.
  virtual std::vector<std::string> SubKeys(Root root, const std::string& key) const = 0;

  // A string value read into a buffer of `buffer_size` bytes: a value that
  // does not fit with its terminator cannot be read, as RegQueryValueEx
  // answers for a short buffer.
  bool GetStringLimited(Root root, const std::string& key, const std::string& name,
                        size_t buffer_size, std::string* value) const {
    std::string v;
    if (!GetString(root, key, name, &v) || v.size() + 1 > buffer_size) return false;
    *value = std::move(v);
    return true;
  }
};

// The system's registry (platform/registry.h).
const RegistryReader& SystemRegistryReader();

}  // namespace kivro
