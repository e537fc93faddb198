// Fuzzes what a hostile page can send the plug-in: calls through IDispatch
// with any DISPID, flags and string, integer or boolean arguments. There is
// no display and no program to start in the fuzzing root, so every call
// returns at once.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com.h"
#include "plugin/kivro_plugin_object.h"

namespace kivro {

namespace {

struct Setup {
  Setup() {
    char dir[] = "/tmp/kivro-fuzz-plugin-XXXXXX";
    if (mkdtemp(dir) != nullptr) setenv("KIVRO_ROOT", dir, 1);
    unsetenv("DISPLAY");
  }
};

}  // namespace

}  // namespace kivro

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size < 3) return 0;
  plugin::IKIVROPlugin* plugin = nullptr;
  if (plugin::CKIVROPlugin::Create(nullptr, plugin::IID_IKIVROPlugin,
                                         reinterpret_cast<void**>(&plugin)) != S_OK)
    abort();
  platform::DISPID id = static_cast<int8_t>(data[0]);
  uint16_t flags = data[1] & 0x7;
  size_t count = data[2] % 3;
  // The rest is split into up to `count` arguments; the first byte of each
  // says its kind.
  std::vector<platform::VARIANT> args(count);
  size_t pos = 3;
  for (size_t i = 0; i < count; ++i) {
    size_t take = (size - pos) / (count - i);
    std::string piece(reinterpret_cast<const char*>(data) + pos, take);
    pos += take;
    uint8_t kind = piece.empty() ? 0 : static_cast<uint8_t>(piece[0]);
    std::u16string wide;
    for (size_t k = 1; k + 1 < piece.size(); k += 2)
      wide.push_back(static_cast<char16_t>(uint8_t(piece[k]) | (uint8_t(piece[k + 1]) << 8)));
    switch (kind % 4) {
      case 0: args[i].vt = VT_BSTR; args[i].bstrVal = platform::SysAllocStringFromUtf16(wide); break;
      case 1: args[i].vt = VT_I4; args[i].lVal = static_cast<int32_t>(wide.size() * 7919); break;
      case 2: args[i].vt = VT_BOOL; args[i].boolVal = wide.empty() ? 0 : -1; break;
      case 3: args[i].vt = VT_EMPTY; break;
    }
  }
  platform::DISPID put = DISPID_PROPERTYPUT;
  platform::DISPPARAMS params{args.data(), (flags & DISPATCH_PROPERTYPUT) ? &put : nullptr,
                              static_cast<uint32_t>(count),
                              (flags & DISPATCH_PROPERTYPUT) && count > 0 ? 1u : 0u};
  platform::VARIANT result;
  uint32_t arg_error = 0;
  plugin->Invoke(id, IID_NULL, 0, flags, &params, &result, nullptr, &arg_error);
  if (result.vt != VT_EMPTY && result.vt != VT_BSTR) abort();
  platform::VariantClear(&result);
  for (auto& a : args) platform::VariantClear(&a);
  if (plugin->Release() != 0) abort();
  return 0;
}
