// The plug-in file as the system's COM sees it on Windows: its exports, the
// type library compiled into it, registration in the real registry, and
// objects made by CoCreateInstance, called through the system's dispatch.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "platform/com.h"
#include "platform/com_create.h"
#include "platform/com_type_info.h"
#include "platform/com_typelib.h"
#include "platform/dynlib.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "plugin/kivro_plugin_interface.h"
#include "plugin/registry_keys_testing.h"

namespace kivro::plugin {
namespace {

using GetClassObjectEntry = HRESULT(STDMETHODCALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowEntry = HRESULT(STDMETHODCALLTYPE*)();

std::string PluginFile() { return "Z:" KIVRO_PLUGIN_FILE; }

// The file's full Windows path as the module loader names it.
std::string LoadedPluginPath() {
  platform::DynamicLibrary library;
  if (!library.Load(PluginFile())) return "";
  return platform::ModulePathOf(library.Find("DllCanUnloadNow"));
}

class Bstr {
 public:
  explicit Bstr(const std::u16string& text) : s_(platform::SysAllocStringFromUtf16(text)) {}
  ~Bstr() { platform::SysFreeString(s_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return s_; }

 private:
  BSTR s_;
};

std::string Utf8(BSTR text) {
  return platform::Cp949ToUtf8(platform::Utf16ToCp949(platform::BstrToUtf16(text)));
}

class ComServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(apartment_.Entered());
    ASSERT_TRUE(library_.Load(PluginFile())) << library_.LoadError();
    get_class_object_ = reinterpret_cast<GetClassObjectEntry>(library_.Find("DllGetClassObject"));
    can_unload_ = reinterpret_cast<CanUnloadNowEntry>(library_.Find("DllCanUnloadNow"));
    ASSERT_NE(get_class_object_, nullptr);
    ASSERT_NE(can_unload_, nullptr);
    ASSERT_EQ(platform::CallModuleEntryPoint(PluginFile(), "DllRegisterServer"), S_OK);
  }
  void TearDown() override { platform::CallModuleEntryPoint(PluginFile(), "DllUnregisterServer"); }
  IDispatch* Create() {
    IDispatch* object = nullptr;
    HRESULT hr = platform::CreateInstanceByProgId(kProgId, nullptr, platform::IID_IDispatch,
                                                  reinterpret_cast<void**>(&object));
    EXPECT_EQ(hr, S_OK);
    return object;
  }
  // Calls `name` through GetIDsOfNames and Invoke, as script does. The
  // member's own failure comes back in `scode`.
  HRESULT Call(IDispatch* object, const char16_t* name, WORD flags, BSTR arg, std::string* out,
               HRESULT* scode = nullptr) {
    std::u16string wide(name);
    std::wstring buffer(wide.begin(), wide.end());
    LPOLESTR names[] = {buffer.data()};
    DISPID id = 0;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id);
    if (FAILED(hr)) return hr;
    VARIANT value;
    VariantInit(&value);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    if (arg != nullptr) {
      value.vt = VT_BSTR;
      value.bstrVal = arg;
      params.rgvarg = &value;
      params.cArgs = 1;
      if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
      }
    }
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT arg_error = 0;
    hr = object->Invoke(id, IID_NULL, 0x409, flags, &params, &result, &exception, &arg_error);
    if (scode != nullptr) *scode = exception.scode;
    if (out != nullptr) *out = result.vt == VT_BSTR ? Utf8(result.bstrVal) : "<not a string>";
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
  }

  platform::ComApartment apartment_;
  platform::DynamicLibrary library_;
  GetClassObjectEntry get_class_object_ = nullptr;
  CanUnloadNowEntry can_unload_ = nullptr;
};

TEST_F(ComServerTest, ExportsTheFourEntryPointsByTheirPlainNames) {
  for (const char* name :
       {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"}) {
    EXPECT_NE(library_.Find(name), nullptr) << name;
  }
}

// The library widl compiled from KIVROPlugin.idl says what the project's own
// description says: one is not changed without the other.
TEST_F(ComServerTest, TheCompiledTypeLibraryMatchesTheProjectsDescription) {
  std::string text;
  ASSERT_TRUE(platform::ReadWholeFile(
      platform::EnvironmentValue("KIVRO_SOURCE_DIR") + "/plugin/KIVROPlugin.typelib", &text));
  platform::TypeLibraryDescription want, have;
  std::string error;
  ASSERT_TRUE(platform::ParseTypeLibrary(text, &want, &error)) << error;
  ASSERT_EQ(platform::DescribeModuleTypeLibrary(PluginFile(), &have), S_OK);

  EXPECT_EQ(have.name, want.name);
  EXPECT_EQ(platform::GuidToString(have.libid), platform::GuidToString(want.libid));
  EXPECT_EQ(have.major, want.major);
  EXPECT_EQ(have.minor, want.minor);
  EXPECT_EQ(have.lcid, want.lcid);
  EXPECT_EQ(have.syskind, want.syskind);
  EXPECT_EQ(have.help, want.help);
  ASSERT_EQ(have.interfaces.size(), want.interfaces.size());
  for (size_t i = 0; i < want.interfaces.size(); ++i) {
    const auto& h = have.interfaces[i];
    const auto& w = want.interfaces[i];
    EXPECT_EQ(h.name, w.name);
    EXPECT_EQ(platform::GuidToString(h.iid), platform::GuidToString(w.iid));
    EXPECT_EQ(h.dual, w.dual);
    EXPECT_EQ(h.help, w.help);
    // In the order of the interface's entries.
    ASSERT_EQ(h.members.size(), w.members.size()) << w.name;
    for (size_t m = 0; m < w.members.size(); ++m) {
      const auto& hm = h.members[m];
      const auto& wm = w.members[m];
      SCOPED_TRACE(wm.name + " #" + std::to_string(m));
      EXPECT_EQ(hm.name, wm.name);
      EXPECT_EQ(hm.id, wm.id);
      EXPECT_EQ(static_cast<int>(hm.kind), static_cast<int>(wm.kind));
      EXPECT_EQ(hm.help, wm.help);
      ASSERT_EQ(hm.params.size(), wm.params.size());
      for (size_t p = 0; p < wm.params.size(); ++p) {
        EXPECT_EQ(static_cast<int>(hm.params[p].direction),
                  static_cast<int>(wm.params[p].direction));
        // A put half's names are the get half's in the system's name table.
        if (wm.kind != platform::MemberKind::kPropertyPut) {
          EXPECT_EQ(hm.params[p].name, wm.params[p].name);
        }
      }
    }
  }
  ASSERT_EQ(have.coclasses.size(), want.coclasses.size());
  for (size_t i = 0; i < want.coclasses.size(); ++i) {
    EXPECT_EQ(have.coclasses[i].name, want.coclasses[i].name);
    EXPECT_EQ(platform::GuidToString(have.coclasses[i].clsid),
              platform::GuidToString(want.coclasses[i].clsid));
    EXPECT_EQ(have.coclasses[i].help, want.coclasses[i].help);
    EXPECT_EQ(have.coclasses[i].default_interface, want.coclasses[i].default_interface);
  }
}

TEST_F(ComServerTest, RegistrationWritesTheClassItsNamesItsLibraryAndTheProtocols) {
  std::string module = LoadedPluginPath();
  ASSERT_FALSE(module.empty());
  EXPECT_EQ(Value(kClsidKey), "KIVROPlugin Class");
  EXPECT_TRUE(platform::EqualsNoCase(Value(kClsidKey + "\\InprocServer32"), module))
      << Value(kClsidKey + "\\InprocServer32") << " vs " << module;
  EXPECT_EQ(Value(kClsidKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Value(kClsidKey + "\\ProgID"), kVersionedProgId);
  EXPECT_EQ(Value(kClsidKey + "\\VersionIndependentProgID"), kProgId);
  EXPECT_EQ(Value(kClsidKey + "\\TypeLib"), "{A34AFA32-EA9D-4355-921C-DBDF5B6EF933}");
  EXPECT_EQ(Value(kClsidKey, "AppID"), kAppId);
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, kClsidKey + "\\Programmable"));
  EXPECT_EQ(Value(std::string(kProgId) + "\\CLSID"), kAppId);
  EXPECT_EQ(Value(std::string(kProgId) + "\\CurVer"), kVersionedProgId);
  EXPECT_EQ(Value(std::string(kVersionedProgId) + "\\CLSID"), kAppId);
  EXPECT_EQ(Value(std::string("AppID\\") + kAppId), "KIVROPlugin");
  EXPECT_EQ(Value("AppID\\KIVROPlugin.DLL", "AppID"), kAppId);
  EXPECT_EQ(Value(kCategories + "\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}\\800"),
            "Safe for scripting");
  // The system's registration of the library and of its dual interface.
  EXPECT_TRUE(platform::EqualsNoCase(Value(kLibKey + "\\1.0\\409\\win64"), module));
  EXPECT_TRUE(
      platform::EqualsNoCase(Value(kLibKey + "\\1.0\\HELPDIR"), platform::DirectoryPart(module)));
  EXPECT_EQ(Value(kInterfaceKey), "IKIVROPlugin");
  EXPECT_EQ(Value(kInterfaceKey + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
  // The protocols, the program's path quoted and the URL apart.
  std::string folder = platform::WindowsDirectory() + "\\Downloaded Program Files\\";
  EXPECT_EQ(Value("Zelmora", "URL Protocol"), "");
  EXPECT_EQ(Value("Zelmora\\Shell\\Open\\Command"), "\"" + folder + "KIVROInstaller.exe\" \"%1\"");
  EXPECT_EQ(Value("ZelNoti", "URL Protocol"), "");
  EXPECT_EQ(Value("ZelNoti\\Shell\\Open\\Command"), "\"" + folder + "Pingbell.exe\" \"%1\"");
}

TEST_F(ComServerTest, UnregistrationRemovesItsEntriesButKeepsTheProtocolsAndSharedKeys) {
  ASSERT_EQ(platform::CallModuleEntryPoint(PluginFile(), "DllUnregisterServer"), S_OK);
  for (const std::string& key :
       {kClsidKey, std::string(kProgId), std::string(kVersionedProgId), kLibKey, kInterfaceKey,
        std::string("AppID\\") + kAppId, std::string("AppID\\KIVROPlugin.DLL"),
        kCategories + "\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"}) {
    EXPECT_FALSE(platform::RegistryKeyExists(kCR, key)) << key;
  }
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, kCategories));
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, "AppID"));
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, "Zelmora\\Shell\\Open\\Command"));
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, "ZelNoti\\Shell\\Open\\Command"));
  // The class is gone for the system too.
  void* object = nullptr;
  EXPECT_EQ(platform::CreateInstanceByProgId(kProgId, nullptr, platform::IID_IUnknown, &object),
            CO_E_CLASSSTRING);
  // A second removal stops at the library that is no longer registered
  // (with the system's own code for it).
  EXPECT_TRUE(FAILED(platform::CallModuleEntryPoint(PluginFile(), "DllUnregisterServer")));
}

TEST_F(ComServerTest, ScriptCallsGoThroughTheSystemsDispatchAndTypeInformation) {
  IDispatch* object = Create();
  ASSERT_NE(object, nullptr);
  UINT count = 0;
  ASSERT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(object->GetTypeInfo(0, 0x409, &info), S_OK);
  ASSERT_NE(info, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(platform::GuidToString(attr->guid), "{BFF107DF-E553-4958-8BF4-EBFAFE145A1F}");
  info->ReleaseTypeAttr(attr);
  info->Release();
  EXPECT_EQ(object->GetTypeInfo(1, 0x409, &info), DISP_E_BADINDEX);

  std::string out;
  Bstr text(u"바둑 중계");
  EXPECT_EQ(Call(object, u"curgameinfo", DISPATCH_PROPERTYPUT, text.get(), nullptr), S_OK);
  EXPECT_EQ(Call(object, u"CurGameInfo", DISPATCH_PROPERTYGET, nullptr, &out), S_OK);
  EXPECT_EQ(out, "바둑 중계");
  Bstr missing(u"KIVRO no such mutex");
  EXPECT_EQ(Call(object, u"zms_chkMutex", DISPATCH_METHOD, missing.get(), &out), S_OK);
  EXPECT_EQ(out, "FALSE");
  EXPECT_EQ(Call(object, u"zms_chkDown", DISPATCH_METHOD, nullptr, nullptr), S_OK);
  // The member's failure (-1) travels as the system's exception code.
  HRESULT scode = S_OK;
  Bstr empty(u"");
  EXPECT_EQ(Call(object, u"zms_startGame", DISPATCH_METHOD, empty.get(), nullptr, &scode),
            DISP_E_EXCEPTION);
  EXPECT_EQ(scode, kPluginFailure);
  scode = S_OK;
  EXPECT_EQ(Call(object, u"zms_chkLauncher", DISPATCH_METHOD, nullptr, nullptr, &scode),
            DISP_E_EXCEPTION);
  EXPECT_EQ(scode, kPluginFailure);
  EXPECT_EQ(Call(object, u"zms_startGame", DISPATCH_METHOD, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(object, u"zms_noSuchThing", DISPATCH_METHOD, nullptr, nullptr),
            DISP_E_UNKNOWNNAME);
  object->Release();
}

TEST_F(ComServerTest, TheClassObjectRewritesTheProtocolsBeforeLookingAtItsArguments) {
  ASSERT_TRUE(platform::RegistryDeleteTree(kCR, "Zelmora"));
  const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(get_class_object_(other, platform::IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, "Zelmora\\Shell\\Open\\Command"));
  EXPECT_EQ(get_class_object_(CLSID_KIVROPlugin, platform::IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(get_class_object_(CLSID_KIVROPlugin, platform::IID_IDispatch, &object), E_NOINTERFACE);
}

TEST_F(ComServerTest, ObjectsAndServerLocksHoldTheModule) {
  ASSERT_EQ(can_unload_(), S_OK);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(get_class_object_(CLSID_KIVROPlugin, platform::IID_IClassFactory,
                              reinterpret_cast<void**>(&factory)),
            S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(can_unload_(), S_FALSE);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(can_unload_(), S_OK);
  IDispatch* object = Create();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(can_unload_(), S_FALSE);
  object->Release();
  EXPECT_EQ(can_unload_(), S_OK);
  factory->Release();
}

// An outer object that counts its own references and hands every other
// request to the plug-in inside it.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == platform::IID_IUnknown) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner != nullptr ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  IUnknown* inner = nullptr;
  ULONG references = 1;
};

TEST_F(ComServerTest, TheSystemAggregatesTheObjectInAnOuterOne) {
  Outer outer;
  void* inner = nullptr;
  ASSERT_EQ(platform::CreateInstance(CLSID_KIVROPlugin, &outer, platform::IID_IUnknown, &inner),
            S_OK);
  outer.inner = static_cast<IUnknown*>(inner);
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(outer.QueryInterface(platform::IID_IDispatch, reinterpret_cast<void**>(&dispatch)),
            S_OK);
  EXPECT_EQ(outer.references, 2u);  // the plug-in's interfaces count on the outer object
  // Its IUnknown from any of its interfaces is the outer one.
  IUnknown* identity = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(platform::IID_IUnknown, reinterpret_cast<void**>(&identity)),
            S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  dispatch->Release();
  EXPECT_EQ(outer.references, 1u);
  EXPECT_EQ(outer.inner->Release(), 0u);
  // Aggregation hands out only the inner IUnknown.
  void* refused = nullptr;
  EXPECT_EQ(platform::CreateInstance(CLSID_KIVROPlugin, &outer, platform::IID_IDispatch, &refused),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(can_unload_(), S_OK);
}

TEST_F(ComServerTest, ObjectSafetyKeepsOnlyTheTwoKnownOptions) {
  IDispatch* object = Create();
  ASSERT_NE(object, nullptr);
  IObjectSafety* safety = nullptr;
  ASSERT_EQ(object->QueryInterface(platform::IID_IObjectSafety, reinterpret_cast<void**>(&safety)),
            S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(platform::IID_IDispatch, 4, 4), E_FAIL);
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(platform::IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(platform::IID_IDispatch, 3, 1), S_OK);
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(platform::IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 1u);
  const IID unknown_interface = {0x11111111, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(unknown_interface, 1, 1), E_NOINTERFACE);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(unknown_interface, &supported, &enabled),
            E_NOINTERFACE);
  EXPECT_EQ(supported, 0u);
  safety->Release();
  object->Release();
}

}  // namespace
}  // namespace kivro::plugin
