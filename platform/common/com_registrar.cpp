#include "platform/com_registrar.h"

#include <cctype>
#include <cstdlib>
#include <memory>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/registry.h"

namespace platform {

namespace {

struct Token {
  enum Kind { kWord, kQuoted, kOpen, kClose, kEquals } kind;
  std::string text;
};

struct ValueDesc {
  bool present = false;
  bool is_number = false;
  std::string text;
  uint32_t number = 0;
};

struct Entry {
  bool is_value = false;  // "val name = ..."
  bool no_remove = false;
  bool force_remove = false;
  std::string name;
  ValueDesc value;
  std::vector<Entry> children;
};

struct RootBlock {
  RegistryRoot root;
  std::vector<Entry> entries;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool Substitute(const std::string& script, const std::vector<RegistrarReplacement>& replacements,
                std::string* out) {
  out->clear();
  for (size_t i = 0; i < script.size(); ++i) {
    if (script[i] != '%') {
      out->push_back(script[i]);
      continue;
    }
    size_t end = script.find('%', i + 1);
    if (end == std::string::npos) return false;
    std::string name = script.substr(i + 1, end - i - 1);
    if (name.empty()) {
      out->push_back('%');
    } else {
      bool found = false;
      for (const auto& r : replacements) {
        if (EqualsNoCase(r.name, name)) {
          *out += r.value;
          found = true;
          break;
        }
      }
      if (!found) return false;
    }
    i = end;
  }
  return true;
}

bool Tokenize(const std::string& text, std::vector<Token>* tokens) {
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (IsBlank(c)) {
      ++i;
    } else if ((c == '{' || c == '}') && (i + 1 == text.size() || IsBlank(text[i + 1]))) {
      tokens->push_back({c == '{' ? Token::kOpen : Token::kClose, std::string(1, c)});
      ++i;
    } else if (c == '=') {
      tokens->push_back({Token::kEquals, "="});
      ++i;
    } else if (c == '\'') {
      std::string quoted;
      ++i;
      for (;;) {
        if (i >= text.size()) return false;  // unterminated
        if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') {
            quoted.push_back('\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        quoted.push_back(text[i++]);
      }
      tokens->push_back({Token::kQuoted, quoted});
    } else {
      size_t start = i;
      while (i < text.size() && !IsBlank(text[i]) && text[i] != '=' && text[i] != '\'') ++i;
      tokens->push_back({Token::kWord, text.substr(start, i - start)});
    }
  }
  return true;
}

class Parser {
 public:
  explicit Parser(const std::vector<Token>& tokens) : tokens_(tokens) {}

  bool ParseScript(std::vector<RootBlock>* roots) {
    while (pos_ < tokens_.size()) {
      RootBlock block;
      if (!Is(Token::kWord) || !RootFromName(tokens_[pos_].text, &block.root)) return false;
      ++pos_;
      if (!Take(Token::kOpen) || !ParseEntries(&block.entries, 0)) return false;
      roots->push_back(std::move(block));
    }
    return true;
  }

 private:
  static bool RootFromName(const std::string& name, RegistryRoot* root) {
    struct Name { const char* short_name; const char* long_name; RegistryRoot root; };
    static const Name kNames[] = {
        {"HKCR", "HKEY_CLASSES_ROOT", RegistryRoot::kClassesRoot},
        {"HKCU", "HKEY_CURRENT_USER", RegistryRoot::kCurrentUser},
        {"HKLM", "HKEY_LOCAL_MACHINE", RegistryRoot::kLocalMachine},
        {"HKU", "HKEY_USERS", RegistryRoot::kUsers},
    };
    for (const auto& n : kNames) {
      if (EqualsNoCase(name, n.short_name) || EqualsNoCase(name, n.long_name)) {
        *root = n.root;
        return true;
      }
    }
    return false;
  }

  bool Is(Token::Kind kind) const { return pos_ < tokens_.size() && tokens_[pos_].kind == kind; }
  bool Take(Token::Kind kind) {
    if (!Is(kind)) return false;
    ++pos_;
    return true;
  }
  bool TakeName(std::string* name) {
    if (!Is(Token::kWord) && !Is(Token::kQuoted)) return false;
    *name = tokens_[pos_++].text;
    // A key name is one component: a '\' would reach another key.
    return !name->empty() && name->find('\\') == std::string::npos;
  }

  bool ParseValue(ValueDesc* value) {
    if (!Is(Token::kWord)) return false;
    std::string type = tokens_[pos_++].text;
    if (!Is(Token::kQuoted) && !Is(Token::kWord)) return false;
    std::string data = tokens_[pos_++].text;
    value->present = true;
    if (EqualsNoCase(type, "s")) {
      value->text = data;
      return true;
    }
    if (EqualsNoCase(type, "d")) {
      if (data.empty() || data.size() > 10) return false;
      char* end = nullptr;
      unsigned long long n = std::strtoull(data.c_str(), &end, 0);
      if (*end != 0 || n > 0xFFFFFFFFull || data[0] == '-') return false;
      value->is_number = true;
      value->number = static_cast<uint32_t>(n);
      return true;
    }
    return false;  // binary and multi-string values are not used here
  }

  bool ParseEntries(std::vector<Entry>* entries, int depth) {
    if (depth > 64) return false;
    while (!Take(Token::kClose)) {
      if (pos_ >= tokens_.size()) return false;
      Entry e;
      if (Is(Token::kWord) && EqualsNoCase(tokens_[pos_].text, "val")) {
        ++pos_;
        e.is_value = true;
        if (!TakeName(&e.name) || !Take(Token::kEquals) || !ParseValue(&e.value)) return false;
        entries->push_back(std::move(e));
        continue;
      }
      if (Is(Token::kWord) && EqualsNoCase(tokens_[pos_].text, "NoRemove")) {
        e.no_remove = true;
        ++pos_;
      } else if (Is(Token::kWord) && EqualsNoCase(tokens_[pos_].text, "ForceRemove")) {
        e.force_remove = true;
        ++pos_;
      }
      if (!TakeName(&e.name)) return false;
      if (Take(Token::kEquals) && !ParseValue(&e.value)) return false;
      if (Take(Token::kOpen) && !ParseEntries(&e.children, depth + 1)) return false;
      entries->push_back(std::move(e));
    }
    return true;
  }

  const std::vector<Token>& tokens_;
  size_t pos_ = 0;
};

HRESULT Failure() {
  int32_t e = GetLastSystemError();
  return HresultFromSystemError(e == 0 ? kErrorAccessDenied : e);
}

bool SetValue(RegistryRoot root, const std::string& key, const std::string& name,
              const ValueDesc& v) {
  return v.is_number ? RegistrySetNumber(root, key, name, v.number)
                     : RegistrySetString(root, key, name, v.text);
}

HRESULT Register(RegistryRoot root, const std::string& parent, const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    if (e.is_value) {
      if (!SetValue(root, parent, e.name, e.value)) return Failure();
      continue;
    }
    std::string path = parent.empty() ? e.name : parent + "\\" + e.name;
    if (e.force_remove && RegistryKeyExists(root, path) && !RegistryDeleteTree(root, path)) {
      return Failure();
    }
    // Setting the default value creates the key too: one write, not two.
    bool written = e.value.present ? SetValue(root, path, "", e.value)
                                   : RegistryCreateKey(root, path);
    if (!written) return Failure();
    HRESULT hr = Register(root, path, e.children);
    if (Failed(hr)) return hr;
  }
  return S_OK;
}

HRESULT Unregister(RegistryRoot root, const std::string& parent, const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    if (e.is_value) {
      // A value already gone is what removal wants.
      RegistryDeleteValue(root, parent, e.name);
      continue;
    }
    std::string path = parent.empty() ? e.name : parent + "\\" + e.name;
    if (!RegistryKeyExists(root, path)) continue;
    HRESULT hr = Unregister(root, path, e.children);
    if (Failed(hr)) return hr;
    if (e.no_remove || !RegistrySubKeys(root, path).empty()) continue;
    if (!RegistryDeleteKey(root, path)) return Failure();
  }
  return S_OK;
}

}  // namespace

std::string DoubleSingleQuotes(const std::string& text) {
  std::string out;
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

HRESULT RunRegistrarScript(const std::string& script,
                           const std::vector<RegistrarReplacement>& replacements,
                           bool do_register) {
  std::string text;
  std::vector<Token> tokens;
  std::vector<RootBlock> roots;
  if (!Substitute(script, replacements, &text) || !Tokenize(text, &tokens) ||
      !Parser(tokens).ParseScript(&roots)) {
    return DISP_E_EXCEPTION;
  }
  for (const RootBlock& block : roots) {
    HRESULT hr = do_register ? Register(block.root, "", block.entries)
                             : Unregister(block.root, "", block.entries);
    if (Failed(hr)) return hr;
  }
  return S_OK;
}

}  // namespace platform
