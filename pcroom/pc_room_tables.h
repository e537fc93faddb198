// The two product tables, built afresh for every check. Their order decides
// which product is reported when several are present. Texts are code page
// 949 (Korean ANSI).
#pragma once
#include <string>
#include <vector>

#include "pcroom/pc_room_product.h"

// Rows for the running-program check; they have no files.

namespace kivro {

std::vector<PcRoomProduct> RunningProgramTable();

// Rows for the installed-files check; they have no process or window.
// `system_directory` and `windows_directory` are prefixed unchanged to the
// names that start with "/", so paths mix '\' and '/' as the platform allows.
std::vector<PcRoomProduct> InstalledFilesTable(const std::string& system_directory,
                                               const std::string& windows_directory);

}  // namespace kivro
