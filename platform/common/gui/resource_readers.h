// Readers of the resource compiler's binary formats, the same on every
// backend: a compiled resource file (.res, what windres -O res writes), a
// dialog template (DLGTEMPLATEEX, what a DIALOGEX statement compiles to)
// and a string-table block (16 counted UTF-16 strings). On Windows the
// module's resource section hands out the same dialog and string bytes.
//
// Every reader checks each length against the bytes it was given and fails
// (false) rather than read past them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/window.h"

namespace platform {

// Resource type numbers of the compiled formats.
inline constexpr uint16_t kResTypeDialog = 5;
inline constexpr uint16_t kResTypeString = 6;

// The data of the first resource of numbered type `type` and numbered name
// `id` in the compiled resource file `res`; entries named by text are
// passed over. False when there is none or the file is damaged before it.
bool FindInResFile(const uint8_t* res, size_t res_size, uint16_t type, uint16_t id,
                   const uint8_t** data, size_t* size);

// Converts an extended dialog template into the toolkit's description:
// styles the toolkit knows are mapped, texts become code page 949, sizes
// stay in dialog units. False for a template that is not extended or is
// cut short, and for a control the toolkit has no kind for (an edit box,
// a list, a button type other than push, default push and owner-drawn, a
// static other than text and icon); a control of a class named by text is
// a custom window.
bool ReadDialogTemplate(const uint8_t* data, size_t size, DialogTemplate* out);

// String `index` (0-15) of a string-table block. A block holds strings
// 16 x (block - 1) to 16 x (block - 1) + 15; an absent string is empty.
// False when the block is cut short before it.
bool ReadStringFromBlock(const uint8_t* data, size_t size, int index, std::u16string* out);

}  // namespace platform
