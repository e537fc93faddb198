#include "platform/com_dispatch.h"

#include <gtest/gtest.h>

#include "platform/tests/com_test_library.h"

namespace platform {
namespace {

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ParseTypeLibrary(kTestTypeLibrary, &lib_, nullptr));
    iface_ = &lib_.interfaces[0];
  }
  // Records the call and answers with "<member>:<args joined by '|'>".
  HRESULT Call(DISPID id, uint16_t flags, DISPPARAMS* params, VARIANT* result,
               uint32_t* arg_error = nullptr) {
    return DispatchInvoke(*iface_, id, flags, params, result, arg_error,
                          [this](const MemberDescription& m, const std::vector<BSTR>& in, BSTR* out) {
                            called_ = m.name;
                            kind_ = m.kind;
                            std::u16string text = u"";
                            for (BSTR b : in) text += (b ? BstrToUtf16(b) : u"<null>") + u"|";
                            if (out) *out = SysAllocStringFromUtf16(text);
                            return S_OK;
                          });
  }
  TypeLibraryDescription lib_;
  const InterfaceDescription* iface_ = nullptr;
  std::string called_;
  MemberKind kind_ = MemberKind::kMethod;
};

TEST_F(DispatchTest, NamesResolveWithoutRegardToCase) {
  OLECHAR name[] = OLESTR("jOIN");
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_EQ(DispatchGetIDsOfNames(*iface_, names, 1, &id), S_OK);
  EXPECT_EQ(id, 2);
  OLECHAR unknown[] = OLESTR("Missing");
  names[0] = unknown;
  EXPECT_EQ(DispatchGetIDsOfNames(*iface_, names, 1, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  EXPECT_EQ(DispatchGetIDsOfNames(*iface_, names, 1, nullptr), E_POINTER);
}

TEST_F(DispatchTest, ArgumentsArriveLastFirstAndTheResultIsAString) {
  VARIANT args[2];
  args[0].vt = VT_BSTR;  // the last parameter, b
  args[0].bstrVal = SysAllocString(OLESTR("second"));
  args[1].vt = VT_I4;    // the first, a, converted to text
  args[1].lVal = -42;
  DISPPARAMS params{args, nullptr, 2, 0};
  VARIANT result;
  ASSERT_EQ(Call(2, DISPATCH_METHOD, &params, &result), S_OK);
  EXPECT_EQ(called_, "Join");
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(BstrToUtf16(result.bstrVal), u"-42|second|");
  VariantClear(&result);
  VariantClear(&args[0]);
}

TEST_F(DispatchTest, EmptyAndByReferenceStringsAreAccepted) {
  BSTR text = SysAllocString(OLESTR("by ref"));
  VARIANT args[2];
  args[0].vt = VT_BSTR | VT_BYREF;
  args[0].pbstrVal = &text;
  args[1].vt = VT_EMPTY;
  DISPPARAMS params{args, nullptr, 2, 0};
  VARIANT result;
  ASSERT_EQ(Call(2, DISPATCH_METHOD, &params, &result), S_OK);
  EXPECT_EQ(BstrToUtf16(result.bstrVal), u"<null>|by ref|");
  VariantClear(&result);
  SysFreeString(text);
}

TEST_F(DispatchTest, WrongCountsKindsAndMembersAreRefusedBeforeTheCall) {
  DISPPARAMS none{};
  VARIANT result;
  EXPECT_EQ(Call(2, DISPATCH_METHOD, &none, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(99, DISPATCH_METHOD, &none, &result), DISP_E_MEMBERNOTFOUND);
  VARIANT arg;
  arg.vt = VT_DISPATCH;
  arg.pdispVal = nullptr;
  DISPPARAMS one{&arg, nullptr, 1, 0};
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS put_params{&arg, &put, 1, 1};
  uint32_t arg_error = 77;
  EXPECT_EQ(Call(3, DISPATCH_PROPERTYPUT, &put_params, nullptr, &arg_error), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_error, 0u);
  // A put needs its value as the named DISPID_PROPERTYPUT argument.
  arg.vt = VT_BSTR;
  arg.bstrVal = nullptr;
  EXPECT_EQ(Call(3, DISPATCH_PROPERTYPUT, &one, nullptr), DISP_E_PARAMNOTOPTIONAL);
  // Named arguments mean nothing to a method.
  DISPID named = 0;
  DISPPARAMS named_params{&arg, &named, 1, 1};
  EXPECT_EQ(Call(1, DISPATCH_METHOD, &named_params, nullptr), DISP_E_PARAMNOTFOUND);
  EXPECT_TRUE(called_.empty());
}

TEST_F(DispatchTest, PropertyGetAndPutShareTheirDispid) {
  VARIANT result;
  DISPPARAMS none{};
  ASSERT_EQ(Call(3, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &result), S_OK);
  EXPECT_EQ(kind_, MemberKind::kPropertyGet);
  VariantClear(&result);
  VARIANT arg;
  arg.vt = VT_BOOL;
  arg.boolVal = VARIANT_TRUE;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS put_params{&arg, &put, 1, 1};
  ASSERT_EQ(Call(3, DISPATCH_PROPERTYPUT, &put_params, nullptr), S_OK);
  EXPECT_EQ(kind_, MemberKind::kPropertyPut);
}

TEST_F(DispatchTest, TheMembersFailureComesBackUnchanged) {
  DISPPARAMS none{};
  HRESULT hr = DispatchInvoke(*iface_, 1, DISPATCH_METHOD, &none, nullptr, nullptr,
                              [](const MemberDescription&, const std::vector<BSTR>&, BSTR*) {
                                return MakeHresult(0xFFFFFFFF);
                              });
  EXPECT_EQ(hr, -1);
}

}  // namespace
}  // namespace platform
