#include "sysinfo/registry_reader.h"

namespace kivro {

namespace {

class SystemRegistry : public RegistryReader {
 public:
  bool KeyExists(Root root, const std::string& key) const override {
    return platform::RegistryKeyExists(root, key);
  }
  bool GetString(Root root, const std::string& key, const std::string& name,
                 std::string* value) const override {
    return platform::RegistryGetString(root, key, name, value);
  }
  bool GetNumber(Root root, const std::string& key, const std::string& name,
                 uint32_t* value) const override {
    return platform::RegistryGetNumber(root, key, name, value);
  }
  std::vector<std::string> SubKeys(Root root, const std::string& key) const override {
    return platform::RegistrySubKeys(root, key);
  }
};

}  // namespace

const RegistryReader& SystemRegistryReader() {
  static const SystemRegistry registry;
  return registry;
}

}  // namespace kivro
