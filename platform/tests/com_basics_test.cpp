#include <gtest/gtest.h>

#include <cstring>

#include "platform/com.h"

namespace platform {
namespace {

TEST(GuidTest, ParsesAndFormatsTheRegistryForm) {
  GUID g;
  ASSERT_TRUE(GuidFromString("{3610c74f-5d10-4690-9556-14a6563095ae}", &g));
  EXPECT_EQ(g.Data1, 0x3610C74Fu);
  EXPECT_EQ(g.Data2, 0x5D10);
  EXPECT_EQ(g.Data3, 0x4690);
  EXPECT_EQ(g.Data4[0], 0x95);
  EXPECT_EQ(g.Data4[7], 0xAE);
  EXPECT_EQ(GuidToString(g), "{3610C74F-5D10-4690-9556-14A6563095AE}");
  EXPECT_EQ(GuidToString(IID_IObjectSafety), "{CB5BDC81-93C1-11CF-8F20-00805F2CD064}");
  EXPECT_EQ(GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
}

TEST(GuidTest, RejectsMalformedTexts) {
  GUID g = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};  // a value to keep
  GUID untouched = g;
  for (const char* bad : {"", "3610C74F-5D10-4690-9556-14A6563095AE",
                          "{3610C74F-5D10-4690-9556-14A6563095A}",
                          "{3610C74F-5D10-4690-9556-14A6563095AEX}",
                          "{3610C74F_5D10-4690-9556-14A6563095AE}",
                          "{3610C74G-5D10-4690-9556-14A6563095AE}",
                          "{+610C74F-5D10-4690-9556-14A6563095AE}"}) {
    EXPECT_FALSE(GuidFromString(bad, &g)) << bad;
    EXPECT_EQ(g, untouched);
  }
}

TEST(BstrTest, CarriesItsLengthBeforeTheCharacters) {
  BSTR s = SysAllocStringLen(OLESTR("a\0b"), 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 6u);  // bytes, not characters
  EXPECT_EQ(s[3], 0);     // always terminated
  EXPECT_EQ(BstrToUtf16(s), std::u16string(u"a\0b", 3));
  SysFreeString(s);
}

TEST(BstrTest, NullIsAnEmptyString) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(BstrToUtf16(nullptr), u"");
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);
  BSTR empty = SysAllocString(OLESTR(""));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
  // A length that cannot be held in the prefix is refused, not wrapped.
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFF0u), nullptr);
}

TEST(VariantTest, ClearFreesTheStringAndEmpties) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(OLESTR("owned"));
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
#if !defined(_WIN32)
  // The emulation also forgets the pointer and refuses no variant; the
  // system's own promises neither (it leaves the stale pointer).
  EXPECT_EQ(v.bstrVal, nullptr);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
#endif
}

TEST(HresultTest, SystemErrorsMapIntoTheWin32Facility) {
  EXPECT_EQ(static_cast<uint32_t>(HresultFromSystemError(5)), 0x80070005u);
  EXPECT_EQ(HresultFromSystemError(0), S_OK);
  EXPECT_TRUE(Failed(E_POINTER));
  EXPECT_TRUE(Succeeded(S_FALSE));
}

}  // namespace
}  // namespace platform
