// Start-up of the platform layer. Every program calls Initialize once, first
// thing in main, before any other platform call: on Windows it starts the
// socket library and enters the COM apartment of the main thread. False
// when the system refuses; later calls then report their own failures.
#pragma once

namespace platform {

bool Initialize();

}  // namespace platform
