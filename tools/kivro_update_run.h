// `kivro-update run`: one whole update from the command line, as the
// launcher does it (check, then download and install when needed), with the
// update manager and its own roles, for operators and scripts.
#pragma once

// argv[0] is "run". Answers the process exit code: 0 after result 1
// (nothing to update) or 3 (updated), 2 for usage errors and a failed check,
// otherwise the manager's result code.

namespace kivro {

int RunUpdateCommand(int argc, char** argv);

}  // namespace kivro
