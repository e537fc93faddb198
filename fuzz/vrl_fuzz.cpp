// Patch lists come from the download server: any bytes must parse without
// fault, and every stored text must fit its field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "patch/vrel_base.h"

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CVrelBase list;
  list.ReadBuffer(reinterpret_cast<const char*>(data), size);
  for (auto* directories :
       {&list.install_directories, &list.uninstall_directories, &list.setup_directories})
    for (auto& directory : *directories) {
      if (strnlen(directory->path, sizeof directory->path) >= sizeof directory->path) abort();
      for (auto& file : directory->files)
        if (strnlen(file.name, sizeof file.name) >= sizeof file.name) abort();
    }
  for (auto* bags : {&list.package_install_bags, &list.package_uninstall_bags})
    for (auto& bag : *bags)
      for (auto& package : bag->packages)
        for (auto& entity : package->entities)
          if (strnlen(entity->name, sizeof entity->name) >= sizeof entity->name) abort();
  list.Reset();
  return 0;
}
