// kivro-plugin-host: stands in for a web page's script.
//
//   kivro-plugin-host register PLUGIN_FILE
//   kivro-plugin-host unregister PLUGIN_FILE
//   kivro-plugin-host call METHOD [ARG] [-- call METHOD [ARG] ...]
//
// "call" creates one object by the ProgID "KIVROPlugin.KIVROPlugin" through
// the registry and makes each call by name through IDispatch, as script
// does: "CurGameInfo" reads the property, "CurGameInfo=TEXT" writes it.
// Each returned string is printed on a line of its own, each HRESULT that is
// not S_OK as "METHOD: 0xXXXXXXXX". The exit code is 0 when every call
// answered S_OK, 1 otherwise, 2 for a wrong command line.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/com.h"
#include "platform/com_create.h"
#include "platform/initialize.h"
#include "platform/paths.h"

namespace kivro {

namespace {

using platform::HRESULT;

constexpr char kProgId[] = "KIVROPlugin.KIVROPlugin";

int Usage() {
  std::fprintf(stderr,
               "usage: kivro-plugin-host register PLUGIN_FILE\n"
               "       kivro-plugin-host unregister PLUGIN_FILE\n"
               "       kivro-plugin-host call METHOD [ARG] [-- call METHOD [ARG] ...]\n");
  return 2;
}

void PrintFailure(const std::string& what, HRESULT hr) {
  std::printf("%s: 0x%08X\n", what.c_str(), static_cast<uint32_t>(hr));
}

// A Windows path as it is; anything else is a POSIX path.
std::string WindowsPathOf(const std::string& path) {
  bool windows = path.size() >= 2 && path[1] == ':' &&
                 ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return windows ? path : platform::ToWindowsPath(path);
}

// The terminal speaks UTF-8; the object, UTF-16.
platform::BSTR ToBstr(const std::string& utf8) {
  return platform::SysAllocStringFromUtf16(platform::Cp949ToUtf16(platform::Utf8ToCp949(utf8)));
}

std::string FromBstr(platform::BSTR text) {
  return platform::Cp949ToUtf8(platform::Utf16ToCp949(platform::BstrToUtf16(text)));
}

struct Call {
  std::string method;
  bool has_arg = false;
  std::string arg;
};

bool ParseCalls(int argc, char** argv, std::vector<Call>* calls) {
  int i = 1;
  while (i < argc) {
    if (std::string(argv[i]) != "call" || i + 1 >= argc) return false;
    Call call;
    call.method = argv[i + 1];
    i += 2;
    if (i < argc && std::string(argv[i]) != "--") {
      call.has_arg = true;
      call.arg = argv[i++];
    }
    calls->push_back(call);
    if (i < argc) {
      if (std::string(argv[i]) != "--") return false;
      ++i;
      if (i >= argc) return false;
    }
  }
  return !calls->empty();
}

HRESULT MakeCall(platform::IDispatch* object, const Call& call) {
  std::string name = call.method;
  bool put = false;
  std::string value;
  size_t eq = name.find('=');
  if (eq != std::string::npos) {
    put = true;
    value = name.substr(eq + 1);
    name.resize(eq);
  }
  std::u16string wide = platform::Cp949ToUtf16(platform::Utf8ToCp949(name));
  std::vector<OLECHAR> buffer(wide.begin(), wide.end());
  buffer.push_back(0);
  LPOLESTR names[] = {buffer.data()};
  platform::DISPID id = 0;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id);
  if (platform::Failed(hr)) return hr;

  // The system's VARIANT has no constructor: each starts empty here.
  platform::VARIANT arg;
  platform::VariantInit(&arg);
  platform::DISPID put_id = DISPID_PROPERTYPUT;
  platform::DISPPARAMS params{};  // the system's has no initialisers either
  if (put || call.has_arg) {
    arg.vt = VT_BSTR;
    arg.bstrVal = ToBstr(put ? value : call.arg);
    params.rgvarg = &arg;
    params.cArgs = 1;
    if (put) {
      params.rgdispidNamedArgs = &put_id;
      params.cNamedArgs = 1;
    }
  }
  platform::VARIANT result;
  platform::VariantInit(&result);
  uint16_t flags = static_cast<uint16_t>(
      put ? DISPATCH_PROPERTYPUT
          : DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  UINT arg_error = 0;
  platform::EXCEPINFO exception{};
  hr = object->Invoke(id, IID_NULL, 0x409, flags, &params, &result, &exception, &arg_error);
  platform::VariantClear(&arg);
  // A member's own failure comes through the system's dispatch as an
  // exception carrying its code; the code is what the caller wants to see.
  if (hr == DISP_E_EXCEPTION && exception.scode != S_OK) hr = exception.scode;
  platform::SysFreeString(exception.bstrSource);
  platform::SysFreeString(exception.bstrDescription);
  platform::SysFreeString(exception.bstrHelpFile);
  if (platform::Succeeded(hr) && result.vt == VT_BSTR) {
    std::printf("%s\n", FromBstr(result.bstrVal).c_str());
  }
  platform::VariantClear(&result);
  return hr;
}

int RunCalls(int argc, char** argv) {
  std::vector<Call> calls;
  if (!ParseCalls(argc, argv, &calls)) return Usage();
  platform::IDispatch* object = nullptr;
  HRESULT hr = platform::CreateInstanceByProgId(kProgId, nullptr, platform::IID_IDispatch,
                                                reinterpret_cast<void**>(&object));
  if (platform::Failed(hr)) {
    PrintFailure(std::string("create ") + kProgId, hr);
    return 1;
  }
  bool all_ok = true;
  for (const Call& call : calls) {
    hr = MakeCall(object, call);
    if (hr != S_OK) {
      PrintFailure(call.method, hr);
      all_ok = false;
    }
  }
  object->Release();
  std::fflush(stdout);
  return all_ok ? 0 : 1;
}

}  // namespace

}  // namespace kivro

using namespace kivro;

int main(int argc, char** argv) {
  platform::Initialize();
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if ((command == "register" || command == "unregister") && argc == 3) {
    const char* entry = command == "register" ? "DllRegisterServer" : "DllUnregisterServer";
    HRESULT hr = platform::CallModuleEntryPoint(WindowsPathOf(argv[2]), entry);
    if (hr != S_OK) {
      PrintFailure(entry, hr);
      return 1;
    }
    return 0;
  }
  if (command == "call") return RunCalls(argc, argv);
  return Usage();
}
