// The system's own role objects for the manager: CVrelPatchInfo and
// CPulPatchInfo (patch/), CNet and CSwarmlet (transfer/), CVrelApply
// (patch/). Programs that run the manager hand it this factory:
//   SetRoleFactory(&OwnRoleFactory());
#pragma once
#include "update/role_factory.h"

namespace kivro {

const RoleFactory& OwnRoleFactory();

}  // namespace kivro
