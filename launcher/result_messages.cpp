#include "launcher/result_messages.h"

#include <cstring>

#include "update/i_manager.h"

namespace kivro::launcher {

const char* MessageForResult(int32_t code) {
  switch (code) {
    case RESULT_CHECK_DONE:
      return kMsgNothingToUpdate;
    case RESULT_CHECK_FAILED:
      return kMsgCheckFailed;
    case RESULT_UPDATE_DONE:
      return kMsgUpdateDone;
    case RESULT_UPDATE_CANCELED:
      return kMsgUpdateCanceled;
    case RESULT_UPDATE_FAILED:
      return kMsgUpdateFailed;
    case RESULT_FILES_TAMPERED:
      return kMsgFilesTampered;
    case RESULT_FILE_DONE:
    case RESULT_FILE_CANCELED:
    case RESULT_FILE_FAILED:
    case RESULT_PACKAGE_DONE:
    case RESULT_PACKAGE_CANCELED:
    case RESULT_PACKAGE_FAILED:
      return nullptr;
    default:
      return kMsgSomethingWrong;
  }
}

ResultAction ActionForMessage(const char* message) {
  if (message == nullptr) return ResultAction::kShowAndStay;
  switch (message[0]) {
    case 'N':
      return ResultAction::kStartGame;
    case 'S':
      return strncmp(message, "SUCCEED", 7) == 0 ? ResultAction::kStartGame
                                                 : ResultAction::kShowAndStay;
    case 'F':
      return ResultAction::kShowAndClose;
    default:
      return ResultAction::kShowAndStay;
  }
}

}  // namespace kivro::launcher
