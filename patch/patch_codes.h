// Every code the patch infos, the applier and the archive extractor report
// (also stored in the last-error record), besides the roles' 0 and 1.
#pragma once
#include <cstdint>

// Codes of the patch infos (also stored in the last-error record).

namespace kivro {

enum PatchInfoCode : int32_t {
  kPatchListUnreadable = 2,
  kPatchListUnsafeName = 3,   // a name leads outside the install folder
  kPatchListPathTooLong = 4,  // a local path or URL exceeds 259 characters
  kInstalledFilesMismatch = 500,
};

// Codes of Apply and Finish besides 0, 1 and the extractor's codes.
enum ApplyCode : int32_t {
  kApplyPackageFailed = 100,  // package cannot be opened or the previous one saved
  kApplyEntityFailed = 101,   // entity not found (set entity flags) or not added (unpack entity)
  kApplyUnknownRecord = 102,  // not a CVrelApplyInfo (or none)
};

// Codes of ExtractArchive besides 0, 1 (stopped) and minizip's negative codes.
enum MiniunzCode : int32_t {
  kUnzCannotOpen = 71,        // archive cannot be opened
  kUnzNoGlobalInfo = 72,      // its global information cannot be read
  kUnzNoEntryInfo = 73,       // an entry's information cannot be read
  kUnzCannotMoveNext = 74,    // cannot move to the next entry
  kUnzWriteFailed = 75,       // write failure or read error while unpacking
  kUnzOutOfMemory = 76,       // no unpack buffer
  kUnzEntryNameRefused = 77,  // absolute, drive letter or ".." in an entry name
  kUnzPathTooLong = 78,       // destination and entry name exceed 259 characters
};

}  // namespace kivro
