#include "platform/posix/registry_store.h"

#include <cstdio>
#include <cstdlib>

#include "platform/codepage.h"

namespace platform::registry_detail {

namespace {

constexpr char kHeader[] = "KIVRO-REGISTRY 1";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string LowerPath(const std::string& path) { return ToLowerAscii(path); }

Value* Key::Find(const std::string& name) {
  for (Value& v : values) {
    if (EqualsNoCase(v.name, name)) return &v;
  }
  return nullptr;
}

Key* Store::FindKey(const std::string& full_path) {
  auto it = keys.find(LowerPath(full_path));
  return it == keys.end() ? nullptr : &it->second;
}

Key* Store::CreateKey(const std::string& full_path) {
  if (Key* existing = FindKey(full_path)) return existing;
  std::string parent = ParentOf(full_path);
  if (!parent.empty()) CreateKey(parent);
  Key& key = keys[LowerPath(full_path)];
  key.path = full_path;
  return &key;
}

bool Store::HasSubKeys(const std::string& full_path) const {
  std::string prefix = LowerPath(full_path) + "\\";
  auto it = keys.lower_bound(prefix);
  return it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

std::vector<std::string> Store::SubKeyNames(const std::string& full_path) const {
  std::vector<std::string> names;
  std::string prefix = LowerPath(full_path) + "\\";
  for (auto it = keys.lower_bound(prefix);
       it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
    names.push_back(it->second.path.substr(prefix.size()));
  }
  return names;
}

void Store::EraseTree(const std::string& full_path) {
  std::string lower = LowerPath(full_path);
  std::string prefix = lower + "\\";
  keys.erase(lower);
  auto it = keys.lower_bound(prefix);
  while (it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0) {
    it = keys.erase(it);
  }
}

std::string EscapeToken(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == '"' || c == '%') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

bool ReadToken(const std::string& line, size_t* pos, std::string* out) {
  size_t i = *pos;
  while (i < line.size() && line[i] == ' ') ++i;
  if (i >= line.size() || line[i] != '"') return false;
  ++i;
  out->clear();
  while (i < line.size() && line[i] != '"') {
    if (line[i] == '%') {
      if (i + 2 >= line.size()) return false;
      int hi = HexDigit(line[i + 1]), lo = HexDigit(line[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out->push_back(static_cast<char>(hi * 16 + lo));
      i += 3;
    } else {
      out->push_back(line[i++]);
    }
  }
  if (i >= line.size()) return false;  // no closing quote
  *pos = i + 1;
  return true;
}

std::string Store::Serialize() const {
  std::string out = kHeader;
  out += '\n';
  for (const auto& [lower, key] : keys) {
    out += "key " + EscapeToken(key.path) + "\n";
    for (const Value& v : key.values) {
      if (v.is_number) {
        out += "num " + EscapeToken(v.name) + " " + std::to_string(v.number) + "\n";
      } else {
        out += "str " + EscapeToken(v.name) + " " + EscapeToken(v.text) + "\n";
      }
    }
  }
  return out;
}

Store Store::Parse(const std::string& text) {
  Store store;
  Key* current = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    size_t pos = 4;
    std::string a, b;
    if (line.compare(0, 4, "key ") == 0) {
      current = ReadToken(line, &pos, &a) && !a.empty() ? store.CreateKey(a) : nullptr;
    } else if (current != nullptr && line.compare(0, 4, "str ") == 0) {
      if (!ReadToken(line, &pos, &a) || !ReadToken(line, &pos, &b)) continue;
      if (current->Find(a) != nullptr) continue;
      current->values.push_back(Value{a, false, b, 0});
    } else if (current != nullptr && line.compare(0, 4, "num ") == 0) {
      if (!ReadToken(line, &pos, &a) || current->Find(a) != nullptr) continue;
      char* stop = nullptr;
      unsigned long number = std::strtoul(line.c_str() + pos, &stop, 10);
      if (stop == line.c_str() + pos || number > 0xFFFFFFFFul) continue;
      current->values.push_back(Value{a, true, std::string(), static_cast<uint32_t>(number)});
    }
  }
  return store;
}

}  // namespace platform::registry_detail
