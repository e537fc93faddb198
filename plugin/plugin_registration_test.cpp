// The plug-in file's entry points, loaded as a host loads them: registration
// and removal key by key, the class object, the unload check, creation by
// ProgID and the URL protocols through the desktop's link handler.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/codepage.h"
#include "platform/com_create.h"
#include "platform/dynlib.h"
#include "platform/paths.h"
#include "platform/process_scheme_handler.h"
#include "platform/registry.h"
#include "plugin/kivro_plugin_interface.h"
#include "plugin/plugin_test_support.h"
#include "plugin/registry_keys_testing.h"

namespace kivro::plugin {
namespace {

const std::string kScripting = kCategories + "\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
const std::string kInitializing = kCategories + "\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

class PluginRegistrationTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    module_ = platform::ToWindowsPath(KIVRO_PLUGIN_FILE);
    ASSERT_TRUE(library_.Load(module_)) << library_.LoadError();
    get_class_object_ =
        reinterpret_cast<platform::DllGetClassObjectFunction>(library_.Find("DllGetClassObject"));
    can_unload_ =
        reinterpret_cast<platform::DllCanUnloadNowFunction>(library_.Find("DllCanUnloadNow"));
    ASSERT_NE(get_class_object_, nullptr);
    ASSERT_NE(can_unload_, nullptr);
  }
  HRESULT Register() { return platform::CallModuleEntryPoint(module_, "DllRegisterServer"); }
  HRESULT Unregister() { return platform::CallModuleEntryPoint(module_, "DllUnregisterServer"); }
  std::string Command(const std::string& program) {
    return "\"" + platform::WindowsDirectory() + "\\Downloaded Program Files\\" + program +
           "\" \"%1\"";
  }

  std::string module_;
  platform::DynamicLibrary library_;
  platform::DllGetClassObjectFunction get_class_object_ = nullptr;
  platform::DllCanUnloadNowFunction can_unload_ = nullptr;
};

TEST_F(PluginRegistrationTest, RegisterWritesTheProtocolEntries) {
  ASSERT_EQ(Register(), S_OK);
  EXPECT_EQ(Value("Zelmora", "URL Protocol"), "");
  EXPECT_EQ(Value("Zelmora"), "<missing>");  // no description
  EXPECT_EQ(Value("Zelmora\\Shell\\Open\\Command"), Command("KIVROInstaller.exe"));
  EXPECT_EQ(Value("ZelNoti", "URL Protocol"), "");
  EXPECT_EQ(Value("ZelNoti"), "<missing>");
  EXPECT_EQ(Value("ZelNoti\\Shell\\Open\\Command"), Command("Pingbell.exe"));
  EXPECT_TRUE(Exists(platform::UrlSchemeHandlerPath("Zelmora")));
  EXPECT_TRUE(Exists(platform::UrlSchemeHandlerPath("ZelNoti")));
}

TEST_F(PluginRegistrationTest, AProtocolWithoutARoomyWindowsDirectoryGetsNoCommand) {
  std::string too_long = "E:";
  while (too_long.size() < 260) too_long += "\\" + std::string(60, 'w');
  setenv("KIVRO_WINDIR", too_long.c_str(), 1);
  HRESULT hr = Register();
  unsetenv("KIVRO_WINDIR");
  ASSERT_EQ(hr, S_OK);  // the protocols' outcome is not registration's
  EXPECT_EQ(Value("Zelmora", "URL Protocol"), "");
  EXPECT_FALSE(platform::RegistryKeyExists(kCR, "Zelmora\\Shell\\Open\\Command"));
  EXPECT_FALSE(Exists(platform::UrlSchemeHandlerPath("Zelmora")));
}

TEST_F(PluginRegistrationTest, RegisterWritesTheApplicationAndClassEntries) {
  ASSERT_EQ(Register(), S_OK);
  const std::string clsid = "{3610C74F-5D10-4690-9556-14A6563095AE}";
  EXPECT_EQ(Value("AppID\\" + clsid), "KIVROPlugin");
  EXPECT_EQ(Value("AppID\\KIVROPlugin.DLL", "AppID"), clsid);
  EXPECT_EQ(Value("KIVROPlugin.KIVROPlugin.1"), "KIVROPlugin Class");
  EXPECT_EQ(Value("KIVROPlugin.KIVROPlugin.1\\CLSID"), clsid);
  EXPECT_EQ(Value("KIVROPlugin.KIVROPlugin"), "KIVROPlugin Class");
  EXPECT_EQ(Value("KIVROPlugin.KIVROPlugin\\CLSID"), clsid);
  EXPECT_EQ(Value("KIVROPlugin.KIVROPlugin\\CurVer"), "KIVROPlugin.KIVROPlugin.1");
  EXPECT_EQ(Value(kScripting), "0");
  EXPECT_EQ(Value(kScripting + "\\800"), "Safe for scripting");
  EXPECT_EQ(Value(kInitializing), "0");
  EXPECT_EQ(Value(kInitializing + "\\800"), "Safe for initializing");
  EXPECT_EQ(Value(kClsidKey), "KIVROPlugin Class");
  EXPECT_EQ(Value(kClsidKey + "\\ProgID"), "KIVROPlugin.KIVROPlugin.1");
  EXPECT_EQ(Value(kClsidKey + "\\VersionIndependentProgID"), "KIVROPlugin.KIVROPlugin");
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, kClsidKey + "\\Programmable"));
  EXPECT_TRUE(platform::RegistryValueNames(kCR, kClsidKey + "\\Programmable").empty());
  EXPECT_EQ(Value(kClsidKey + "\\InprocServer32"), module_);
  EXPECT_EQ(Value(kClsidKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Value(kClsidKey, "AppID"), clsid);
  EXPECT_EQ(Value(kClsidKey + "\\TypeLib"), "{A34AFA32-EA9D-4355-921C-DBDF5B6EF933}");
}

TEST_F(PluginRegistrationTest, RegisterWritesTheTypeLibrary) {
  ASSERT_EQ(Register(), S_OK);
  EXPECT_EQ(Value(kLibKey + "\\1.0"), platform::Utf8ToCp949("KIVROPlugin 1.0 형식 라이브러리"));
  EXPECT_EQ(Value(kLibKey + "\\1.0\\409\\" + (sizeof(void*) == 8 ? "win64" : "win32")), module_);
  EXPECT_EQ(Value(kLibKey + "\\1.0\\FLAGS"), "0");
  EXPECT_EQ(Value(kLibKey + "\\1.0\\HELPDIR"), platform::DirectoryPart(module_));
  EXPECT_EQ(Value(kInterfaceKey), "IKIVROPlugin");
  EXPECT_EQ(Value(kInterfaceKey + "\\TypeLib"), "{A34AFA32-EA9D-4355-921C-DBDF5B6EF933}");
}

TEST_F(PluginRegistrationTest, RegisteringAgainClearsTheOldClassTree) {
  ASSERT_EQ(Register(), S_OK);
  ASSERT_TRUE(platform::RegistrySetString(kCR, kClsidKey + "\\Stale", "", "old"));
  ASSERT_TRUE(platform::RegistrySetString(kCR, kClsidKey + "\\Programmable\\Old", "", "old"));
  ASSERT_EQ(Register(), S_OK);
  EXPECT_FALSE(platform::RegistryKeyExists(kCR, kClsidKey + "\\Stale"));
  EXPECT_FALSE(platform::RegistryKeyExists(kCR, kClsidKey + "\\Programmable\\Old"));
  EXPECT_EQ(Value(kClsidKey + "\\InprocServer32"), module_);
}

TEST_F(PluginRegistrationTest, UnregisterRemovesItsEntriesButKeepsSharedKeysAndProtocols) {
  ASSERT_TRUE(platform::RegistrySetString(kCR, "CLSID\\{00000000-1111-2222-3333-444444444444}", "",
                                          "someone else"));
  ASSERT_EQ(Register(), S_OK);
  ASSERT_EQ(Unregister(), S_OK);
  for (const std::string& gone :
       {std::string("KIVROPlugin.KIVROPlugin.1"), std::string("KIVROPlugin.KIVROPlugin"), kClsidKey,
        kScripting, kInitializing, std::string("AppID\\{3610C74F-5D10-4690-9556-14A6563095AE}"),
        std::string("AppID\\KIVROPlugin.DLL"), kLibKey, kInterfaceKey}) {
    EXPECT_FALSE(platform::RegistryKeyExists(kCR, gone)) << gone;
  }
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, "CLSID"));
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, kCategories));
  EXPECT_TRUE(platform::RegistryKeyExists(kCR, "AppID"));
  EXPECT_EQ(Value("CLSID\\{00000000-1111-2222-3333-444444444444}"), "someone else");
  EXPECT_EQ(Value("Zelmora\\Shell\\Open\\Command"), Command("KIVROInstaller.exe"));
  EXPECT_EQ(Value("ZelNoti\\Shell\\Open\\Command"), Command("Pingbell.exe"));
  EXPECT_TRUE(Exists(platform::UrlSchemeHandlerPath("Zelmora")));
}

TEST_F(PluginRegistrationTest, UnregisterTwiceStopsAtTheMissingTypeLibrary) {
  ASSERT_EQ(Register(), S_OK);
  ASSERT_EQ(Unregister(), S_OK);
  EXPECT_EQ(Unregister(), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(PluginRegistrationTest, GetClassObjectRewritesDeletedProtocolsBeforeCheckingArguments) {
  ASSERT_EQ(Register(), S_OK);
  ASSERT_TRUE(platform::RegistryDeleteTree(kCR, "Zelmora"));
  ASSERT_TRUE(platform::RegistryDeleteTree(kCR, "ZelNoti"));
  EXPECT_EQ(get_class_object_(&CLSID_KIVROPlugin, &platform::IID_IClassFactory, nullptr),
            E_POINTER);
  EXPECT_EQ(Value("Zelmora\\Shell\\Open\\Command"), Command("KIVROInstaller.exe"));
  EXPECT_EQ(Value("ZelNoti", "URL Protocol"), "");

  ASSERT_TRUE(platform::RegistryDeleteTree(kCR, "Zelmora"));
  void* factory = reinterpret_cast<void*>(1);
  EXPECT_EQ(get_class_object_(&IID_IKIVROPlugin, &platform::IID_IClassFactory, &factory),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(Value("Zelmora\\Shell\\Open\\Command"), Command("KIVROInstaller.exe"));
}

TEST_F(PluginRegistrationTest, ClassObjectIsCachedAndAnswersOnlyItsInterfaces) {
  platform::IClassFactory* first = nullptr;
  platform::IClassFactory* second = nullptr;
  ASSERT_EQ(get_class_object_(&CLSID_KIVROPlugin, &platform::IID_IClassFactory,
                              reinterpret_cast<void**>(&first)),
            S_OK);
  ASSERT_EQ(get_class_object_(&CLSID_KIVROPlugin, &platform::IID_IUnknown,
                              reinterpret_cast<void**>(&second)),
            S_OK);
  EXPECT_EQ(static_cast<void*>(first), static_cast<void*>(second));
  void* none = nullptr;
  EXPECT_EQ(get_class_object_(&CLSID_KIVROPlugin, &platform::IID_IDispatch, &none), E_NOINTERFACE);
  first->Release();
  second->Release();
}

TEST_F(PluginRegistrationTest, CanUnloadOnlyWhenNoObjectAndNoLockRemain) {
  ASSERT_EQ(Register(), S_OK);
  EXPECT_EQ(can_unload_(), S_OK);
  platform::IDispatch* object = nullptr;
  ASSERT_EQ(platform::CreateInstanceByProgId(kProgId, nullptr, platform::IID_IDispatch,
                                             reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(can_unload_(), S_FALSE);
  object->Release();
  EXPECT_EQ(can_unload_(), S_OK);
  platform::IClassFactory* factory = nullptr;
  ASSERT_EQ(get_class_object_(&CLSID_KIVROPlugin, &platform::IID_IClassFactory,
                              reinterpret_cast<void**>(&factory)),
            S_OK);
  factory->LockServer(true);
  EXPECT_EQ(can_unload_(), S_FALSE);
  factory->LockServer(false);
  EXPECT_EQ(can_unload_(), S_OK);
  factory->Release();
}

TEST_F(PluginRegistrationTest, ObjectsAreMadeByEitherProgIdOnlyOnceRegistered) {
  void* object = nullptr;
  EXPECT_EQ(platform::CreateInstanceByProgId(kProgId, nullptr, platform::IID_IDispatch, &object),
            CO_E_CLASSSTRING);
  ASSERT_EQ(Register(), S_OK);
  for (const char* progid : {kProgId, kVersionedProgId}) {
    IKIVROPlugin* plugin = nullptr;
    ASSERT_EQ(platform::CreateInstanceByProgId(progid, nullptr, IID_IKIVROPlugin,
                                               reinterpret_cast<void**>(&plugin)),
              S_OK);
    EXPECT_EQ(plugin->zms_chkDown(), S_OK);
    plugin->Release();
  }
}

// A page opens "Zelmora:..." and the desktop's link handler starts the
// launcher from Downloaded Program Files with the URL as its only argument.
// The launcher here is a stand-in of ours that records what it was given.
TEST_F(PluginRegistrationTest, ProtocolLinksStartTheProgramsWithTheUrl) {
  if (std::system("command -v gio >/dev/null 2>&1") != 0) GTEST_SKIP() << "gio is not installed";
  std::string folder =
      platform::ToPosixPath(platform::WindowsDirectory() + "\\Downloaded Program Files");
  PlaceRecorder(folder, "KIVROInstaller.exe", "launcher.log");
  PlaceRecorder(folder, "Pingbell.exe", "notifier.log");
  ASSERT_EQ(Register(), S_OK);
  const std::string game_url = "Zelmora://start game?id=12&name=a b";
  const std::string notify_url = "ZelNoti:ping";
  ASSERT_EQ(std::system(("env XDG_DATA_DIRS=/usr/share gio open '" + game_url + "'").c_str()), 0);
  ASSERT_EQ(std::system(("env XDG_DATA_DIRS=/usr/share gio open '" + notify_url + "'").c_str()), 0);
  for (int i = 0;
       i < 500 && !(Exists(Root() + "/launcher.log") && Exists(Root() + "/notifier.log")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(Read(Root() + "/launcher.log"), "1\n" + game_url + "\n");
  EXPECT_EQ(Read(Root() + "/notifier.log"), "1\n" + notify_url + "\n");
}

}  // namespace
}  // namespace kivro::plugin
