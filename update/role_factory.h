// How the manager creates and wires its own role objects. The implementing
// classes live in other subsystems (patch/, transfer/); a program hands the
// manager a factory before using it (the system's own one is
// OwnRoleFactory() in update/own_roles.h), so update/ depends on none of
// them. A creation function may answer null: the manager then treats the
// role as absent and fails the operation that needed it.
#pragma once
#include <string>

#include "patch/npk/npk_progress.h"
#include "update/roles.h"

namespace kivro {

struct RoleFactory {
  I_PatchInfo* (*vrel_patch_info)();
  I_PatchInfo* (*pul_patch_info)();
  I_Download* (*net)();
  I_Download* (*swarmlet)();
  I_Apply* (*applier)();
  // StartUpdate's wiring between the own ".vrl" patch info and the own
  // applier: the package work folder (install folder + "\__npk_entity"),
  // and the package progress hook.
  std::string (*package_work_folder)(I_PatchInfo* own_vrel_patch_info);
  void (*set_work_folder)(I_Apply* own_applier, const char* folder);
  void (*set_package_hook)(I_Apply* own_applier, NpkProgressFn hook);
};

// Hands the manager the factory of its own roles; null leaves it with none
// (every role must then be handed in). The table must outlive its use.
void SetRoleFactory(const RoleFactory* factory);

}  // namespace kivro
