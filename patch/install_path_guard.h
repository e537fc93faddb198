// Names from outside (patch lists, archive entries, entity names) become
// paths under the install folder. These checks refuse the ones that would
// lead elsewhere: absolute names, drive letters, and ".." components (any
// component made only of dots, which Windows also reads as a way up).
#pragma once

// A relative name: a file, entity or archive-entry name, possibly with
// sub-folders ('\' or '/'). A trailing separator (a folder entry) is allowed.

namespace kivro {

bool IsSafeRelativeName(const char* name);

// A directory path of a patch list as the reader stores it: "\" or
// "\sub\folder" (keyword 0, under the install folder), or a keyword folder
// such as "C:\WINDOWS\fonts" (keyword 1) that must not climb above itself.
bool IsSafeListDirectory(const char* path, int keyword);

}  // namespace kivro
