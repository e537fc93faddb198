#include "platform/com_typelib.h"

#include <cstdio>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/com_create.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/registry.h"

namespace platform {

const CLSID CLSID_PSOAInterface = {0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

size_t MemberDescription::InCount() const {
  size_t n = 0;
  for (const auto& p : params) n += p.direction == ParamDirection::kIn ? 1 : 0;
  return n;
}

bool MemberDescription::HasRetval() const {
  for (const auto& p : params) {
    if (p.direction == ParamDirection::kOutRetval) return true;
  }
  return false;
}

const InterfaceDescription* TypeLibraryDescription::FindInterface(const IID& iid) const {
  for (const auto& i : interfaces) {
    if (i.iid == iid) return &i;
  }
  return nullptr;
}

namespace {

// Splits a line into words; a double-quoted word may hold blanks (no escapes).
bool SplitWords(const std::string& line, std::vector<std::string>* words) {
  words->clear();
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
    } else if (line[i] == '#') {
      break;
    } else if (line[i] == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) return false;
      words->push_back(line.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      size_t end = line.find_first_of(" \t\r", i);
      if (end == std::string::npos) end = line.size();
      words->push_back(line.substr(i, end - i));
      i = end;
    }
  }
  return true;
}

bool ParseNumber(const std::string& text, int base, long long min, long long max, long long* out) {
  if (text.empty() || text.size() > 12) return false;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, base);
  if (*end != 0 || v < min || v > max) return false;
  *out = v;
  return true;
}

std::string HexLcid(uint32_t lcid) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%x", lcid);
  return buffer;
}

std::string VersionText(uint16_t major, uint16_t minor) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%x.%x", major, minor);
  return buffer;
}

const char* SysKindName(SysKind kind) { return kind == SysKind::kWin64 ? "win64" : "win32"; }

bool ParseLine(const std::vector<std::string>& w, TypeLibraryDescription* lib, bool* have_library) {
  const std::string& what = w[0];
  if (what == "library") {
    long long lcid = 0;
    GUID libid;
    size_t dot = w.size() == 6 ? w[3].find('.') : std::string::npos;
    long long major = 0, minor = 0;
    if (dot == std::string::npos || !GuidFromString(w[2], &libid) ||
        !ParseNumber(w[3].substr(0, dot), 16, 0, 0xFFFF, &major) ||
        !ParseNumber(w[3].substr(dot + 1), 16, 0, 0xFFFF, &minor) ||
        !ParseNumber(w[4], 16, 0, 0xFFFFFFFF, &lcid)) {
      return false;
    }
    lib->name = w[1];
    lib->libid = libid;
    lib->major = static_cast<uint16_t>(major);
    lib->minor = static_cast<uint16_t>(minor);
    lib->lcid = static_cast<uint32_t>(lcid);
    lib->help = Utf8ToCp949(w[5]);
    *have_library = true;
    return true;
  }
  if (!*have_library) return false;
  if (what == "interface") {
    InterfaceDescription i;
    bool dual = w.size() == 5 && w[3] == "dual";
    if ((w.size() != 4 && !dual) || !GuidFromString(w[2], &i.iid)) return false;
    i.name = w[1];
    i.dual = dual;
    i.help = Utf8ToCp949(w.back());
    lib->interfaces.push_back(i);
    return true;
  }
  if (what == "coclass") {
    CoclassDescription c;
    if (w.size() != 5 || !GuidFromString(w[2], &c.clsid)) return false;
    c.name = w[1];
    c.help = Utf8ToCp949(w[3]);
    c.default_interface = w[4];
    lib->coclasses.push_back(c);
    return true;
  }
  MemberDescription m;
  if (what == "method") m.kind = MemberKind::kMethod;
  else if (what == "propget") m.kind = MemberKind::kPropertyGet;
  else if (what == "propput") m.kind = MemberKind::kPropertyPut;
  else return false;
  long long id = 0;
  if (lib->interfaces.empty() || w.size() < 4 ||
      !ParseNumber(w[2], 10, INT32_MIN, INT32_MAX, &id)) {
    return false;
  }
  m.name = w[1];
  m.id = static_cast<DISPID>(id);
  m.help = Utf8ToCp949(w[3]);
  for (size_t k = 4; k < w.size(); ++k) {
    ParamDescription p;
    if (w[k].rfind("in:", 0) == 0) {
      p.direction = ParamDirection::kIn;
      p.name = w[k].substr(3);
    } else if (w[k].rfind("retval:", 0) == 0 && !m.HasRetval()) {
      p.direction = ParamDirection::kOutRetval;
      p.name = w[k].substr(7);
    } else {
      return false;
    }
    if (p.name.empty()) return false;
    m.params.push_back(p);
  }
  // A property get returns its value; a put takes exactly one.
  if (m.kind == MemberKind::kPropertyGet && (!m.HasRetval() || m.InCount() != 0)) return false;
  if (m.kind == MemberKind::kPropertyPut && (m.HasRetval() || m.InCount() != 1)) return false;
  lib->interfaces.back().members.push_back(m);
  return true;
}

HRESULT RegistryFailure() {
  int32_t e = GetLastSystemError();
  return HresultFromSystemError(e == 0 ? kErrorAccessDenied : e);
}

}  // namespace

bool ParseTypeLibrary(const std::string& text, TypeLibraryDescription* library,
                      std::string* error) {
  TypeLibraryDescription lib;
  bool have_library = false;
  size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    std::vector<std::string> words;
    bool ok = SplitWords(line, &words);
    if (ok && words.empty()) continue;
    if (!ok || !ParseLine(words, &lib, &have_library)) {
      if (error) *error = "type library line " + std::to_string(number) + " does not parse";
      return false;
    }
  }
  if (!have_library) {
    if (error) *error = "type library has no library line";
    return false;
  }
  *library = std::move(lib);
  return true;
}

HRESULT LoadTypeLibraryFromModule(const std::string& module_path,
                                  TypeLibraryDescription* library) {
  std::string text;
  if (!ReadModuleResource(module_path, "TYPELIB", 1, &text)) {
    // The library beside the module: same name, extension ".tlb".
    std::string tlb = module_path;
    size_t slash = tlb.find_last_of("\\/");
    size_t dot = tlb.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) tlb.resize(dot);
    tlb += ".tlb";
    if (!ReadWholeFile(tlb, &text)) return TYPE_E_CANTLOADLIBRARY;
  }
  return ParseTypeLibrary(text, library, nullptr) ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

HRESULT RegisterTypeLibrary(const TypeLibraryDescription& lib, const std::string& module_path,
                            const std::string& help_dir) {
  const RegistryRoot hkcr = RegistryRoot::kClassesRoot;
  std::string libid = GuidToString(lib.libid);
  std::string version_key = "TypeLib\\" + libid + "\\" + VersionText(lib.major, lib.minor);
  bool ok = RegistrySetString(hkcr, version_key, "", lib.help.empty() ? lib.name : lib.help) &&
            RegistrySetString(hkcr, version_key + "\\FLAGS", "", "0") &&
            RegistrySetString(hkcr, version_key + "\\" + HexLcid(lib.lcid) + "\\" +
                                        SysKindName(lib.syskind), "", module_path) &&
            RegistrySetString(hkcr, version_key + "\\HELPDIR", "", help_dir);
  if (!ok) return RegistryFailure();
  std::string proxy = GuidToString(CLSID_PSOAInterface);
  for (const auto& i : lib.interfaces) {
    std::string key = "Interface\\" + GuidToString(i.iid);
    ok = RegistrySetString(hkcr, key, "", i.name) &&
         RegistrySetString(hkcr, key + "\\ProxyStubClsid", "", proxy) &&
         RegistrySetString(hkcr, key + "\\ProxyStubClsid32", "", proxy) &&
         RegistrySetString(hkcr, key + "\\TypeLib", "", libid) &&
         RegistrySetString(hkcr, key + "\\TypeLib", "Version", VersionText(lib.major, lib.minor));
    if (!ok) return RegistryFailure();
  }
  return S_OK;
}

HRESULT UnregisterTypeLibrary(const GUID& libid_guid, uint16_t major, uint16_t minor,
                              uint32_t lcid, SysKind syskind) {
  const RegistryRoot hkcr = RegistryRoot::kClassesRoot;
  std::string libid = GuidToString(libid_guid);
  std::string libid_key = "TypeLib\\" + libid;
  std::string version_key = libid_key + "\\" + VersionText(major, minor);
  std::string lcid_key = version_key + "\\" + HexLcid(lcid);
  std::string platform_key = lcid_key + "\\" + SysKindName(syskind);
  if (!RegistryKeyExists(hkcr, platform_key)) return TYPE_E_LIBNOTREGISTERED;

  // The interfaces that name this library.
  for (const std::string& iid : RegistrySubKeys(hkcr, "Interface")) {
    std::string owner, version;
    std::string key = "Interface\\" + iid;
    if (RegistryGetString(hkcr, key + "\\TypeLib", "", &owner) && EqualsNoCase(owner, libid) &&
        (!RegistryGetString(hkcr, key + "\\TypeLib", "Version", &version) ||
         EqualsNoCase(version, VersionText(major, minor)))) {
      if (!RegistryDeleteTree(hkcr, key)) return RegistryFailure();
    }
  }
  if (!RegistryDeleteTree(hkcr, platform_key)) return RegistryFailure();
  if (RegistrySubKeys(hkcr, lcid_key).empty()) RegistryDeleteKey(hkcr, lcid_key);
  // The version stays while another locale is registered under it.
  bool other_locale = false;
  for (const std::string& sub : RegistrySubKeys(hkcr, version_key)) {
    if (!EqualsNoCase(sub, "FLAGS") && !EqualsNoCase(sub, "HELPDIR")) other_locale = true;
  }
  if (!other_locale) RegistryDeleteTree(hkcr, version_key);
  if (RegistrySubKeys(hkcr, libid_key).empty()) RegistryDeleteKey(hkcr, libid_key);
  return S_OK;
}

}  // namespace platform
