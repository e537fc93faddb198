// The system's own role objects, created for the manager.
#include "update/own_roles.h"

#include "patch/pul_patch_info.h"
#include "patch/vrel_apply.h"
#include "patch/vrel_patch_info.h"
#include "transfer/net.h"
#include "transfer/swarmlet.h"

namespace kivro {

namespace {

I_PatchInfo* CreateVrelPatchInfo() { return new CVrelPatchInfo; }
I_PatchInfo* CreatePulPatchInfo() { return new CPulPatchInfo; }
I_Download* CreateNet() { return new CNet; }
I_Download* CreateSwarmlet() { return new CSwarmlet; }
I_Apply* CreateApplier() { return new CVrelApply; }

// The manager passes only the ".vrl" patch info and the applier it created
// through this factory here.
std::string VrelPackageWorkFolder(I_PatchInfo* own_vrel_patch_info) {
  return static_cast<CVrelPatchInfo*>(own_vrel_patch_info)->PackageWorkFolder();
}
void ApplierSetWorkFolder(I_Apply* own_applier, const char* folder) {
  static_cast<CVrelApply*>(own_applier)->SetWorkFolder(folder);
}
void ApplierSetPackageHook(I_Apply* own_applier, NpkProgressFn hook) {
  static_cast<CVrelApply*>(own_applier)->SetPackageProgress(hook);
}

const RoleFactory kOwnRoles = {
    CreateVrelPatchInfo,   CreatePulPatchInfo,   CreateNet,
    CreateSwarmlet,        CreateApplier,        VrelPackageWorkFolder,
    ApplierSetWorkFolder,  ApplierSetPackageHook,
};

}  // namespace

const RoleFactory& OwnRoleFactory() { return kOwnRoles; }

}  // namespace kivro
