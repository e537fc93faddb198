// Every code the update manager and its release guard report: the results
// of its operations, the convention its roles share, and the codes it
// stores in the last-error record.
#pragma once
#include <cstdint>

// The two results every role operation shares; any other is an error code.

namespace kivro {

enum RoleResult : int32_t {
  kRoleDone = 0,
  kRoleStopped = 1,
};

// Result codes passed to the result callback.
enum ManagerResult : int32_t {
  RESULT_CHECK_DONE = 1,
  RESULT_CHECK_FAILED = 2,
  RESULT_UPDATE_DONE = 3,
  RESULT_UPDATE_CANCELED = 4,
  RESULT_UPDATE_FAILED = 5,
  RESULT_FILES_TAMPERED = 6,
  RESULT_FILE_DONE = 10,
  RESULT_FILE_CANCELED = 11,
  RESULT_FILE_FAILED = 12,
  RESULT_PACKAGE_DONE = 21,
  RESULT_PACKAGE_CANCELED = 22,
  RESULT_PACKAGE_FAILED = 23,
};

// Codes the manager itself stores in the last-error record (besides the
// roles' own codes, which it passes on unchanged).
enum ManagerError : int32_t {
  kManagerErrorBadMethod = 32,     // transfer method outside 1..4 (not recorded)
  kManagerErrorNoRole = 60,        // a role object could not be created
  kManagerErrorNoThread = 61,      // a worker thread could not be started
  kManagerErrorTextTooLong = 62,   // a path, URL or setting over 259 characters
  kManagerErrorBadUrl = 63,        // the canonicaliser refused the URL
  kManagerErrorBadItem = 64,       // a download item is missing or malformed
};

// Codes the release guard stores in the last-error record.
enum ReleaseGuardError : int32_t {
  kReleaseUnsigned = 80,        // manifest or signature could not be fetched
  kReleaseBadSignature = 81,    // malformed, or does not verify
  kReleaseWrongKey = 82,        // signed by another key
  kReleaseBadManifest = 83,     // the signed text is out of form
  kReleaseReplayed = 84,        // older than a release accepted before
  kReleaseListMismatch = 85,    // the patch list is not the one signed
  kReleaseNotInManifest = 86,   // a file the manifest does not name
  kReleaseFileMismatch = 87,    // a file whose hash or size differs
};

}  // namespace kivro
