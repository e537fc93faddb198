// Shared between the manager's source files: how it starts its threads
// (replaceable by tests, see launcher_manager_testing.h) and creates its own
// roles (role_factory.h).
#pragma once
#include <functional>

#include "update/launcher_manager_testing.h"
#include "update/role_factory.h"

namespace kivro::manager_internal {

// Starts a detached manager worker that is counted until `body` returns.
// False when the thread cannot be started (`body` is then not run).
bool StartCountedThread(std::function<void()> body);

// The factory the program handed in, else one that creates no role.
const RoleFactory& OwnRoles();

}  // namespace kivro::manager_internal
