#include "platform/containers/Module.h"

#include <blkid.h>

#include "platform/containers/Containers.h"
#include "platform/containers/Probe.h"

namespace morvel::containers {
namespace {

struct ProbeDeleter {
  void operator()(blkid_probe p) const { blkid_free_probe(p); }
};
using UniqueProbe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeDeleter>;

bool ProbeSuperblock(int fd, std::string& type, std::string& label) {
  UniqueProbe probe(blkid_new_probe());
  if (!probe || blkid_probe_set_device(probe.get(), fd, 0, 0) != 0) return false;
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL);
  if (blkid_do_safeprobe(probe.get()) != 0) return true;  // no known superblock: told, not unknown
  const char* value = nullptr;
  if (blkid_probe_lookup_value(probe.get(), "TYPE", &value, nullptr) == 0 && value != nullptr) type = value;
  if (blkid_probe_lookup_value(probe.get(), "LABEL", &value, nullptr) == 0 && value != nullptr) label = value;
  return true;
}

base::Result Open(const std::string& path, std::unique_ptr<base::ByteSource>& out) { return OpenImage(path, out); }

const ModuleTable kTable = {kModuleVersion, &Open, &DescribeTarget, &ProbeSuperblock};

}  // namespace
}  // namespace morvel::containers

extern "C" __attribute__((visibility("default"))) const morvel::containers::ModuleTable* morvel_containers_module() {
  return &morvel::containers::kTable;
}
