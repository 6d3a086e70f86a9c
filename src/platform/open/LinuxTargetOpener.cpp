// Targets on Linux: a drive letter names what its dosdevices link points at, or the NTFS
// volume mounted in its place; a path is the device or image itself, or the mounted NTFS
// volume that holds a folder or file. Container images are read through their libraries where
// this build has them; what a target holds when it is not NTFS is named by libblkid there, by
// the container signatures alone elsewhere.
#include <memory>

#include "platform/open/TargetOpener.h"
#include "platform/posix/Machine.h"
#include "platform/posix/Volumes.h"
#include "platform/reader/ImageSignature.h"
#include "platform/reader/ReaderVolume.h"
#ifdef MORVEL_CONTAINERS
#include "platform/containers/Containers.h"
#include "platform/containers/Probe.h"
#endif

namespace morvel {
namespace {

ImageOpener ContainerOpener() {
#ifdef MORVEL_CONTAINERS
  return
      [](const std::string& path, std::unique_ptr<base::ByteSource>& out) { return containers::OpenImage(path, out); };
#else
  return nullptr;
#endif
}

ContentDescriber DescriberOf(const std::string& path) {
#ifdef MORVEL_CONTAINERS
  return [path](base::ByteSource*, int partition) { return containers::DescribeTarget(path, partition); };
#else
  return [path](base::ByteSource* source, int partition) {
    return source != nullptr ? DescribeImageSignature(*source, partition) : std::string();
  };
#endif
}

class LinuxTargetOpener final : public TargetOpener {
 public:
  LinuxTargetOpener() : config_(DefaultDriveMapConfig()), machine_(MakeLinuxMachine(config_, ContainerOpener())) {}

  OpenedTarget Open(const std::string& text, PartitionChoice choice) override {
    OpenedTarget target;
    target.title = text;
    if (const char letter = DriveLetterOf(text); letter != 0) {
      target.title = std::string(1, letter);
      target.letter = letter;
      target.volume = OpenDrive(letter);
      return target;
    }
    // An image file is opened once: what tells it from a file stored on a volume is read from
    // the opening the report then reads.
    if (machine_->Stat(text).kind == PathStatus::Kind::Regular) {
      SourceOpening opening = OpenSourceAt(text, ContainerOpener());
      if (opening.source && (opening.container || HoldsImage(*opening.source))) {
        target.source = text;
        target.volume = std::make_unique<ReaderVolume>(std::move(opening), choice, DescriberOf(text));
        return target;
      }
    }
    const PathResolution resolved = ResolvePath(text, *machine_);
    target.source = resolved.source;
    target.mountPoint = resolved.mountPoint;
    SourceOpening opening = OpenSourceAt(resolved.source, ContainerOpener());
    opening.where = resolved.note;
    if (opening.where.empty() && resolved.source != text) opening.where = "read from " + resolved.source;
    target.volume = std::make_unique<ReaderVolume>(std::move(opening), choice, DescriberOf(text));
    return target;
  }

  std::unique_ptr<OpenedVolume> OpenDrive(char letter) override {
    std::string path;
    const base::Result resolved = ResolveDrive(letter, config_, path);
    SourceOpening opening;
    if (resolved.ok()) {
      opening = OpenSourceAt(path, ContainerOpener());
    } else {
      opening.result = resolved;
    }
    if (!opening.source) opening.where = ExplainDrive(letter, *machine_);
    return std::make_unique<ReaderVolume>(std::move(opening), PartitionChoice{}, DescriberOf(path));
  }

 private:
  DriveMapConfig config_;
  std::unique_ptr<Machine> machine_;
};

}  // namespace

std::unique_ptr<TargetOpener> MakeTargetOpener(const OpenerSettings&) { return std::make_unique<LinuxTargetOpener>(); }

VolumeList ListMachineVolumes() {
  const auto machine = MakeLinuxMachine(DefaultDriveMapConfig(), ContainerOpener());
  return ListVolumes(*machine);
}

}  // namespace morvel
