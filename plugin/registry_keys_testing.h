// Test support: the plug-in's keys under HKCR as its registration tests
// read them (the same on every system).
#pragma once
#include <string>

#include "platform/registry.h"

namespace kivro::plugin {

inline constexpr platform::RegistryRoot kCR = platform::RegistryRoot::kClassesRoot;

inline const std::string kClsidKey = "CLSID\\{3610C74F-5D10-4690-9556-14A6563095AE}";
inline const std::string kLibKey = "TypeLib\\{A34AFA32-EA9D-4355-921C-DBDF5B6EF933}";
inline const std::string kInterfaceKey = "Interface\\{BFF107DF-E553-4958-8BF4-EBFAFE145A1F}";
inline const std::string kCategories = "CLSID\\Component Cathegories";

// A string value under HKCR, or "<missing>".
inline std::string Value(const std::string& key, const std::string& name = "") {
  std::string v;
  if (!platform::RegistryGetString(kCR, key, name, &v)) return "<missing>";
  return v;
}

}  // namespace kivro::plugin
