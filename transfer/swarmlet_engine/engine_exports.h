// Export marker for the engine libraries built here: everything else in
// them is hidden, so their copies of our libraries never clash with the
// program's.
#pragma once

#if defined(_WIN32)
#define SWARMLET_EXPORT extern "C" __declspec(dllexport)
#else
#define SWARMLET_EXPORT extern "C" __attribute__((visibility("default")))
#endif
