// IDispatch on top of a type description: names to DISPIDs and a call with
// its arguments checked and converted, the way a registered type library
// drives an object's dual interface. Every parameter is a string.
#pragma once
#include <functional>
#include <vector>

#include "platform/com.h"
#include "platform/com_typelib.h"

namespace platform {

// Names are matched without regard to case. DISP_E_UNKNOWNNAME (with
// DISPID_UNKNOWN in `ids`) when one is not known; only the first name (the
// member) is looked up, parameter names answer DISP_E_UNKNOWNNAME.
HRESULT DispatchGetIDsOfNames(const InterfaceDescription& description, LPOLESTR* names,
                              UINT count, DISPID* ids);

// The member's input strings in parameter order (borrowed; null for an empty
// argument) and, when it has one, where to put its return string.
using DispatchTarget =
    std::function<HRESULT(const MemberDescription& member, const std::vector<BSTR>& in, BSTR* out)>;

// Finds the member for (id, flags), checks the argument count, converts the
// arguments to strings (string, string by reference, empty, 32-bit integer,
// boolean; anything else is DISP_E_TYPEMISMATCH with `arg_error` set) and
// calls `target`. Its return string goes into `result` as VT_BSTR (freed
// when `result` is null). The member's own failure code is returned as it is.
HRESULT DispatchInvoke(const InterfaceDescription& description, DISPID id, uint16_t flags,
                       DISPPARAMS* params, VARIANT* result, uint32_t* arg_error,
                       const DispatchTarget& target);

}  // namespace platform
