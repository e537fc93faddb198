#include "platform/initialize.h"

namespace platform {

// Nothing to start on POSIX: sockets need no library start-up (and send with
// MSG_NOSIGNAL, so a closed peer raises no signal), and the COM emulation
// has no apartments.
bool Initialize() { return true; }

}  // namespace platform
