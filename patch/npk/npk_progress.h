// Progress callback of the package code, shared with the update manager's
// package progress hook (the manager must not depend on the package code).
#pragma once
#include <cstdint>

// direction: 0 reading, 1 writing. stage: 1 entity record, 2 entity data,
// 3 header, 4 saving (done and total count entities). name: the entity's or
// package's, or null. Returns true to go on, false to stop.
typedef bool (*NpkProgressFn)(int32_t direction, int32_t stage, const char* name, int32_t done,
                              int32_t total);
