// Progress callback of the package code, shared with the update manager's
// package progress hook (the manager must not depend on the package code).
#pragma once
#include <cstdint>

namespace kivro {

enum NpkProgressDirection : int32_t {
  kNpkReading = 0,
  kNpkWriting = 1,
};

enum NpkProgressStage : int32_t {
  kNpkStageEntityRecord = 1,
  kNpkStageEntityData = 2,
  kNpkStageHeader = 3,
  kNpkStageSaving = 4,  // done and total count entities
};

// direction: an NpkProgressDirection; stage: an NpkProgressStage. name: the
// entity's or package's, or null. Returns true to go on, false to stop.
typedef bool (*NpkProgressFn)(int32_t direction, int32_t stage, const char* name, int32_t done,
                              int32_t total);

}  // namespace kivro
