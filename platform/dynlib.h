// Dynamic libraries: load by file path, look up exports.
#pragma once
#include <string>

namespace platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();  // unloads
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads the library at a Windows path (never searched for: a bare name is
  // taken relative to the current directory only when the caller says so
  // by passing it). False with kErrorModNotFound when it cannot be loaded.
  bool Load(const std::string& windows_path);
  void Unload();
  // The export's address, or null with kErrorProcNotFound.
  void* Find(const char* name) const;
  // The loader's message for the last failure.
  const std::string& LoadError() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The full Windows path of the module (program or shared library) that
// holds `address`: from inside a library, the library's own file, wherever
// it was loaded from. Empty when no loaded module holds it.
std::string ModulePathOf(const void* address);

}  // namespace platform
