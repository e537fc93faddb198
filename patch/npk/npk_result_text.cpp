#include "patch/npk/npk.h"

namespace kivro {

const char* NpkResultText(int32_t code) {
  switch (code) {
    case NPK_SUCCESS:
      return "done";
    case NPK_ERROR_FILE_NOT_FOUND:
      return "file not found";
    case NPK_ERROR_FILE_OPEN:
      return "file cannot be opened";
    case NPK_ERROR_WRITE:
      return "write failed";
    case NPK_ERROR_SHORT_READ:
      return "read returned less than asked";
    case NPK_ERROR_ACCESS_DENIED:
      return "access denied";
    case NPK_ERROR_CANNOT_CREATE:
      return "target cannot be created";
    case NPK_ERROR_FILE_TIME_READ:
      return "file time cannot be read";
    case NPK_ERROR_BAD_PATH:
      return "path or name missing or longer than 512 characters";
    case NPK_ERROR_NOT_A_PACKAGE:
      return "not a package (bad signature, table or sizes)";
    case NPK_ERROR_ENTITY_NOT_IN_PACKAGE:
      return "entity not in the package";
    case NPK_ERROR_NO_SAVE_PATH:
      return "no path to save to";
    case NPK_ERROR_NOT_OPENED:
      return "package was never opened";
    case NPK_ERROR_EMPTY_SOURCE:
      return "source file is empty";
    case NPK_ERROR_DUPLICATE_NAME:
      return "entity name already present";
    case NPK_ERROR_FILE_TIME_SET:
      return "file time cannot be set";
    case NPK_ERROR_ALREADY_OPEN:
      return "package already has an open file";
    case NPK_ERROR_INVALID_HANDLE:
      return "invalid handle";
    case NPK_ERROR_NO_DATA:
      return "no data to encode";
    case NPK_ERROR_NO_PLACE:
      return "no place for the data";
    case NPK_ERROR_DECOMPRESS:
      return "decompression failed or gave another size";
    case NPK_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case NPK_ERROR_DISK_FULL:
      return "disk full";
    case NPK_ERROR_STOPPED:
      return "stopped";
    case NPK_TARGET_EXISTS:
      return "target exists";
    default:
      return "unknown error";
  }
}

}  // namespace kivro
