// Type libraries: the description of a module's scriptable interfaces
// (names, DISPIDs, parameter kinds, help strings), kept in the module as the
// resource "TYPELIB" 1, and their registration under HKCR\TypeLib and
// HKCR\Interface.
//
// The description is a small text, one item per line ('#' starts a comment):
//   library <name> <LIBID> <major>.<minor> <lcid hex> "<help>"
//   interface <name> <IID> [dual] "<help>"
//   method|propget|propput <name> <dispid> "<help>" [in:<param>|retval:<param>]...
//   coclass <name> <CLSID> "<help>" <default interface>
// Members belong to the interface above them. Every parameter is a string.
// The text is UTF-8; names and help strings are held in code page 949 once
// parsed, like every other text of the system.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/com.h"

namespace platform {

enum class MemberKind { kMethod, kPropertyGet, kPropertyPut };
enum class ParamDirection { kIn, kOutRetval };

struct ParamDescription {
  std::string name;
  ParamDirection direction = ParamDirection::kIn;
};

struct MemberDescription {
  std::string name;
  DISPID id = 0;
  MemberKind kind = MemberKind::kMethod;
  std::string help;
  std::vector<ParamDescription> params;
  size_t InCount() const;
  bool HasRetval() const;
};

struct InterfaceDescription {
  std::string name;
  IID iid;
  bool dual = false;
  std::string help;
  std::vector<MemberDescription> members;
};

struct CoclassDescription {
  std::string name;
  CLSID clsid;
  std::string help;
  std::string default_interface;
};

// The platform subkey a library is registered under.
enum class SysKind { kWin32, kWin64 };

struct TypeLibraryDescription {
  std::string name;
  GUID libid;
  uint16_t major = 0, minor = 0;
  uint32_t lcid = 0;
  SysKind syskind = sizeof(void*) == 8 ? SysKind::kWin64 : SysKind::kWin32;
  std::string help;
  std::vector<InterfaceDescription> interfaces;
  std::vector<CoclassDescription> coclasses;
  const InterfaceDescription* FindInterface(const IID& iid) const;
};

// False with a message naming the line for text that does not parse.
bool ParseTypeLibrary(const std::string& text, TypeLibraryDescription* library,
                      std::string* error);

// Loads the library kept in a module (resource "TYPELIB" 1); when the module
// has none, the file of the same name with the extension ".tlb" in its
// folder. TYPE_E_CANTLOADLIBRARY when neither gives a library.
HRESULT LoadTypeLibraryFromModule(const std::string& module_path,
                                  TypeLibraryDescription* library);

// Writes HKCR\TypeLib\{LIBID}\<ver> (help string, FLAGS, <lcid>\win32|win64
// = module path, HELPDIR) and HKCR\Interface\{IID} for each interface
// (name, the automation proxy ProxyStubClsid/ProxyStubClsid32, TypeLib and
// its Version).
HRESULT RegisterTypeLibrary(const TypeLibraryDescription& library, const std::string& module_path,
                            const std::string& help_dir);
// Removes what RegisterTypeLibrary wrote for that version, locale and
// platform; the version key goes when no other locale remains under it, the
// LIBID key when no other version remains. TYPE_E_LIBNOTREGISTERED when the
// library is not registered for them.
HRESULT UnregisterTypeLibrary(const GUID& libid, uint16_t major, uint16_t minor, uint32_t lcid,
                              SysKind syskind);

// The automation marshaller's class id, the proxy of every dual interface.
extern const CLSID CLSID_PSOAInterface;

}  // namespace platform
