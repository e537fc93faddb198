// What Windows itself provides of COM (the interface ids, COM strings and
// variants), for the POSIX emulation. BSTRs are laid out as on Windows: a
// 32-bit byte count, the characters, a 16-bit terminator; the pointer handed
// out points at the characters.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com.h"

const IID IID_NULL = {};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF,
                               {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  // The byte count must fit its 32-bit prefix.
  if (length > (std::numeric_limits<uint32_t>::max() - 8) / 2) return nullptr;
  size_t bytes = size_t(length) * 2;
  auto* block = static_cast<uint8_t*>(std::malloc(4 + bytes + 2));
  if (block == nullptr) return nullptr;
  uint32_t prefix = static_cast<uint32_t>(bytes);
  std::memcpy(block, &prefix, 4);
  auto* chars = reinterpret_cast<char16_t*>(block + 4);
  if (text != nullptr && length > 0) std::memcpy(chars, text, bytes);
  else if (length > 0) std::memset(chars, 0, bytes);
  chars[length] = 0;
  return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  uint32_t length = 0;
  while (text[length] != 0) ++length;
  return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<uint8_t*>(text) - 4);
}

UINT SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<uint8_t*>(text) - 4, 4);
  return bytes / 2;
}

void VariantInit(VARIANT* v) {
  v->vt = VT_EMPTY;
  v->bstrVal = nullptr;
}

HRESULT VariantClear(VARIANT* v) {
  if (v == nullptr) return E_INVALIDARG;
  if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
  if (v->vt == VT_DISPATCH && v->pdispVal != nullptr) v->pdispVal->Release();
  VariantInit(v);
  return S_OK;
}

