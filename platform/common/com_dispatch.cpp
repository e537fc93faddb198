#include "platform/com_dispatch.h"

#include <string>

#include "platform/codepage.h"

namespace platform {

namespace {

// An argument turned into a string; owns the string when it made one.
struct ConvertedArg {
  BSTR text = nullptr;
  bool owned = false;
};

std::u16string AsciiToUtf16(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

HRESULT ConvertArg(const VARIANT& v, ConvertedArg* out) {
  switch (v.vt) {
    case VT_BSTR:
      out->text = v.bstrVal;
      return S_OK;
    case VT_BSTR | VT_BYREF:
      out->text = v.pbstrVal != nullptr ? *v.pbstrVal : nullptr;
      return S_OK;
    case VT_EMPTY:
      out->text = nullptr;
      return S_OK;
    case VT_I4:
      out->text = SysAllocStringFromUtf16(AsciiToUtf16(std::to_string(v.lVal)));
      out->owned = true;
      return out->text != nullptr ? S_OK : E_OUTOFMEMORY;
    case VT_BOOL:
      out->text = SysAllocStringFromUtf16(v.boolVal ? u"True" : u"False");
      out->owned = true;
      return out->text != nullptr ? S_OK : E_OUTOFMEMORY;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

const MemberDescription* FindMember(const InterfaceDescription& d, DISPID id, uint16_t flags) {
  const MemberDescription* found = nullptr;
  for (const auto& m : d.members) {
    if (m.id != id) continue;
    bool wanted = false;
    switch (m.kind) {
      case MemberKind::kMethod: wanted = (flags & DISPATCH_METHOD) != 0; break;
      case MemberKind::kPropertyGet: wanted = (flags & DISPATCH_PROPERTYGET) != 0; break;
      case MemberKind::kPropertyPut: wanted = (flags & DISPATCH_PROPERTYPUT) != 0; break;
    }
    // A put asked for is never answered by a get or a method.
    if ((flags & DISPATCH_PROPERTYPUT) != 0 && m.kind != MemberKind::kPropertyPut) wanted = false;
    if (wanted && found == nullptr) found = &m;
  }
  return found;
}

}  // namespace

HRESULT DispatchGetIDsOfNames(const InterfaceDescription& description, LPOLESTR* names,
                              UINT count, DISPID* ids) {
  if (ids == nullptr || (names == nullptr && count > 0)) return E_POINTER;
  if (count == 0) return S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (names[0] == nullptr) return DISP_E_UNKNOWNNAME;
  std::u16string wide;
  for (const OLECHAR* p = names[0]; *p != 0; ++p) wide.push_back(static_cast<char16_t>(*p));
  std::string name = Utf16ToCp949(wide);
  for (const auto& m : description.members) {
    if (EqualsNoCase(m.name, name)) {
      ids[0] = m.id;
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchInvoke(const InterfaceDescription& description, DISPID id, uint16_t flags,
                       DISPPARAMS* params, VARIANT* result, uint32_t* arg_error,
                       const DispatchTarget& target) {
  DISPPARAMS none;
  if (params == nullptr) params = &none;
  if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs > params->cArgs ||
      (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr)) {
    return E_INVALIDARG;
  }
  const MemberDescription* member = FindMember(description, id, flags);
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  // The only named argument understood is the value of a property put.
  if (member->kind == MemberKind::kPropertyPut) {
    if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
      return DISP_E_PARAMNOTOPTIONAL;
    }
  } else if (params->cNamedArgs != 0) {
    return DISP_E_PARAMNOTFOUND;
  }
  size_t wanted = member->InCount();
  if (params->cArgs != wanted) return DISP_E_BADPARAMCOUNT;

  // Arguments arrive last first.
  std::vector<ConvertedArg> converted(wanted);
  HRESULT hr = S_OK;
  for (size_t i = 0; i < wanted && Succeeded(hr); ++i) {
    uint32_t position = static_cast<uint32_t>(wanted - 1 - i);
    hr = ConvertArg(params->rgvarg[position], &converted[i]);
    if (Failed(hr) && arg_error != nullptr) *arg_error = position;
  }
  if (Succeeded(hr)) {
    std::vector<BSTR> in;
    for (const auto& c : converted) in.push_back(c.text);
    BSTR out = nullptr;
    hr = target(*member, in, member->HasRetval() ? &out : nullptr);
    if (Succeeded(hr) && member->HasRetval() && result != nullptr) {
      VariantClear(result);
      result->vt = VT_BSTR;
      result->bstrVal = out;
    } else {
      SysFreeString(out);
    }
  }
  for (auto& c : converted) {
    if (c.owned) SysFreeString(c.text);
  }
  return hr;
}

}  // namespace platform
