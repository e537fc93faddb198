// The COM basics the web plug-in needs, and no more: GUIDs, HRESULTs, the
// interfaces IUnknown, IClassFactory, IDispatch and IObjectSafety, COM
// strings (BSTR: length-prefixed UTF-16) and the few VARIANT kinds that its
// scripting interface carries (empty, null, 32-bit integer, boolean, string).
//
// These are the system's own names. On Windows they come from the system's
// headers (its types, ABI and calling convention); elsewhere this header
// defines them in the global namespace, as the Windows headers do, with the
// same layouts and method signatures, so that one source implements an
// interface on both (write overrides with STDMETHODCALLTYPE and the
// Windows type names). A module exports DllGetClassObject and friends with
// C linkage (see com_create.h). Helpers of ours live in namespace
// platform, which also re-declares the system's types and functions so that
// platform::GUID and friends name them; constants that are macros on Windows
// (S_OK, E_FAIL, ...) are used without qualification.
//
// system-name: S_OK S_FALSE E_NOTIMPL E_NOINTERFACE E_POINTER E_FAIL E_UNEXPECTED E_OUTOFMEMORY E_INVALIDARG
// system-name: CLASS_E_NOAGGREGATION CLASS_E_CLASSNOTAVAILABLE REGDB_E_CLASSNOTREG CO_E_CLASSSTRING
// system-name: DISP_E_UNKNOWNINTERFACE DISP_E_MEMBERNOTFOUND DISP_E_PARAMNOTFOUND DISP_E_TYPEMISMATCH
// system-name: DISP_E_UNKNOWNNAME DISP_E_EXCEPTION DISP_E_BADINDEX DISP_E_BADPARAMCOUNT DISP_E_PARAMNOTOPTIONAL
// system-name: TYPE_E_LIBNOTREGISTERED TYPE_E_CANTLOADLIBRARY VARIANT_TRUE VARIANT_FALSE IID_NULL
// system-name: DISPID_UNKNOWN DISPID_PROPERTYPUT DISPATCH_METHOD DISPATCH_PROPERTYGET DISPATCH_PROPERTYPUT
// system-name: INTERFACESAFE_FOR_UNTRUSTED_CALLER INTERFACESAFE_FOR_UNTRUSTED_DATA STDMETHODCALLTYPE
// system-name: REFIID REFCLSID OLESTR
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)
#include "platform/win32/com_system.h"
#else

#define STDMETHODCALLTYPE

// ---- Scalar types -------------------------------------------------------

using BOOL = int32_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using UINT = uint32_t;
using LCID = uint32_t;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
// A literal of OLECHARs.
#define OLESTR(text) u##text

// ---- GUIDs --------------------------------------------------------------

struct GUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};
  bool operator==(const GUID&) const = default;
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// ---- HRESULTs -----------------------------------------------------------

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000B);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000F);
constexpr HRESULT TYPE_E_LIBNOTREGISTERED = static_cast<HRESULT>(0x8002801D);
constexpr HRESULT TYPE_E_CANTLOADLIBRARY = static_cast<HRESULT>(0x80029C4A);

// ---- Strings and variants ---------------------------------------------

// A COM string: UTF-16 characters after a 32-bit byte length, always
// zero-terminated. A null BSTR is an empty string.
using BSTR = OLECHAR*;
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);  // text may be null
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);  // characters; 0 for null

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_BYREF = 0x4000,
};
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

class IDispatch;

// Laid out as Windows lays it out: the type, three reserved words, the value.
struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  WORD wReserved1 = 0;
  WORD wReserved2 = 0;
  WORD wReserved3 = 0;
  union {
    LONG lVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    BSTR bstrVal;
    BSTR* pbstrVal;  // VT_BSTR | VT_BYREF
    IDispatch* pdispVal;
  };
  VARIANT() : bstrVal(nullptr) {}
};
using VARIANTARG = VARIANT;
void VariantInit(VARIANT* v);
// Frees what the variant owns (a string, a reference) and empties it.
HRESULT VariantClear(VARIANT* v);

// ---- Interfaces ---------------------------------------------------------

extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IDispatch;
extern const IID IID_IObjectSafety;
extern const IID IID_NULL;

class IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

using DISPID = LONG;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr WORD DISPATCH_METHOD = 1;
constexpr WORD DISPATCH_PROPERTYGET = 2;
constexpr WORD DISPATCH_PROPERTYPUT = 4;

// Arguments in reverse order, as IDispatch::Invoke receives them.
struct DISPPARAMS {
  VARIANTARG* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
};

// What a failed call tells its caller, laid out as Windows lays it out.
// Our objects never fill it; a system's dispatch sets `scode` to the
// member's own failure when it answers DISP_E_EXCEPTION.
struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
  HRESULT scode;
};
class ITypeInfo;   // never handed out: GetTypeInfo answers E_NOTIMPL

class IDispatch : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                  LCID lcid, DISPID* ids) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                           DISPPARAMS* params, VARIANT* result,
                                           EXCEPINFO* exception, UINT* arg_error) = 0;

 protected:
  ~IDispatch() = default;
};

constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;
constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;

class IObjectSafety : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                                              DWORD* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID iid, DWORD mask,
                                                              DWORD enabled) = 0;

 protected:
  ~IObjectSafety() = default;
};

#endif  // _WIN32

namespace platform {

// The system's types and functions under our namespace too.
using ::BSTR;
using ::CLSID;
using ::DISPID;
using ::DISPPARAMS;
using ::EXCEPINFO;
using ::GUID;
using ::HRESULT;
using ::IClassFactory;
using ::IDispatch;
using ::IID;
using ::IID_IClassFactory;
using ::IID_IDispatch;
using ::IID_IObjectSafety;
using ::IID_IUnknown;
using ::IObjectSafety;
using ::ITypeInfo;
using ::IUnknown;
using ::SysAllocString;
using ::SysAllocStringLen;
using ::SysFreeString;
using ::SysStringLen;
using ::VARIANT;
using ::VariantClear;
using ::VariantInit;

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces required, hex
// digits of either case). False for anything else.
bool GuidFromString(const std::string& text, GUID* guid);
// The registry form: braces and upper-case hex digits.
std::string GuidToString(const GUID& guid);

constexpr HRESULT MakeHresult(uint32_t value) { return static_cast<HRESULT>(value); }
// A system error value (error.h) as an HRESULT.
constexpr HRESULT HresultFromSystemError(int32_t error) {
  return error <= 0 ? error : MakeHresult(0x80070000u | (static_cast<uint32_t>(error) & 0xFFFF));
}
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

BSTR SysAllocStringFromUtf16(const std::u16string& text);
// The characters of a BSTR (empty for null).
std::u16string BstrToUtf16(BSTR text);

}  // namespace platform
