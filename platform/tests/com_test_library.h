// A small type library for the COM tests.
#pragma once

namespace platform {

inline constexpr char kTestTypeLibrary[] =
    "# comment line\n"
    "library TestLib {11111111-2222-3333-4444-555555555555} 1.0 409 \"Test 1.0 형식 라이브러리\"\n"
    "interface ITest {AAAAAAAA-2222-3333-4444-555555555555} dual \"ITest 인터페이스\"\n"
    "method Ping 1 \"메서드 Ping\"\n"
    "method Join 2 \"메서드 Join\" in:a in:b retval:out\n"
    "propget Text 3 \"속성 Text\" retval:pVal\n"
    "propput Text 3 \"속성 Text\" in:newVal\n"
    "coclass Test {BBBBBBBB-2222-3333-4444-555555555555} \"Test Class\" ITest\n";

}  // namespace platform
