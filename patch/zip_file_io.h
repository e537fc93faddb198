// minizip's file functions over platform::File, so that archives are opened
// by Windows paths like every other file of the system (case-blind lookup,
// code page 949 names) instead of by the C library's fopen.
#pragma once
#include <ioapi.h>

// Fills `functions` for unzOpen2_64 (reading) and zipOpen2_64 (creating).

namespace kivro {

void FillPlatformFileFunctions(zlib_filefunc64_def* functions);

}  // namespace kivro
