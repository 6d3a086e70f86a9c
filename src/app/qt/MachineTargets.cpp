#include "app/qt/MachineTargets.h"

#include <memory>

#include "platform/posix/Machine.h"
#include "platform/posix/Volumes.h"
#ifdef MORVEL_CONTAINERS
#include "platform/containers/Containers.h"
#endif

namespace morvel::qt {

ImageOpener ContainerOpener() {
#ifdef MORVEL_CONTAINERS
  return [](const std::string& path, int& error) { return containers::OpenImage(path, error); };
#else
  return nullptr;
#endif
}

TargetOpener MachineTargetOpener() {
  // One view of the machine for the program's life: the mount table is read at each target.
  const std::shared_ptr<Machine> machine = MakeLinuxMachine(DefaultDriveMapConfig(), ContainerOpener());
  return [machine](const std::string& target) {
    return MakeImageVolumeApi(ResolvePath(target, *machine).source, {}, ContainerOpener());
  };
}

}  // namespace morvel::qt
