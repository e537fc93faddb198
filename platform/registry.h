// The registry: a persistent store of keys with string and number values,
// kept under the virtual root. Key paths use '\' and are compared without
// regard to case; value name "" is the key's default value. Every write is
// atomic (temporary file, fsync, rename) under a file lock, so two processes
// never lose each other's writes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kDynData };

bool RegistryCreateKey(RegistryRoot root, const std::string& key);  // with missing parents
bool RegistryKeyExists(RegistryRoot root, const std::string& key);
// Deletes a key that has no sub-keys (fails otherwise, as RegDeleteKey does).
bool RegistryDeleteKey(RegistryRoot root, const std::string& key);
// Deletes a key with everything below it.
bool RegistryDeleteTree(RegistryRoot root, const std::string& key);
bool RegistrySetString(RegistryRoot root, const std::string& key, const std::string& name,
                       const std::string& value);
bool RegistrySetNumber(RegistryRoot root, const std::string& key, const std::string& name,
                       uint32_t value);
bool RegistryGetString(RegistryRoot root, const std::string& key, const std::string& name,
                       std::string* value);
bool RegistryGetNumber(RegistryRoot root, const std::string& key, const std::string& name,
                       uint32_t* value);
bool RegistryDeleteValue(RegistryRoot root, const std::string& key, const std::string& name);
// Names of the direct sub-keys / values of a key (empty when it is missing).
std::vector<std::string> RegistrySubKeys(RegistryRoot root, const std::string& key);
std::vector<std::string> RegistryValueNames(RegistryRoot root, const std::string& key);

}  // namespace platform
