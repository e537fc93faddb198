// Shared between the manager's source files: how it starts its threads and
// creates its own roles (both replaceable by tests, see
// launcher_manager_testing.h).
#pragma once
#include <functional>

#include "update/launcher_manager_testing.h"

namespace manager_internal {

// Starts a detached manager worker that is counted until `body` returns.
// False when the thread cannot be started (`body` is then not run).
bool StartCountedThread(std::function<void()> body);

// The factory in force: update/own_roles.h unless a test replaced it.
const launcher_testing::OwnRoleFactory& OwnRoles();

}  // namespace manager_internal
