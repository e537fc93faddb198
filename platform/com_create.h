// In-process COM servers: the entry points a module exports, and object
// creation by CLSID or ProgID through the registry (the key InprocServer32
// under HKCR\CLSID\{GUID} names the module; it is loaded, asked for its
// class object and the class object creates the instance).
//
// A module exports, with C linkage:
//   HRESULT DllGetClassObject(const CLSID*, const IID*, void**)
//   HRESULT DllCanUnloadNow()
//   HRESULT DllRegisterServer()
//   HRESULT DllUnregisterServer()
//   int32_t KivroModuleResource(const char* type, uint32_t id,
//                               const void** data, uint32_t* size)
// The last stands in for the resource section of a Windows module: it
// answers 1 and the bytes of a resource (e.g. "TYPELIB" 1, "REGISTRY" 101),
// or 0 when the module has no such resource.
#pragma once
#include <cstdint>
#include <string>

#include "platform/com.h"
#include "platform/dynlib.h"  // ModulePathOf

namespace platform {

extern "C" {
using DllGetClassObjectFunction = HRESULT (*)(const CLSID*, const IID*, void**);
using DllCanUnloadNowFunction = HRESULT (*)();
using DllRegisterServerFunction = HRESULT (*)();
using ModuleResourceFunction = int32_t (*)(const char*, uint32_t, const void**, uint32_t*);
}
constexpr char kModuleResourceExport[] = "KivroModuleResource";

// Reads a resource of a module that may already be loaded. False when the
// module cannot be loaded or has no such resource.
bool ReadModuleResource(const std::string& module_path, const char* type, uint32_t id,
                        std::string* bytes);

// HKCR\<progid>\CLSID (or, when missing, that of HKCR\<progid>\CurVer).
// CO_E_CLASSSTRING when the ProgID is not registered.
HRESULT ClsidFromProgId(const std::string& progid, CLSID* clsid);

// CoCreateInstance for in-process servers. REGDB_E_CLASSNOTREG when the
// class or its InprocServer32 is not registered, an HRESULT of
// kErrorModNotFound when the module cannot be loaded. Modules stay loaded
// until the process ends.
HRESULT CreateInstance(const CLSID& clsid, IUnknown* outer, const IID& iid, void** object);
HRESULT CreateInstanceByProgId(const std::string& progid, IUnknown* outer, const IID& iid,
                               void** object);

// The calling thread's membership of a COM apartment while this object
// lives: Windows creates objects only on a thread that entered one
// (CreateInstance answers CO_E_NOTINITIALIZED elsewhere); the POSIX
// emulation needs none and is always entered. A thread enters a
// single-threaded apartment; one already in an apartment of either kind
// stays in it. Objects made inside must be released before it ends.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  // Whether this thread can create objects now.
  bool Entered() const { return entered_; }

 private:
  bool entered_ = true;
  bool release_ = false;  // ours to leave at the end
};

// Loads a module and calls one of its argument-less entry points
// (DllRegisterServer, DllUnregisterServer), as regsvr32 does.
HRESULT CallModuleEntryPoint(const std::string& module_path, const char* export_name);

}  // namespace platform
