// Creation of the manager's own role objects. A role whose class is not part
// of this build answers null, and the manager fails the operation that
// needed it.
#include "update/own_roles.h"

I_PatchInfo* CreateOwnVrelPatchInfo() { return nullptr; }
I_PatchInfo* CreateOwnPulPatchInfo() { return nullptr; }
I_Download* CreateOwnNet() { return nullptr; }
I_Download* CreateOwnSwarmlet() { return nullptr; }
I_Apply* CreateOwnApplier() { return nullptr; }

std::string OwnVrelPackageWorkFolder(I_PatchInfo*) { return std::string(); }
void OwnApplierSetWorkFolder(I_Apply*, const char*) {}
void OwnApplierSetPackageHook(I_Apply*, NpkProgressFn) {}
