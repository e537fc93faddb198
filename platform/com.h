// The COM basics the web plug-in needs, and no more: GUIDs, HRESULTs, the
// interfaces IUnknown, IClassFactory, IDispatch and IObjectSafety, COM
// strings (BSTR: length-prefixed UTF-16) and the few VARIANT kinds that its
// scripting interface carries (empty, null, 32-bit integer, boolean, string).
//
// On POSIX these are plain C++ interfaces with the same methods and results
// as their Windows namesakes; a module exports DllGetClassObject and friends
// with C linkage (see com_create.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// ---- GUIDs --------------------------------------------------------------

struct GUID {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
  bool operator==(const GUID&) const = default;
};
using IID = GUID;
using CLSID = GUID;

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces required, hex
// digits of either case). False for anything else.
bool GuidFromString(const std::string& text, GUID* guid);
// The registry form: braces and upper-case hex digits.
std::string GuidToString(const GUID& guid);

// ---- HRESULTs -----------------------------------------------------------

using HRESULT = int32_t;
constexpr HRESULT MakeHresult(uint32_t value) { return static_cast<HRESULT>(value); }
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002);
constexpr HRESULT E_POINTER = MakeHresult(0x80004003);
constexpr HRESULT E_FAIL = MakeHresult(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHresult(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154);
constexpr HRESULT CO_E_CLASSSTRING = MakeHresult(0x800401F3);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHresult(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHresult(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHresult(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHresult(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHresult(0x80020006);
constexpr HRESULT DISP_E_EXCEPTION = MakeHresult(0x80020009);
constexpr HRESULT DISP_E_BADINDEX = MakeHresult(0x8002000B);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHresult(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHresult(0x8002000F);
constexpr HRESULT TYPE_E_LIBNOTREGISTERED = MakeHresult(0x8002801D);
constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MakeHresult(0x80029C4A);
// A system error value (error.h) as an HRESULT.
constexpr HRESULT HresultFromSystemError(int32_t error) {
  return error <= 0 ? error : MakeHresult(0x80070000u | (static_cast<uint32_t>(error) & 0xFFFF));
}
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

// ---- Strings and variants ---------------------------------------------

// A COM string: UTF-16 characters after a 32-bit byte length, always
// zero-terminated. A null BSTR is an empty string.
using BSTR = char16_t*;
BSTR SysAllocString(const char16_t* text);
BSTR SysAllocStringLen(const char16_t* text, uint32_t length);  // text may be null
BSTR SysAllocStringFromUtf16(const std::u16string& text);
void SysFreeString(BSTR text);
uint32_t SysStringLen(BSTR text);  // characters; 0 for null
// The characters of a BSTR (empty for null).
std::u16string BstrToUtf16(BSTR text);

enum VarType : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_BYREF = 0x4000,
};
constexpr int16_t VARIANT_TRUE = -1;
constexpr int16_t VARIANT_FALSE = 0;

class IDispatch;

struct VARIANT {
  uint16_t vt = VT_EMPTY;
  union {
    int32_t lVal;
    int16_t boolVal;
    HRESULT scode;
    BSTR bstrVal;
    BSTR* pbstrVal;  // VT_BSTR | VT_BYREF
    IDispatch* pdispVal;
  };
  VARIANT() : bstrVal(nullptr) {}
};
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
  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

using DISPID = int32_t;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_PROPERTYPUT = -3;
enum DispatchFlags : uint16_t {
  DISPATCH_METHOD = 1,
  DISPATCH_PROPERTYGET = 2,
  DISPATCH_PROPERTYPUT = 4,
};

// Arguments in reverse order, as IDispatch::Invoke receives them.
struct DISPPARAMS {
  VARIANT* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  uint32_t cArgs = 0;
  uint32_t cNamedArgs = 0;
};

struct EXCEPINFO;  // never filled by our objects
class ITypeInfo;   // never handed out: GetTypeInfo answers E_NOTIMPL

class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(uint32_t index, uint32_t lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(const IID& iid, char16_t** names, uint32_t count, uint32_t lcid,
                                DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, const IID& iid, uint32_t lcid, uint16_t flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                         uint32_t* arg_error) = 0;

 protected:
  ~IDispatch() = default;
};

enum ObjectSafetyOptions : uint32_t {
  INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1,
  INTERFACESAFE_FOR_UNTRUSTED_DATA = 2,
};

class IObjectSafety : public IUnknown {
 public:
  virtual HRESULT GetInterfaceSafetyOptions(const IID& iid, uint32_t* supported,
                                            uint32_t* enabled) = 0;
  virtual HRESULT SetInterfaceSafetyOptions(const IID& iid, uint32_t mask, uint32_t enabled) = 0;

 protected:
  ~IObjectSafety() = default;
};

}  // namespace platform
