// GUIDs, COM strings and variants. BSTRs are laid out as on Windows: a
// 32-bit byte count, the characters, a 16-bit terminator; the pointer handed
// out points at the characters.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com.h"

namespace platform {

const IID IID_NULL = {};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF,
                               {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(const std::string& text, size_t pos, size_t digits, uint64_t* out) {
  uint64_t v = 0;
  for (size_t i = 0; i < digits; ++i) {
    int d = HexValue(text[pos + i]);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint64_t>(d);
  }
  *out = v;
  return true;
}

}  // namespace

bool GuidFromString(const std::string& text, GUID* guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-') {
    return false;
  }
  GUID g;
  uint64_t v = 0;
  if (!ParseHex(text, 1, 8, &v)) return false;
  g.data1 = static_cast<uint32_t>(v);
  if (!ParseHex(text, 10, 4, &v)) return false;
  g.data2 = static_cast<uint16_t>(v);
  if (!ParseHex(text, 15, 4, &v)) return false;
  g.data3 = static_cast<uint16_t>(v);
  static const size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ParseHex(text, kByteAt[i], 2, &v)) return false;
    g.data4[i] = static_cast<uint8_t>(v);
  }
  *guid = g;
  return true;
}

std::string GuidToString(const GUID& g) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return buffer;
}

BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
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

BSTR SysAllocString(const char16_t* text) {
  if (text == nullptr) return nullptr;
  uint32_t length = 0;
  while (text[length] != 0) ++length;
  return SysAllocStringLen(text, length);
}

BSTR SysAllocStringFromUtf16(const std::u16string& text) {
  if (text.size() > std::numeric_limits<uint32_t>::max()) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<uint8_t*>(text) - 4);
}

uint32_t SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<uint8_t*>(text) - 4, 4);
  return bytes / 2;
}

std::u16string BstrToUtf16(BSTR text) {
  if (text == nullptr) return std::u16string();
  return std::u16string(text, SysStringLen(text));
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

}  // namespace platform
