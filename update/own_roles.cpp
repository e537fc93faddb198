// Creation of the manager's own role objects. A role whose class is not part
// of this build answers null, and the manager fails the operation that
// needed it.
#include "update/own_roles.h"

#include "patch/pul_patch_info.h"
#include "patch/vrel_apply.h"
#include "patch/vrel_patch_info.h"
#include "transfer/net.h"
#include "transfer/swarmlet.h"

I_PatchInfo* CreateOwnVrelPatchInfo() { return new CVrelPatchInfo; }
I_PatchInfo* CreateOwnPulPatchInfo() { return new CPulPatchInfo; }
I_Download* CreateOwnNet() { return new CNet; }
I_Download* CreateOwnSwarmlet() { return new CSwarmlet; }
I_Apply* CreateOwnApplier() { return new CVrelApply; }

// The manager passes only its own ".vrl" patch info and its own applier here.
std::string OwnVrelPackageWorkFolder(I_PatchInfo* own_vrel_patch_info) {
  return static_cast<CVrelPatchInfo*>(own_vrel_patch_info)->PackageWorkFolder();
}
void OwnApplierSetWorkFolder(I_Apply* own_applier, const char* folder) {
  static_cast<CVrelApply*>(own_applier)->SetWorkFolder(folder);
}
void OwnApplierSetPackageHook(I_Apply* own_applier, NpkProgressFn hook) {
  static_cast<CVrelApply*>(own_applier)->SetPackageProgress(hook);
}
