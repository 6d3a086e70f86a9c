#include "platform/open/ContainerLoader.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace morvel {
namespace {

// Where the module may lie, relative to the running program: beside it (a build's own layout
// puts it in lib/morvel/modules at the top of the build tree), and installed there beside
// bin/ (/usr/bin/morvel) or beside libexec/morvel/ (the desktop program).
std::vector<std::filesystem::path> Candidates() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  std::vector<std::filesystem::path> found;
  std::filesystem::path dir = self.parent_path();
  found.push_back(dir / containers::kModuleFile);
  for (int up = 0; up < 3 && dir.has_parent_path(); ++up) {
    dir = dir.parent_path();
    found.push_back(dir / "lib" / "morvel" / "modules" / containers::kModuleFile);
  }
  return found;
}

struct Loaded {
  const containers::ModuleTable* table = nullptr;
  std::string why;
};

Loaded Load() {
  Loaded loaded;
  std::string looked;
  for (const std::filesystem::path& path : Candidates()) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      looked += (looked.empty() ? "" : ", ") + path.string();
      continue;
    }
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      const char* error = ::dlerror();
      // A library it needs is missing: name the packages that bring them.
      loaded.why = std::string("the container readers (") + path.string() +
                   ") cannot be loaded: " + (error != nullptr ? error : "unknown error") +
                   " (Debian: install libewf2, libvhdi1, libvmdk1, libqcow1, libbfio1 and libblkid1)";
      return loaded;
    }
    using Entry = const containers::ModuleTable* (*)();
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, containers::kModuleEntry));
    const containers::ModuleTable* table = entry != nullptr ? entry() : nullptr;
    if (table == nullptr || table->version != containers::kModuleVersion) {
      loaded.why = "the container readers (" + path.string() + ") are of another version of this program";
      return loaded;
    }
    loaded.table = table;  // kept loaded for the program's life
    return loaded;
  }
  loaded.why =
      "the container readers (" + std::string(containers::kModuleFile) + ") are not installed; looked in " + looked;
  return loaded;
}

}  // namespace

const containers::ModuleTable* ContainerModule(std::string& why) {
  static const Loaded loaded = Load();
  why = loaded.why;
  return loaded.table;
}

}  // namespace morvel
