// Registry contents for tests: keys with string and number values, names
// compared without regard to case as the registry does.
#pragma once
#include <map>

#include "platform/codepage.h"
#include "sysinfo/registry_reader.h"

namespace kivro {

class FakeRegistry : public RegistryReader {
 public:
  void AddKey(Root root, const std::string& key) { keys_[Key(root, key)]; }
  void SetString(Root root, const std::string& key, const std::string& name,
                 const std::string& value) {
    keys_[Key(root, key)].strings[platform::ToLowerAscii(name)] = value;
  }
  void SetNumber(Root root, const std::string& key, const std::string& name, uint32_t value) {
    keys_[Key(root, key)].numbers[platform::ToLowerAscii(name)] = value;
  }

  bool KeyExists(Root root, const std::string& key) const override {
    return keys_.count(Key(root, key)) > 0;
  }
  bool GetString(Root root, const std::string& key, const std::string& name,
                 std::string* value) const override {
    auto k = keys_.find(Key(root, key));
    if (k == keys_.end()) return false;
    auto v = k->second.strings.find(platform::ToLowerAscii(name));
    if (v == k->second.strings.end()) return false;
    *value = v->second;
    return true;
  }
  bool GetNumber(Root root, const std::string& key, const std::string& name,
                 uint32_t* value) const override {
    auto k = keys_.find(Key(root, key));
    if (k == keys_.end()) return false;
    auto v = k->second.numbers.find(platform::ToLowerAscii(name));
    if (v == k->second.numbers.end()) return false;
    *value = v->second;
    return true;
  }
  std::vector<std::string> SubKeys(Root root, const std::string& key) const override {
    std::vector<std::string> names;
    const std::string prefix = Key(root, key) + "\\";
    for (const auto& [k, unused] : keys_) {
      (void)unused;
      if (k.compare(0, prefix.size(), prefix) == 0 && k.find('\\', prefix.size()) == std::string::npos)
        names.push_back(k.substr(prefix.size()));
    }
    return names;
  }

 private:
  struct Values {
    std::map<std::string, std::string> strings;
    std::map<std::string, uint32_t> numbers;
  };
  static std::string Key(Root root, const std::string& key) {
    return std::to_string(int(root)) + "\\" + platform::ToLowerAscii(key);
  }
  std::map<std::string, Values> keys_;
};

}  // namespace kivro
