// Objects made through the registry by a client of COM. Windows brings
// components of its own (MSXML 3.0 since Windows XP, and in every Wine
// prefix); the POSIX emulation has none until a module of ours registers.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "platform/com.h"
#include "platform/com_create.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "platform/testing/system_kind.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

constexpr bool kSystemComponents = testing_support::kOnWindows;
constexpr char kSystemComponent[] = "MSXML2.DOMDocument.3.0";

// What creating `progid` answers on a fresh thread, inside an apartment of
// it or not.
HRESULT CreateOnFreshThread(const std::string& progid, bool in_apartment) {
  HRESULT hr = E_UNEXPECTED;
  std::thread([&] {
    auto create = [&] {
      void* object = nullptr;
      hr = CreateInstanceByProgId(progid, nullptr, IID_IUnknown, &object);
      if (Succeeded(hr) && object == nullptr) hr = E_POINTER;
      if (object != nullptr) static_cast<IUnknown*>(object)->Release();
    };
    if (in_apartment) {
      ComApartment apartment;
      EXPECT_TRUE(apartment.Entered());
      create();
    } else {
      create();
    }
  }).join();
  return hr;
}

TEST(ComClientTest, ASystemComponentIsMadeInsideAnApartment) {
  HRESULT hr = CreateOnFreshThread(kSystemComponent, true);
  if (kSystemComponents) {
    EXPECT_EQ(hr, S_OK);
    CLSID clsid;
    ASSERT_EQ(ClsidFromProgId(kSystemComponent, &clsid), S_OK);
    EXPECT_EQ(GuidToString(clsid), "{F5078F32-C551-11D3-89B9-0000F81FE221}");
  } else {
    EXPECT_EQ(hr, CO_E_CLASSSTRING);
  }
}

TEST(ComClientTest, WindowsMakesNothingOutsideAnApartment) {
  constexpr HRESULT kNotInitialized = MakeHresult(0x800401F0);  // CO_E_NOTINITIALIZED
  HRESULT hr = CreateOnFreshThread(kSystemComponent, false);
  EXPECT_EQ(hr, kSystemComponents ? kNotInitialized : CO_E_CLASSSTRING);
}

TEST(ComClientTest, ApartmentsNestAndOutliveTheInnerOne) {
  std::thread([] {
    ComApartment outer;
    ASSERT_TRUE(outer.Entered());
    { ComApartment inner; EXPECT_TRUE(inner.Entered()); }
    // The thread is still in the outer apartment.
    void* object = nullptr;
    HRESULT hr = CreateInstanceByProgId(kSystemComponent, nullptr, IID_IUnknown, &object);
    EXPECT_EQ(hr, kSystemComponents ? S_OK : CO_E_CLASSSTRING);
    if (object != nullptr) static_cast<IUnknown*>(object)->Release();
  }).join();
}

TEST(ComClientTest, UnknownAndMalformedProgIdsAreClassStringErrors) {
  ComApartment apartment;
  CLSID clsid;
  for (const char* progid : {"Kivro.NoSuchThing.1", "", "A\\B", "{F5078F32-C551-11D3-89B9-0000F81FE221}"}) {
    EXPECT_EQ(ClsidFromProgId(progid, &clsid), CO_E_CLASSSTRING) << progid;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateInstanceByProgId(progid, nullptr, IID_IUnknown, &object), CO_E_CLASSSTRING) << progid;
    EXPECT_EQ(object, nullptr) << progid;
  }
  EXPECT_EQ(ClsidFromProgId(kSystemComponent, nullptr), E_POINTER);
  // A class id nobody registered.
  GUID unknown;
  ASSERT_TRUE(GuidFromString("{0BADC0DE-2222-3333-4444-555555555555}", &unknown));
  void* object = nullptr;
  EXPECT_EQ(CreateInstance(unknown, nullptr, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
}

// Classes of our own in the registry: a fresh machine's on POSIX, the
// machine's own on Windows (the keys go before and after the test).
class RegisteredClassTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    RemoveKeys();
  }
  void TearDown() override {
    RemoveKeys();
    TempRootTest::TearDown();
  }
  static void RemoveKeys() {
    for (const char* key : {"Kivro.ClientTest", "Kivro.ClientTest.1", "Kivro.ClientTest.2",
                            "CLSID\\{0BADC0DE-1111-3333-4444-555555555555}",
                            "CLSID\\{0BADC0DE-2222-3333-4444-555555555555}"}) {
      RegistryDeleteTree(RegistryRoot::kClassesRoot, key);
    }
  }
  static bool Set(const std::string& key, const std::string& value) {
    return RegistrySetString(RegistryRoot::kClassesRoot, key, "", value);
  }
  ComApartment apartment_;
};

TEST_F(RegisteredClassTest, AVersionIndependentNameFollowsItsCurrentVersion) {
  const std::string clsid_text = "{0BADC0DE-1111-3333-4444-555555555555}";
  ASSERT_TRUE(Set("Kivro.ClientTest.1\\CLSID", clsid_text));
  ASSERT_TRUE(Set("Kivro.ClientTest\\CurVer", "Kivro.ClientTest.1"));
  CLSID clsid;
  ASSERT_EQ(ClsidFromProgId("Kivro.ClientTest", &clsid), S_OK);
  EXPECT_EQ(GuidToString(clsid), clsid_text);
  // A current version that names itself, or nothing registered, leads
  // nowhere.
  ASSERT_TRUE(Set("Kivro.ClientTest.2\\CurVer", "Kivro.ClientTest.2"));
  EXPECT_EQ(ClsidFromProgId("Kivro.ClientTest.2", &clsid), CO_E_CLASSSTRING);
}

TEST_F(RegisteredClassTest, AClassNeedsItsModuleAndTheModuleMustLoad) {
  GUID without_module, missing_module;
  ASSERT_TRUE(GuidFromString("{0BADC0DE-1111-3333-4444-555555555555}", &without_module));
  ASSERT_TRUE(GuidFromString("{0BADC0DE-2222-3333-4444-555555555555}", &missing_module));
  ASSERT_TRUE(Set("CLSID\\" + GuidToString(without_module), "No module"));
  ASSERT_TRUE(Set("CLSID\\" + GuidToString(missing_module) + "\\InprocServer32",
                  "C:\\kivro-no-such-folder\\missing.dll"));
  void* object = nullptr;
  EXPECT_EQ(CreateInstance(without_module, nullptr, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  const HRESULT hr = CreateInstance(missing_module, nullptr, IID_IUnknown, &object);
  if (testing_support::UnderWine() && hr == MakeHresult(0x80070005)) {
    // Wine's COM answers E_ACCESSDENIED for any module it cannot load.
    std::printf("Wine: a module that does not load is E_ACCESSDENIED, not ERROR_MOD_NOT_FOUND\n");
  } else {
    EXPECT_EQ(hr, HresultFromSystemError(kErrorModNotFound));
  }
  EXPECT_EQ(object, nullptr);
}

TEST(ComClientTest, TheModuleOfAnAddressIsThisProgram) {
  static int anchor = 0;
  std::string path = ModulePathOf(&anchor);
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path.find("com_test"), std::string::npos) << path;
  EXPECT_EQ(path.find('/'), std::string::npos) << path;  // a Windows path
}

}  // namespace
}  // namespace platform
