#include "component_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace knncli {
namespace {

constexpr const char* kComponentFile = "libvelnearestneighborr.so";

}  // namespace

std::string ExecutableDir() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (length <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(length));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::vector<std::string> ComponentCandidates(const std::string& exeDir) {
  std::vector<std::string> candidates;
  const std::string relativeDirs[] = {"/../lib/", "/../" KNN_INSTALL_LIBDIR "/"};
  for (const std::string& dir : relativeDirs) {
    candidates.push_back(exeDir + dir + kComponentFile);
  }
  candidates.push_back(std::string(KNN_INSTALL_FULL_LIBDIR "/") + kComponentFile);
  // An install without the development link has only the versioned name.
  candidates.push_back(std::string(KNN_INSTALL_FULL_LIBDIR "/") + kComponentFile + "." +
                       KNN_VERSION_MAJOR);
  return candidates;
}

bool ComponentLibrary::Open(const std::vector<std::string>& candidates, std::string& error) {
  error.clear();
  for (const std::string& candidate : candidates) {
    if (access(candidate.c_str(), F_OK) != 0) continue;
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = dlerror();
      error += (error.empty() ? "" : "; ") + std::string(reason != nullptr ? reason : candidate);
      continue;
    }
    void* symbol = dlsym(handle, "GetVelFactory");
    if (symbol == nullptr) {
      error += (error.empty() ? "" : "; ") + candidate + " has no GetVelFactory";
      dlclose(handle);
      continue;
    }
    entry_ = reinterpret_cast<GetVelFactoryFunction>(symbol);
    path_ = candidate;
    return true;
  }
  if (error.empty()) {
    error = std::string("cannot find ") + kComponentFile + " (looked in";
    for (const std::string& candidate : candidates) error += " " + candidate;
    error += ")";
  }
  return false;
}

std::unique_ptr<IVelFactory> ComponentLibrary::CreateFactory() const {
  if (entry_ == nullptr) return nullptr;
  return std::unique_ptr<IVelFactory>(entry_());
}

}  // namespace knncli
