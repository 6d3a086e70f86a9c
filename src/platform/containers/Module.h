#pragma once
// The container readers as a module of their own, loaded on first use: the libraries of disk-image
// containers (libewf, libvhdi, libvmdk, libqcow, libbfio) and libblkid cost every run their
// loading time, while most runs read a raw image, a device or a drive letter. The programs reach
// the module through this table alone (ContainerLoader.h loads it).
#include <memory>
#include <string>

#include "base/ByteSource.h"
#include "base/Result.h"

namespace morvel::containers {

inline constexpr int kModuleVersion = 1;
inline constexpr const char* kModuleFile = "morvel-containers.so";
inline constexpr const char* kModuleEntry = "morvel_containers_module";

struct ModuleTable {
  int version = kModuleVersion;
  // OpenImage: a container recognised by its signature through its library, anything else raw.
  base::Result (*openImage)(const std::string& path, std::unique_ptr<base::ByteSource>& out) = nullptr;
  // DescribeTarget: what the file at `path` holds when the report found no NTFS volume in it.
  std::string (*describeTarget)(const std::string& path, int partition) = nullptr;
  // libblkid's type and label of the superblock in the open file `fd`; false when none.
  bool (*probeSuperblock)(int fd, std::string& type, std::string& label) = nullptr;
};

}  // namespace morvel::containers

// The module's one exported symbol.
extern "C" const morvel::containers::ModuleTable* morvel_containers_module();
