// Fuzzes the texts a plug-in file brings with it: registrar scripts (run in
// removal mode on an empty registry, so nothing is written), type libraries,
// GUIDs, and Windows command lines. The first byte picks the parser.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/com.h"
#include "platform/com_registrar.h"
#include "platform/com_typelib.h"
#include "platform/process.h"

namespace kivro {

namespace {

struct EmptyRoot {
  EmptyRoot() {
    char dir[] = "/tmp/kivro-fuzz-com-XXXXXX";
    if (mkdtemp(dir) != nullptr) setenv("KIVRO_ROOT", dir, 1);
  }
};

}  // namespace

}  // namespace kivro

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static EmptyRoot root;
  if (size == 0) return 0;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 4) {
    case 0: {
      platform::HRESULT hr =
          platform::RunRegistrarScript(text, {{"MODULE", "C:\\a''b.dll"}, {"APPID", "{X}"}}, false);
      if (hr != S_OK && hr != DISP_E_EXCEPTION) abort();
      break;
    }
    case 1: {
      platform::TypeLibraryDescription lib;
      if (platform::ParseTypeLibrary(text, &lib, nullptr)) {
        for (const auto& i : lib.interfaces) {
          for (const auto& m : i.members) {
            if (m.kind == platform::MemberKind::kPropertyGet && (!m.HasRetval() || m.InCount() != 0))
              abort();
            if (m.kind == platform::MemberKind::kPropertyPut && m.InCount() != 1) abort();
          }
        }
      }
      break;
    }
    case 2: {
      platform::GUID g;
      if (platform::GuidFromString(text, &g)) {
        platform::GUID back;
        if (!platform::GuidFromString(platform::GuidToString(g), &back) || !(back == g)) abort();
      }
      break;
    }
    case 3: {
      for (const std::string& arg : platform::SplitCommandLine(text)) {
        if (arg.size() > text.size()) abort();
      }
      break;
    }
  }
  return 0;
}
