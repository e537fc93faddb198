// How the manager creates its own role objects. The implementing classes
// live in other subsystems (patch/, transfer/); the functions below are
// defined by the library kivro_own_roles, which programs link in, so the
// update subsystem itself depends on none of them. A function returns null
// when its class cannot be created; the manager then treats the role as
// absent and fails the operation.
#pragma once
#include <string>

#include "patch/npk/npk_progress.h"
#include "update/roles.h"

I_PatchInfo* CreateOwnVrelPatchInfo();  // CVrelPatchInfo
I_PatchInfo* CreateOwnPulPatchInfo();   // CPulPatchInfo
I_Download* CreateOwnNet();             // CNet
I_Download* CreateOwnSwarmlet();        // CSwarmlet
I_Apply* CreateOwnApplier();            // CVrelApply

// StartUpdate's wiring between the own ".vrl" patch info and the own applier:
// the package work folder (install folder + "\__npk_entity"), and the
// package progress hook.
std::string OwnVrelPackageWorkFolder(I_PatchInfo* own_vrel_patch_info);
void OwnApplierSetWorkFolder(I_Apply* own_applier, const char* folder);
void OwnApplierSetPackageHook(I_Apply* own_applier, NpkProgressFn hook);
