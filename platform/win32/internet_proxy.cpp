#include "platform/internet_proxy.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {

namespace {

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

bool ReadNumber(const wchar_t* name, DWORD* value) {
  DWORD size = sizeof *value;
  return RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, name, RRF_RT_REG_DWORD, nullptr, value,
                      &size) == ERROR_SUCCESS;
}

std::string ReadText(const wchar_t* name) {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, name, RRF_RT_REG_SZ, nullptr, nullptr,
                   &size) != ERROR_SUCCESS || size < sizeof(wchar_t))
    return std::string();
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, name, RRF_RT_REG_SZ, nullptr, text.data(),
                   &size) != ERROR_SUCCESS)
    return std::string();
  text.resize(wcsnlen(text.c_str(), text.size()));
  return WideToUtf8(text);
}

}  // namespace

// The proxy of the user's Internet settings when it is switched on there;
// otherwise the environment, as on other systems.
ProxySettings PreconfiguredProxies() {
  DWORD enabled = 0;
  if (ReadNumber(L"ProxyEnable", &enabled) && enabled != 0) {
    std::string server = ReadText(L"ProxyServer");
    if (!server.empty()) return ProxySettings::FromInternetSettings(server, ReadText(L"ProxyOverride"));
  }
  return ProxySettings::FromEnvironment();
}

}  // namespace platform
