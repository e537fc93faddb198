// The system's own type libraries, where the system has them (Windows,
// OLE Automation): a module's library (resource "TYPELIB" 1) registered
// with the system, described, and the type information of one dual
// interface that answers IDispatch through the interface's own entries
// (the system's DispInvoke calls them through the object's table of
// entries, in the order the library lists them).
//
// Only the Windows backend provides these. Elsewhere the project's own
// type descriptions (com_typelib.h) and IDispatch over them
// (com_dispatch.h) do the same work.
#pragma once
#include <string>

#include "platform/com.h"
#include "platform/com_typelib.h"

namespace platform {

// The library is loaded from the module's resource "TYPELIB" 1 or, when the
// module has none, from the file of the module's name with the extension
// ".tlb" in its folder. TYPE_E_CANTLOADLIBRARY (or the system's load error)
// when neither gives a library.

// Registers the module's library with the system (HKCR\TypeLib, and
// HKCR\Interface for its interfaces), `help_dir` as its help folder.
HRESULT RegisterModuleTypeLibrary(const std::string& module_path, const std::string& help_dir);
// Removes that registration: the LIBID, version, locale and platform are
// read from the module's library.
HRESULT UnregisterModuleTypeLibrary(const std::string& module_path);
// The module's library as the system reads it, in the project's own terms:
// names, DISPIDs, member kinds, parameters with their directions and help
// strings. A property's put half shares its DISPID with the get half, and
// the system answers names by DISPID, so its parameter name is left empty.
HRESULT DescribeModuleTypeLibrary(const std::string& module_path, TypeLibraryDescription* library);

// The type information of one dual interface, loaded once and kept.
// Not shared between threads before Load has returned.
class InterfaceTypeInfo {
 public:
  InterfaceTypeInfo() = default;
  ~InterfaceTypeInfo();
  InterfaceTypeInfo(const InterfaceTypeInfo&) = delete;
  InterfaceTypeInfo& operator=(const InterfaceTypeInfo&) = delete;

  // The interface `iid` of the module's library; its dual interface part
  // (the entries after IDispatch's) when the library lists it as dual.
  HRESULT Load(const std::string& module_path, const IID& iid);
  bool Loaded() const { return info_ != nullptr; }
  // IDispatch::GetTypeInfo: a new reference to the type information.
  HRESULT Get(ITypeInfo** info) const;
  // IDispatch::GetIDsOfNames for the interface's members and parameters.
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;
  // IDispatch::Invoke on `object`, a pointer to the interface itself: the
  // arguments are checked and converted by the system, and the member is
  // called through the object's entry. A member's failure comes back as
  // DISP_E_EXCEPTION with its code in `exception` (when given).
  HRESULT Invoke(void* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* arg_error) const;

 private:
  ITypeInfo* info_ = nullptr;
};

}  // namespace platform
