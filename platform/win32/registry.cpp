// The machine's own registry, under the same key paths the system uses
// everywhere. Keys are opened in the process's own view (a 32-bit program
// on 64-bit Windows sees the 32-bit view, as Windows arranges).
#include "platform/registry.h"

#include <windows.h>

#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::kCurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kUsers: return HKEY_USERS;
    case RegistryRoot::kDynData: return HKEY_DYN_DATA;
  }
  return HKEY_CURRENT_USER;
}

// The key's path as the registry takes it: empty components (leading,
// trailing or doubled '\') are dropped.
std::wstring KeyPath(const std::string& key) {
  std::string path;
  size_t start = 0;
  while (start <= key.size()) {
    size_t end = key.find('\\', start);
    if (end == std::string::npos) end = key.size();
    if (end > start) {
      if (!path.empty()) path += '\\';
      path += key.substr(start, end - start);
    }
    start = end + 1;
  }
  return Cp949ToWide(path);
}

bool Fail(LSTATUS status) { return FailWith(static_cast<int32_t>(status)); }

// An open key, closed on leaving.
class OpenKey {
 public:
  OpenKey(RegistryRoot root, const std::wstring& path, REGSAM access) {
    if (path.empty()) {
      key_ = RootKey(root);
      status_ = ERROR_SUCCESS;
      owned_ = false;
    } else {
      status_ = RegOpenKeyExW(RootKey(root), path.c_str(), 0, access, &key_);
    }
  }
  ~OpenKey() {
    if (owned_ && status_ == ERROR_SUCCESS) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  bool ok() const { return status_ == ERROR_SUCCESS; }
  LSTATUS status() const { return status_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  LSTATUS status_ = ERROR_INVALID_HANDLE;
  bool owned_ = true;
};

bool SetValue(RegistryRoot root, const std::string& key, const std::string& name, DWORD type,
              const void* data, DWORD size) {
  HKEY k;
  LSTATUS status = RegCreateKeyExW(RootKey(root), KeyPath(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, &k, nullptr);
  if (status != ERROR_SUCCESS) return Fail(status);
  status = RegSetValueExW(k, Cp949ToWide(name).c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(k);
  return status == ERROR_SUCCESS || Fail(status);
}

// A value of another kind reads as missing, as on every system.
bool FailRead(LSTATUS status) {
  return Fail(status == ERROR_UNSUPPORTED_TYPE ? ERROR_FILE_NOT_FOUND : status);
}

}  // namespace

bool RegistryCreateKey(RegistryRoot root, const std::string& key) {
  HKEY k;
  LSTATUS status = RegCreateKeyExW(RootKey(root), KeyPath(key).c_str(), 0, nullptr, 0, KEY_READ,
                                   nullptr, &k, nullptr);
  if (status != ERROR_SUCCESS) return Fail(status);
  RegCloseKey(k);
  return true;
}

bool RegistryKeyExists(RegistryRoot root, const std::string& key) {
  OpenKey k(root, KeyPath(key), KEY_QUERY_VALUE);
  return k.ok() || Fail(k.status());
}

bool RegistryDeleteKey(RegistryRoot root, const std::string& key) {
  std::wstring path = KeyPath(key);
  if (path.empty()) return FailWith(kErrorAccessDenied);
  LSTATUS status = RegDeleteKeyW(RootKey(root), path.c_str());
  return status == ERROR_SUCCESS || Fail(status);
}

bool RegistryDeleteTree(RegistryRoot root, const std::string& key) {
  std::wstring path = KeyPath(key);
  if (path.empty()) return FailWith(kErrorAccessDenied);
  LSTATUS status = RegDeleteTreeW(RootKey(root), path.c_str());
  return status == ERROR_SUCCESS || Fail(status);
}

bool RegistrySetString(RegistryRoot root, const std::string& key, const std::string& name,
                       const std::string& value) {
  std::wstring text = Cp949ToWide(value);
  return SetValue(root, key, name, REG_SZ, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool RegistrySetNumber(RegistryRoot root, const std::string& key, const std::string& name,
                       uint32_t value) {
  DWORD number = value;
  return SetValue(root, key, name, REG_DWORD, &number, sizeof number);
}

bool RegistryGetString(RegistryRoot root, const std::string& key, const std::string& name,
                       std::string* value) {
  std::wstring path = KeyPath(key), wide_name = Cp949ToWide(name);
  const DWORD kinds = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  for (int attempt = 0; attempt < 4; ++attempt) {  // the value may grow between the calls
    DWORD size = 0;
    LSTATUS status = RegGetValueW(RootKey(root), path.c_str(), wide_name.c_str(), kinds, nullptr,
                                  nullptr, &size);
    if (status != ERROR_SUCCESS) return FailRead(status);
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status = RegGetValueW(RootKey(root), path.c_str(), wide_name.c_str(), kinds, nullptr, text.data(),
                          &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return FailRead(status);
    text.resize(wcsnlen(text.c_str(), text.size()));
    if (value) *value = WideToCp949(text);
    return true;
  }
  return Fail(ERROR_MORE_DATA);
}

bool RegistryGetNumber(RegistryRoot root, const std::string& key, const std::string& name,
                       uint32_t* value) {
  DWORD number = 0, size = sizeof number;
  LSTATUS status = RegGetValueW(RootKey(root), KeyPath(key).c_str(), Cp949ToWide(name).c_str(),
                                RRF_RT_REG_DWORD, nullptr, &number, &size);
  if (status != ERROR_SUCCESS) return FailRead(status);
  if (value) *value = number;
  return true;
}

bool RegistryDeleteValue(RegistryRoot root, const std::string& key, const std::string& name) {
  OpenKey k(root, KeyPath(key), KEY_SET_VALUE);
  if (!k.ok()) return Fail(k.status());
  LSTATUS status = RegDeleteValueW(k.get(), Cp949ToWide(name).c_str());
  return status == ERROR_SUCCESS || Fail(status);
}

std::vector<std::string> RegistrySubKeys(RegistryRoot root, const std::string& key) {
  std::vector<std::string> names;
  OpenKey k(root, KeyPath(key), KEY_ENUMERATE_SUB_KEYS);
  if (!k.ok()) return names;
  wchar_t name[256];  // the longest key name is 255 characters
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    LSTATUS status = RegEnumKeyExW(k.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;
    names.push_back(WideToCp949(std::wstring(name, length)));
  }
  return names;
}

std::vector<std::string> RegistryValueNames(RegistryRoot root, const std::string& key) {
  std::vector<std::string> names;
  OpenKey k(root, KeyPath(key), KEY_QUERY_VALUE);
  if (!k.ok()) return names;
  std::wstring name(16384, L'\0');  // the longest value name is 16383 characters
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    LSTATUS status = RegEnumValueW(k.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;
    names.push_back(WideToCp949(name.substr(0, length)));
  }
  return names;
}

}  // namespace platform
