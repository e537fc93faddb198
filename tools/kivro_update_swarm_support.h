// Test helpers for peer fetches with kivro-update: a player's folder holds
// the program, the engine "Swarmlet.dll" and, for the swarm engine, its
// settings file.
#pragma once
#include <filesystem>
#include <string>

#include "transfer/test_support/test_servers.h"

// Copies kivro-update and `engine` (as Swarmlet.dll) into `folder`, with
// `settings` as Swarmlet.ini when not empty. Answers the program's path.

namespace kivro {

inline std::string PlaceProgram(const kivro_test::TempDir& folder, const std::string& engine,
                                const std::string& settings) {
  namespace fs = std::filesystem;
  std::string program = folder.PosixPath("kivro-update");
  fs::copy_file(KIVRO_UPDATE_PROGRAM, program, fs::copy_options::overwrite_existing);
  fs::copy_file(engine, folder.PosixPath("Swarmlet.dll"), fs::copy_options::overwrite_existing);
  if (!settings.empty()) kivro_test::WritePosixFile(folder.PosixPath("Swarmlet.ini"), settings);
  return program;
}

}  // namespace kivro
