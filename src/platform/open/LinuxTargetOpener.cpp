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
#include "disk/ContainerSignature.h"
#include "platform/open/ContainerLoader.h"
#endif

namespace morvel {
namespace {

#ifdef MORVEL_CONTAINERS
// A container image through the container module, loaded now if it was not yet; without the
// module, an error that says what is missing.
ImageOpener ContainerOpener() {
  return [](const std::string& path, std::unique_ptr<base::ByteSource>& out) {
    std::string why;
    const containers::ModuleTable* module = ContainerModule(why);
    return module != nullptr ? module->openImage(path, out) : base::Result(base::Status::System, why, EIO);
  };
}

// What a target holds, named by libblkid in the module; without the module, by the signatures
// this program knows, and why it can say no more.
ContentDescriber DescriberOf(const std::string& path) {
  return [path](base::ByteSource* source, int partition) {
    std::string why;
    if (const containers::ModuleTable* module = ContainerModule(why)) return module->describeTarget(path, partition);
    const std::string known = DescribeImageSignature(source, partition);
    return known.empty() ? why : known;
  };
}

SuperblockProber Prober() {
  return [](int fd, std::string& type, std::string& label) {
    std::string why;
    const containers::ModuleTable* module = ContainerModule(why);
    return module != nullptr && module->probeSuperblock(fd, type, label);
  };
}
#else
ImageOpener ContainerOpener() { return nullptr; }

ContentDescriber DescriberOf(const std::string&) {
  return [](base::ByteSource* source, int partition) { return DescribeImageSignature(source, partition); };
}

SuperblockProber Prober() { return nullptr; }
#endif

class LinuxTargetOpener final : public TargetOpener {
 public:
  LinuxTargetOpener()
      : config_(DefaultDriveMapConfig()), machine_(MakeLinuxMachine(config_, ContainerOpener(), Prober())) {}

  std::unique_ptr<OpenedVolume> OpenDrive(char letter) override {
    std::string path;
    const base::Result resolved = ResolveDrive(letter, config_, path);
    SourceOpening opening;
    if (resolved.ok()) {
      opening = OpenSourceAt(path, ContainerOpener());
      opening.inUse = InUse(path);
    } else {
      opening.result = resolved;
    }
    if (!opening.source) opening.where = ExplainDrive(letter, *machine_);
    return std::make_unique<ReaderVolume>(std::move(opening), PartitionChoice{}, DescriberOf(path));
  }

 protected:
  void OpenPath(const std::string& text, PartitionChoice choice, OpenedTarget& target) override {
    // An image file is opened once: what tells it from a file stored on a volume is read from
    // the opening the report then reads.
    if (machine_->Stat(text).kind == PathStatus::Kind::Regular) {
      SourceOpening opening = OpenSourceAt(text, ContainerOpener());
      if (opening.source && (opening.container || HoldsImage(*opening.source))) {
        opening.inUse = InUse(text);
        target.source = text;
        target.volume = std::make_unique<ReaderVolume>(std::move(opening), choice, DescriberOf(text));
        return;
      }
    }
    const PathResolution resolved = ResolvePath(text, *machine_);
    target.source = resolved.source;
    target.mountPoint = resolved.mountPoint;
    SourceOpening opening = OpenSourceAt(resolved.source, ContainerOpener());
    opening.where = resolved.note;
    opening.inUse = InUse(resolved.source);
    if (opening.where.empty() && resolved.source != text) opening.where = "read from " + resolved.source;
    target.volume = std::make_unique<ReaderVolume>(std::move(opening), choice, DescriberOf(text));
  }

 private:
  // Whether `path` is mounted read-write, asked when a check is made; the volume may outlive
  // this opener.
  std::function<bool()> InUse(const std::string& path) const {
    return [machine = machine_, path] { return IsMountedReadWrite(path, *machine); };
  }

  DriveMapConfig config_;
  std::shared_ptr<Machine> machine_;
};

}  // namespace

std::unique_ptr<TargetOpener> MakeTargetOpener(const OpenerSettings&) { return std::make_unique<LinuxTargetOpener>(); }

VolumeList ListMachineVolumes() {
  const auto machine = MakeLinuxMachine(DefaultDriveMapConfig(), ContainerOpener(), Prober());
  return ListVolumes(*machine);
}

}  // namespace morvel
