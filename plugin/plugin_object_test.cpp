// The scriptable object's operations, called on an object made in this
// process (the plug-in file itself is exercised in the registration tests).
#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/shared_memory.h"
#include "platform/top_windows.h"
#include "platform/testing/top_windows_testing.h"
#include "plugin/game_info_text.h"
#include "plugin/kivro_plugin_object.h"
#include "plugin/plugin_test_support.h"

namespace kivro::plugin {
namespace {

class PluginObjectTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ClearGameInfoText();
    ASSERT_EQ(CKIVROPlugin::Create(nullptr, IID_IKIVROPlugin, reinterpret_cast<void**>(&plugin_)),
              S_OK);
  }
  void TearDown() override {
    if (plugin_) plugin_->Release();
    PluginTest::TearDown();
  }
  std::string GameInfo() {
    Bstr value;
    EXPECT_EQ(plugin_->get_CurGameInfo(value.out()), S_OK);
    return platform::Utf16ToCp949(value.text());
  }
  IKIVROPlugin* plugin_ = nullptr;
};

TEST_F(PluginObjectTest, AnswersExactlyItsFourInterfaces) {
  void* p = nullptr;
  ASSERT_EQ(plugin_->QueryInterface(platform::IID_IDispatch, &p), S_OK);
  EXPECT_EQ(p, static_cast<void*>(plugin_));  // the same entry as IKIVROPlugin
  plugin_->Release();
  ASSERT_EQ(plugin_->QueryInterface(platform::IID_IObjectSafety, &p), S_OK);
  static_cast<platform::IUnknown*>(p)->Release();
  ASSERT_EQ(plugin_->QueryInterface(platform::IID_IUnknown, &p), S_OK);
  static_cast<platform::IUnknown*>(p)->Release();
  EXPECT_EQ(plugin_->QueryInterface(platform::IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(plugin_->QueryInterface(platform::IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(PluginObjectTest, HoldsTheModuleWhileItLives) {
  long with_one = ModuleLockCount();
  EXPECT_GE(with_one, 1);
  plugin_->Release();
  plugin_ = nullptr;
  EXPECT_EQ(ModuleLockCount(), with_one - 1);
}

TEST_F(PluginObjectTest, ChkDownDoesNothing) { EXPECT_EQ(plugin_->zms_chkDown(), S_OK); }

TEST_F(PluginObjectTest, StartGameWithNoTextStartsNothing) {
  PlaceRecorder(WindowsFolder(), "KIVROInstaller.exe", "installer.log");
  EXPECT_EQ(plugin_->zms_startGame(nullptr), kPluginFailure);
  Bstr empty(u"");
  EXPECT_EQ(plugin_->zms_startGame(empty.get()), kPluginFailure);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(Exists(Root() + "/installer.log"));
}

TEST_F(PluginObjectTest, StartGameRunsTheInstallerWithoutArgumentsAndWaitsForIt) {
  PlaceRecorder(WindowsFolder(), "KIVROInstaller.exe", "installer.log", 300);
  Bstr text(u"any text at all");
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(plugin_->zms_startGame(text.get()), S_OK);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(280));
  // Written just before the program ended: the call returned after that.
  EXPECT_EQ(Read(Root() + "/installer.log"), "0\n");
}

TEST_F(PluginObjectTest, StartGameFailsWhenTheInstallerIsMissing) {
  Bstr text(u"x");
  EXPECT_EQ(plugin_->zms_startGame(text.get()), kPluginFailure);
}

TEST_F(PluginObjectTest, StartNotifyRunsTheNotifierOrFailsWithoutIt) {
  Bstr text(u"x");
  EXPECT_EQ(plugin_->zms_startNotify(text.get()), kPluginFailure);
  EXPECT_EQ(plugin_->zms_startNotify(nullptr), kPluginFailure);
  PlaceRecorder(WindowsFolder(), "Pingbell.exe", "notifier.log", 100);
  ASSERT_EQ(plugin_->zms_startNotify(text.get()), S_OK);
  EXPECT_EQ(Read(Root() + "/notifier.log"), "0\n");
}

TEST_F(PluginObjectTest, StartGameUsesAnotherWindowsDirectoryWithBlanks) {
  setenv("KIVRO_WINDIR", "E:\\My Windows", 1);
  std::string folder = WindowsFolder();
  // A program named after the first word must never be the one started.
  PlaceRecorder(platform::ToPosixPath("E:\\"), "My", "hijack.log");
  PlaceRecorder(platform::ToPosixPath("E:\\"), "My.exe", "hijack.log");
  PlaceRecorder(folder, "KIVROInstaller.exe", "installer.log");
  Bstr text(u"x");
  EXPECT_EQ(plugin_->zms_startGame(text.get()), S_OK);
  unsetenv("KIVRO_WINDIR");
  EXPECT_EQ(Read(Root() + "/installer.log"), "0\n");
  EXPECT_FALSE(Exists(Root() + "/hijack.log"));
}

TEST_F(PluginObjectTest, AWindowsDirectoryLongerThanItsBufferIsRefused) {
  // 259 characters fit the 260-byte buffer; one more does not, and a cut
  // path would name another program, so nothing is started.
  std::string fits = "E:";
  while (fits.size() < 259) fits += "\\" + std::string(std::min<size_t>(60, 258 - fits.size()), 'w');
  std::string too_long = fits + "w";
  ASSERT_EQ(fits.size(), 259u);
  Bstr text(u"x");
  setenv("KIVRO_WINDIR", fits.c_str(), 1);
  PlaceRecorder(WindowsFolder(), "KIVROInstaller.exe", "fits.log");
  EXPECT_EQ(plugin_->zms_startGame(text.get()), S_OK);
  setenv("KIVRO_WINDIR", too_long.c_str(), 1);
  PlaceRecorder(WindowsFolder(), "KIVROInstaller.exe", "too_long.log");
  EXPECT_EQ(plugin_->zms_startGame(text.get()), kPluginFailure);
  unsetenv("KIVRO_WINDIR");
  EXPECT_TRUE(Exists(Root() + "/fits.log"));
  EXPECT_FALSE(Exists(Root() + "/too_long.log"));
}

TEST_F(PluginObjectTest, CurGameInfoKeepsAtMost511BytesAndIgnoresNull) {
  std::u16string long_text;
  for (int i = 0; i < 600; ++i) long_text.push_back(static_cast<char16_t>('a' + i % 26));
  Bstr value(long_text);
  ASSERT_EQ(plugin_->put_CurGameInfo(value.get()), S_OK);
  std::string back = GameInfo();
  ASSERT_EQ(back.size(), 511u);
  EXPECT_EQ(back, platform::Utf16ToCp949(long_text.substr(0, 511)));
  EXPECT_EQ(plugin_->put_CurGameInfo(nullptr), S_OK);
  EXPECT_EQ(GameInfo().size(), 511u);
  Bstr empty(u"");
  ASSERT_EQ(plugin_->put_CurGameInfo(empty.get()), S_OK);
  EXPECT_EQ(GameInfo(), "");
}

TEST_F(PluginObjectTest, CurGameInfoCarriesKoreanThroughCodePage949) {
  Bstr value(u"대국 중");
  ASSERT_EQ(plugin_->put_CurGameInfo(value.get()), S_OK);
  EXPECT_EQ(GameInfo(), platform::Utf8ToCp949("대국 중"));
  Bstr back;
  ASSERT_EQ(plugin_->get_CurGameInfo(back.out()), S_OK);
  EXPECT_EQ(back.text(), u"대국 중");
}

TEST_F(PluginObjectTest, TheTextIsSharedByAllObjectsAndOutlivesThem) {
  IKIVROPlugin* second = nullptr;
  ASSERT_EQ(CKIVROPlugin::Create(nullptr, IID_IKIVROPlugin, reinterpret_cast<void**>(&second)),
            S_OK);
  Bstr value(u"shared");
  ASSERT_EQ(plugin_->put_CurGameInfo(value.get()), S_OK);
  Bstr back;
  ASSERT_EQ(second->get_CurGameInfo(back.out()), S_OK);
  EXPECT_EQ(back.text(), u"shared");
  second->Release();
  plugin_->Release();
  ASSERT_EQ(CKIVROPlugin::Create(nullptr, IID_IKIVROPlugin, reinterpret_cast<void**>(&plugin_)),
            S_OK);
  EXPECT_EQ(GameInfo(), "shared");
}

TEST_F(PluginObjectTest, NullOutPointersAnswerEPointer) {
  EXPECT_EQ(plugin_->get_CurGameInfo(nullptr), E_POINTER);
  Bstr name(u"x");
  EXPECT_EQ(plugin_->zms_chkMutex(name.get(), nullptr), E_POINTER);
  uint32_t value = 0;
  platform::IObjectSafety* safety = nullptr;
  ASSERT_EQ(plugin_->QueryInterface(platform::IID_IObjectSafety, reinterpret_cast<void**>(&safety)),
            S_OK);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(platform::IID_IDispatch, nullptr, &value), E_POINTER);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(platform::IID_IDispatch, &value, nullptr), E_POINTER);
  safety->Release();
  EXPECT_EQ(plugin_->GetTypeInfoCount(nullptr), E_POINTER);
}

TEST_F(PluginObjectTest, ChkMutexAnswersTrueOnlyForAMutexHeldElsewhere) {
  platform::Process holder;
  ASSERT_TRUE(StartHolder(&holder, {"mutex", "Gobanvista_Mutex"}));
  Bstr name(u"Gobanvista_Mutex"), other(u"Other_Mutex"), answer;
  ASSERT_EQ(plugin_->zms_chkMutex(name.get(), answer.out()), S_OK);
  EXPECT_EQ(answer.text(), u"TRUE");
  ASSERT_EQ(plugin_->zms_chkMutex(other.get(), answer.out()), S_OK);
  EXPECT_EQ(answer.text(), u"FALSE");
  ASSERT_EQ(plugin_->zms_chkMutex(nullptr, answer.out()), S_OK);
  EXPECT_EQ(answer.text(), u"FALSE");
  holder.Terminate();
  ASSERT_EQ(plugin_->zms_chkMutex(name.get(), answer.out()), S_OK);
  EXPECT_EQ(answer.text(), u"FALSE");  // asking never created it
  ASSERT_EQ(plugin_->zms_chkMutex(name.get(), answer.out()), S_OK);
  EXPECT_EQ(answer.text(), u"FALSE");
}

TEST_F(PluginObjectTest, ObjectSafetyStoresOnlyTheTwoKnownOptions) {
  platform::IObjectSafety* safety = nullptr;
  ASSERT_EQ(plugin_->QueryInterface(platform::IID_IObjectSafety, reinterpret_cast<void**>(&safety)),
            S_OK);
  uint32_t supported = 99, enabled = 99;
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(platform::IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(platform::IID_IDispatch, 4, 4), E_FAIL);
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(platform::IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 0u);  // unchanged
  ASSERT_EQ(safety->SetInterfaceSafetyOptions(platform::IID_IDispatch, 3, 1), S_OK);
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IKIVROPlugin, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3u);
  EXPECT_EQ(enabled, 1u);
  // Only the bits in the mask change.
  ASSERT_EQ(safety->SetInterfaceSafetyOptions(platform::IID_IDispatch, 2, 3), S_OK);
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(platform::IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 3u);
  // An interface the object does not answer.
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(platform::IID_IClassFactory, 1, 1), E_NOINTERFACE);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(platform::IID_IClassFactory, &supported, &enabled),
            E_NOINTERFACE);
  EXPECT_EQ(supported, 0u);
  EXPECT_EQ(enabled, 0u);
  safety->Release();
}

// An outer object that counts what reaches it.
class Outer final : public platform::IUnknown {
 public:
  HRESULT QueryInterface(const platform::IID& iid, void** object) override {
    ++queries;
    if (iid == platform::IID_IUnknown) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  platform::IUnknown* inner = nullptr;
  int queries = 0;
  uint32_t references = 1;
};

TEST_F(PluginObjectTest, CanBeAggregated) {
  Outer outer;
  void* p = nullptr;
  EXPECT_EQ(CKIVROPlugin::Create(&outer, IID_IKIVROPlugin, &p), CLASS_E_NOAGGREGATION);
  ASSERT_EQ(CKIVROPlugin::Create(&outer, platform::IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  IKIVROPlugin* plugin = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IKIVROPlugin, reinterpret_cast<void**>(&plugin)), S_OK);
  // The inner object's interfaces count references on the outer object.
  uint32_t before = outer.references;
  plugin->AddRef();
  EXPECT_EQ(outer.references, before + 1);
  plugin->Release();
  int queries = outer.queries;
  void* again = nullptr;
  ASSERT_EQ(plugin->QueryInterface(platform::IID_IUnknown, &again), S_OK);
  EXPECT_EQ(again, &outer);
  EXPECT_EQ(outer.queries, queries + 1);
  outer.Release();
  EXPECT_EQ(plugin->zms_chkDown(), S_OK);
  plugin->Release();
  long locks = ModuleLockCount();
  outer.inner->Release();  // the inner object's own count ends it
  EXPECT_EQ(ModuleLockCount(), locks - 1);
}

TEST_F(PluginObjectTest, ScriptCallsGoThroughIDispatchByName) {
  char16_t name[] = u"curgameinfo";
  char16_t* names[] = {name};
  platform::DISPID id = 0;
  ASSERT_EQ(plugin_->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), S_OK);
  EXPECT_EQ(id, 6);
  platform::VARIANT arg;
  arg.vt = VT_BSTR;
  arg.bstrVal = platform::SysAllocString(u"by script");
  platform::DISPID put = DISPID_PROPERTYPUT;
  platform::DISPPARAMS put_params{&arg, &put, 1, 1};
  ASSERT_EQ(plugin_->Invoke(6, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put_params,
                            nullptr, nullptr, nullptr),
            S_OK);
  platform::VariantClear(&arg);
  platform::VARIANT result;
  platform::DISPPARAMS none;
  ASSERT_EQ(plugin_->Invoke(6, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                            &result, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(platform::BstrToUtf16(result.bstrVal), u"by script");
  platform::VariantClear(&result);
  Bstr bstr(u"x");
  platform::VARIANT game_arg;
  game_arg.vt = VT_BSTR;
  game_arg.bstrVal = bstr.get();
  platform::DISPPARAMS one{&game_arg, nullptr, 1, 0};
  EXPECT_EQ(plugin_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr,
                            nullptr, nullptr),
            kPluginFailure);  // no installer here: the method's own failure
  EXPECT_EQ(plugin_->Invoke(3, platform::IID_IDispatch, 0, DISPATCH_METHOD, &one, nullptr,
                            nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  uint32_t count = 0;
  ASSERT_EQ(plugin_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
}

// ---- operations that look at the desktop ----------------------------

class PluginDesktopTest : public PluginObjectTest {
 protected:
  static void SetUpTestSuite() {
    server_ = platform::StartSuiteXServer();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "Xvfb is not available";
    PluginObjectTest::SetUp();
  }
  static platform::PrivateXServer* server_;
};
platform::PrivateXServer* PluginDesktopTest::server_ = nullptr;

TEST_F(PluginDesktopTest, ChkLauncherFailsWithoutTheLauncherWindow) {
  EXPECT_EQ(plugin_->zms_chkLauncher(), kPluginFailure);
}

TEST_F(PluginDesktopTest, ChkLauncherReturnsAfterTheLauncherHandledItsMessage) {
  platform::TestWindowProgram launcher;
  ASSERT_TRUE(launcher.Start("Zelmora_Launcher", {}, Root() + "/launcher.log"));
  EXPECT_EQ(plugin_->zms_chkLauncher(), S_OK);
  EXPECT_EQ(Read(Root() + "/launcher.log"), "1135 0 0\n");  // 0x046F, both parameters 0
}

TEST_F(PluginDesktopTest, SearchZelmoraWithoutThePropertyLeavesTheTextEmpty) {
  platform::Process holder;
  ASSERT_TRUE(StartHolder(&holder, {"section", "ZM_Property", "not for us"}));
  platform::TestWindowProgram window;
  ASSERT_TRUE(window.Start("no property", {"Other=1"}, Root() + "/w.log"));
  Bstr old_text(u"old");
  ASSERT_EQ(plugin_->put_CurGameInfo(old_text.get()), S_OK);
  EXPECT_EQ(plugin_->SearchZelmora(), S_OK);
  EXPECT_EQ(GameInfo(), "");
}

TEST_F(PluginDesktopTest, SearchZelmoraReadsTheSectionOnceAWindowCarriesTheProperty) {
  platform::Process holder;
  ASSERT_TRUE(StartHolder(&holder, {"section", "ZM_Property", "room=7;black=lee"}));
  platform::TestWindowProgram zero, game;
  ASSERT_TRUE(zero.Start("zero", {"Zelmora=0"}, Root() + "/zero.log"));  // zero is no property
  EXPECT_EQ(plugin_->SearchZelmora(), S_OK);
  EXPECT_EQ(GameInfo(), "");
  ASSERT_TRUE(game.Start("game client", {"Zelmora=1"}, Root() + "/game.log"));
  EXPECT_EQ(plugin_->SearchZelmora(), S_OK);
  EXPECT_EQ(GameInfo(), "room=7;black=lee");
}

TEST_F(PluginDesktopTest, SearchZelmoraWithNobodyHoldingTheSectionFindsAnEmptyText) {
  platform::TestWindowProgram game;
  ASSERT_TRUE(game.Start("game client", {"Zelmora=1"}, Root() + "/game.log"));
  Bstr old_text(u"old");
  ASSERT_EQ(plugin_->put_CurGameInfo(old_text.get()), S_OK);
  EXPECT_EQ(plugin_->SearchZelmora(), S_OK);
  EXPECT_EQ(GameInfo(), "");
}

TEST_F(PluginDesktopTest, SearchZelmoraCutsAnUnterminatedSectionAt511Bytes) {
  platform::Process holder;
  ASSERT_TRUE(StartHolder(&holder, {"section", "ZM_Property", std::string(600, 'z')}));
  {
    // Fill the last byte too, so the section holds no terminator at all.
    platform::SharedMemory section;
    ASSERT_TRUE(section.CreateOrOpen("ZM_Property", 512));
    static_cast<char*>(section.Map())[511] = 'z';
  }
  platform::TestWindowProgram game;
  ASSERT_TRUE(game.Start("game client", {"Zelmora=1"}, Root() + "/game.log"));
  EXPECT_EQ(plugin_->SearchZelmora(), S_OK);
  EXPECT_EQ(GameInfo(), std::string(511, 'z'));
}

}  // namespace
}  // namespace kivro::plugin
