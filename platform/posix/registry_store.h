// The registry's in-memory form and its file format (POSIX backend only).
//
// The whole registry is one text file under the virtual root:
//   KIVRO-REGISTRY 1
//   key "HKCR\AppID\KIVROPlugin.DLL"
//   str "AppID" "{3610C74F-...}"
//   num "Count" 12
// Every key line is followed by its values. Quoted tokens escape '"', '%',
// control bytes and DEL as %XX; other bytes (code page 949 too) are kept.
// Key and value names keep the case they were created with and are looked up
// without regard to case.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform::registry_detail {

struct Value {
  std::string name;  // as created
  bool is_number = false;
  std::string text;
  uint32_t number = 0;
};

struct Key {
  std::string path;  // full path with the root's prefix, as created
  std::vector<Value> values;
  Value* Find(const std::string& name);
};

class Store {
 public:
  // Keys by lower-cased full path ("hkcr\appid").
  std::map<std::string, Key> keys;

  Key* FindKey(const std::string& full_path);
  // Creates the key and its missing parents; returns the key.
  Key* CreateKey(const std::string& full_path);
  bool HasSubKeys(const std::string& full_path) const;
  // Direct sub-key names of a key, as created.
  std::vector<std::string> SubKeyNames(const std::string& full_path) const;
  // Removes the key and everything below it.
  void EraseTree(const std::string& full_path);

  std::string Serialize() const;
  // Lines that do not parse are skipped; the rest is kept.
  static Store Parse(const std::string& text);
};

std::string LowerPath(const std::string& path);
std::string EscapeToken(const std::string& text);
// Reads one quoted token at `pos`, moving past it. False when there is none.
bool ReadToken(const std::string& line, size_t* pos, std::string* out);

}  // namespace platform::registry_detail
