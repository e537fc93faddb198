// The system's type libraries (OLE Automation): loading a module's library,
// its registration, its description in the project's terms, and IDispatch
// through the type information of a dual interface.
#include "platform/com_type_info.h"

#include <oleauto.h>
#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {

namespace {

// Releases a COM interface on leaving.
template <typename T>
class Held {
 public:
  Held() = default;
  ~Held() {
    if (p_ != nullptr) p_->Release();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  T** out() { return &p_; }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  T* p_ = nullptr;
};

std::string FromBstr(BSTR text) {
  if (text == nullptr) return std::string();
  return WideToCp949(std::wstring(text, SysStringLen(text)));
}

// The module's library, and the path it was loaded from (the module, or the
// ".tlb" beside it). On failure, the module's own load error.
HRESULT LoadModuleLibrary(const std::string& module_path, ITypeLib** library,
                          std::wstring* loaded_from) {
  *library = nullptr;
  std::wstring module = FullWidePath(WidePath(module_path));
  HRESULT hr = LoadTypeLibEx(module.c_str(), REGKIND_NONE, library);
  if (SUCCEEDED(hr)) {
    if (loaded_from != nullptr) *loaded_from = module;
    return hr;
  }
  std::string tlb = module_path;
  size_t slash = tlb.find_last_of("\\/");
  size_t dot = tlb.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) tlb.resize(dot);
  tlb += ".tlb";
  std::wstring beside = FullWidePath(WidePath(tlb));
  if (GetFileAttributesW(beside.c_str()) == INVALID_FILE_ATTRIBUTES) return hr;
  HRESULT tlb_hr = LoadTypeLibEx(beside.c_str(), REGKIND_NONE, library);
  if (FAILED(tlb_hr)) return hr;
  if (loaded_from != nullptr) *loaded_from = beside;
  return tlb_hr;
}

// The dual interface part of a dispatch interface (its entries after
// IDispatch's), or the type information itself.
HRESULT InterfacePart(ITypeInfo* info, ITypeInfo** part) {
  TYPEATTR* attr = nullptr;
  HRESULT hr = info->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  bool dual_dispatch = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
  info->ReleaseTypeAttr(attr);
  if (dual_dispatch) {
    HREFTYPE ref = 0;
    hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
    if (FAILED(hr)) return hr;
    return info->GetRefTypeInfo(ref, part);
  }
  info->AddRef();
  *part = info;
  return S_OK;
}

HRESULT Documentation(ITypeInfo* info, MEMBERID id, std::string* name, std::string* help) {
  BSTR n = nullptr, h = nullptr;
  HRESULT hr = info->GetDocumentation(id, name != nullptr ? &n : nullptr, &h, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  if (name != nullptr) *name = FromBstr(n);
  *help = FromBstr(h);
  SysFreeString(n);
  SysFreeString(h);
  return S_OK;
}

HRESULT DescribeMembers(ITypeInfo* part, InterfaceDescription* out) {
  TYPEATTR* attr = nullptr;
  HRESULT hr = part->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  WORD functions = attr->cFuncs;
  part->ReleaseTypeAttr(attr);
  for (WORD f = 0; f < functions; ++f) {
    FUNCDESC* desc = nullptr;
    hr = part->GetFuncDesc(f, &desc);
    if (FAILED(hr)) return hr;
    MemberDescription m;
    m.id = desc->memid;
    m.kind = desc->invkind == INVOKE_PROPERTYGET ? MemberKind::kPropertyGet
             : desc->invkind == INVOKE_FUNC      ? MemberKind::kMethod
                                                 : MemberKind::kPropertyPut;
    bool first_of_id = true;
    for (const auto& earlier : out->members) first_of_id = first_of_id && earlier.id != m.id;
    BSTR names[64] = {};
    UINT named = 0;
    hr = part->GetNames(desc->memid, names, 64, &named);
    if (SUCCEEDED(hr) && named > 0) m.name = FromBstr(names[0]);
    for (SHORT k = 0; k < desc->cParams; ++k) {
      ParamDescription p;
      USHORT flags = desc->lprgelemdescParam[k].paramdesc.wParamFlags;
      p.direction =
          (flags & PARAMFLAG_FRETVAL) != 0 ? ParamDirection::kOutRetval : ParamDirection::kIn;
      if (first_of_id && static_cast<UINT>(k) + 1 < named) p.name = FromBstr(names[k + 1]);
      m.params.push_back(p);
    }
    for (UINT k = 0; k < named && k < 64; ++k) SysFreeString(names[k]);
    part->ReleaseFuncDesc(desc);
    if (FAILED(hr)) return hr;
    hr = Documentation(part, m.id, nullptr, &m.help);
    if (FAILED(hr)) return hr;
    out->members.push_back(m);
  }
  return S_OK;
}

HRESULT DefaultInterfaceName(ITypeInfo* coclass, WORD implemented, std::string* name) {
  for (WORD j = 0; j < implemented; ++j) {
    INT flags = 0;
    if (FAILED(coclass->GetImplTypeFlags(j, &flags)) || (flags & IMPLTYPEFLAG_FDEFAULT) == 0)
      continue;
    HREFTYPE ref = 0;
    Held<ITypeInfo> target;
    HRESULT hr = coclass->GetRefTypeOfImplType(j, &ref);
    if (SUCCEEDED(hr)) hr = coclass->GetRefTypeInfo(ref, target.out());
    if (FAILED(hr)) return hr;
    std::string help;
    return Documentation(target.get(), MEMBERID_NIL, name, &help);
  }
  return S_OK;
}

}  // namespace

HRESULT RegisterModuleTypeLibrary(const std::string& module_path, const std::string& help_dir) {
  Held<ITypeLib> library;
  std::wstring loaded_from;
  HRESULT hr = LoadModuleLibrary(module_path, library.out(), &loaded_from);
  if (FAILED(hr)) return hr;
  std::wstring help = Cp949ToWide(help_dir);
  // The system's declaration takes writable strings it does not write.
  return RegisterTypeLib(library.get(), loaded_from.data(), help.empty() ? nullptr : help.data());
}

HRESULT UnregisterModuleTypeLibrary(const std::string& module_path) {
  Held<ITypeLib> library;
  HRESULT hr = LoadModuleLibrary(module_path, library.out(), nullptr);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = library->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                         attr->syskind);
  library->ReleaseTLibAttr(attr);
  return hr;
}

HRESULT DescribeModuleTypeLibrary(const std::string& module_path, TypeLibraryDescription* out) {
  if (out == nullptr) return E_POINTER;
  Held<ITypeLib> library;
  HRESULT hr = LoadModuleLibrary(module_path, library.out(), nullptr);
  if (FAILED(hr)) return hr;
  TypeLibraryDescription d;
  TLIBATTR* attr = nullptr;
  hr = library->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  d.libid = attr->guid;
  d.major = attr->wMajorVerNum;
  d.minor = attr->wMinorVerNum;
  d.lcid = attr->lcid;
  d.syskind = attr->syskind == SYS_WIN64 ? SysKind::kWin64 : SysKind::kWin32;
  library->ReleaseTLibAttr(attr);
  BSTR name = nullptr, help = nullptr;
  hr = library->GetDocumentation(-1, &name, &help, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  d.name = FromBstr(name);
  d.help = FromBstr(help);
  SysFreeString(name);
  SysFreeString(help);

  UINT count = library->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    Held<ITypeInfo> info;
    hr = library->GetTypeInfo(i, info.out());
    if (FAILED(hr)) return hr;
    TYPEATTR* type = nullptr;
    hr = info->GetTypeAttr(&type);
    if (FAILED(hr)) return hr;
    TYPEKIND kind = type->typekind;
    GUID guid = type->guid;
    bool dual = (type->wTypeFlags & TYPEFLAG_FDUAL) != 0;
    WORD implemented = type->cImplTypes;
    info->ReleaseTypeAttr(type);
    if (kind == TKIND_COCLASS) {
      CoclassDescription c;
      c.clsid = guid;
      hr = Documentation(info.get(), MEMBERID_NIL, &c.name, &c.help);
      if (SUCCEEDED(hr)) hr = DefaultInterfaceName(info.get(), implemented, &c.default_interface);
      if (FAILED(hr)) return hr;
      d.coclasses.push_back(c);
    } else if (kind == TKIND_DISPATCH || kind == TKIND_INTERFACE) {
      InterfaceDescription face;
      face.iid = guid;
      face.dual = dual;
      hr = Documentation(info.get(), MEMBERID_NIL, &face.name, &face.help);
      if (FAILED(hr)) return hr;
      Held<ITypeInfo> part;
      hr = InterfacePart(info.get(), part.out());
      if (SUCCEEDED(hr)) hr = DescribeMembers(part.get(), &face);
      if (FAILED(hr)) return hr;
      d.interfaces.push_back(face);
    }
  }
  *out = std::move(d);
  return S_OK;
}

InterfaceTypeInfo::~InterfaceTypeInfo() {
  if (info_ != nullptr) info_->Release();
}

HRESULT InterfaceTypeInfo::Load(const std::string& module_path, const IID& iid) {
  if (info_ != nullptr) return S_OK;
  Held<ITypeLib> library;
  HRESULT hr = LoadModuleLibrary(module_path, library.out(), nullptr);
  if (FAILED(hr)) return hr;
  Held<ITypeInfo> info;
  hr = library->GetTypeInfoOfGuid(iid, info.out());
  if (FAILED(hr)) return hr;
  Held<ITypeInfo> part;
  hr = InterfacePart(info.get(), part.out());
  if (FAILED(hr)) return hr;
  info_ = part.release();
  return S_OK;
}

HRESULT InterfaceTypeInfo::Get(ITypeInfo** info) const {
  if (info == nullptr) return E_POINTER;
  *info = info_;
  if (info_ == nullptr) return TYPE_E_CANTLOADLIBRARY;
  info_->AddRef();
  return S_OK;
}

HRESULT InterfaceTypeInfo::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const {
  if (info_ == nullptr) return TYPE_E_CANTLOADLIBRARY;
  return DispGetIDsOfNames(info_, names, count, ids);
}

HRESULT InterfaceTypeInfo::Invoke(void* object, DISPID id, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* exception, UINT* arg_error) const {
  if (info_ == nullptr) return TYPE_E_CANTLOADLIBRARY;
  return DispInvoke(object, info_, id, flags, params, result, exception, arg_error);
}

}  // namespace platform
