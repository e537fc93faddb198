// System error values of the internet layer beyond those in error.h, in the
// numbering of the Windows internet API, so the last-error record reads the
// same on every platform.
#pragma once
#include <cstdint>

#include "platform/error.h"

namespace platform {

constexpr int32_t kErrorInternetExtendedError = 12003;  // the server said no: see the response text
constexpr int32_t kErrorInternetUnrecognizedScheme = 12006;
constexpr int32_t kErrorInternetLoginFailure = 12015;
constexpr int32_t kErrorInternetOperationCancelled = 12017;  // the session's cancel check said stop
constexpr int32_t kErrorInternetIncorrectHandleState = 12019;
constexpr int32_t kErrorFtpTransferInProgress = 12110;
constexpr int32_t kErrorHttpHeaderNotFound = 12150;
constexpr int32_t kErrorHttpInvalidServerResponse = 12152;
constexpr int32_t kErrorHttpRedirectFailed = 12156;

}  // namespace platform
