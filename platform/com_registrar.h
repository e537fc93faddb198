// The COM registrar's script language, as modules keep their registry
// entries in resources of type "REGISTRY":
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {GUID} = s 'Name'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//       }
//     }
//   }
//
// A key is a bare word or a quoted name, optionally marked NoRemove or
// ForceRemove, optionally followed by "= s 'text'" (its default value) or
// "= d 'number'", optionally followed by a block of sub-entries. "val name =
// s 'text'" sets a named value. Inside quotes '' stands for one quote.
// %NAME% is replaced by the caller's replacement text before parsing (so a
// replacement that may hold quotes must come with them doubled, see
// DoubleSingleQuotes); %% is a percent sign.
//
// Registering creates every key and sets every value; a ForceRemove key is
// first deleted with everything below it. Removing deletes every value listed
// with "val"; a key listed is deleted after its listed children have been
// handled, unless it is marked NoRemove or still has sub-keys the script does
// not list (which are never touched). Keys that do not exist are skipped.
// A root key is never removed.
#pragma once
#include <string>
#include <vector>

#include "platform/com.h"

namespace platform {

struct RegistrarReplacement {
  std::string name;   // without the percent signs, e.g. "MODULE"
  std::string value;  // inserted as it is
};

// S_OK; DISP_E_EXCEPTION for a script that does not parse (nothing is
// written then), or the registry's failure as an HRESULT (what was done
// before it stays).
HRESULT RunRegistrarScript(const std::string& script,
                           const std::vector<RegistrarReplacement>& replacements, bool do_register);

// Every single quote doubled, for a replacement inserted into quotes.
std::string DoubleSingleQuotes(const std::string& text);

}  // namespace platform
