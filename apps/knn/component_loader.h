// Loads the component the way any third-party host does: dlopen by file name, then
// dlsym("GetVelFactory"). Nothing of the component is linked into the host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/vel_interfaces.h"

namespace knncli {

// Folder holding the running executable (from /proc/self/exe).
std::string ExecutableDir();

// Where the component is looked for, in order: next to the executable's folder
// (<exe>/../lib, the build tree and a relocated install), then the install location.
std::vector<std::string> ComponentCandidates(const std::string& exeDir);

class ComponentLibrary {
 public:
  ComponentLibrary() = default;
  ComponentLibrary(const ComponentLibrary&) = delete;
  ComponentLibrary& operator=(const ComponentLibrary&) = delete;
  // The library stays loaded until the process ends: objects it created may be destroyed
  // late, and unloading buys nothing for a one-shot program.
  ~ComponentLibrary() = default;

  // False, with every failed attempt in error, when no candidate loads.
  bool Open(const std::vector<std::string>& candidates, std::string& error);
  // A new factory owned by the caller; null before a successful Open.
  std::unique_ptr<IVelFactory> CreateFactory() const;
  const std::string& Path() const { return path_; }

 private:
  GetVelFactoryFunction entry_ = nullptr;
  std::string path_;
};

}  // namespace knncli
