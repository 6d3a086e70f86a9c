#pragma once
// What the volume listing and the path targets need of a Linux machine: its block devices
// (libblkid), its mounts (mountinfo), the drive-letter links and what a path is. One real
// implementation and a fake in the tests.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Result.h"
#include "platform/posix/DriveMap.h"
#include "platform/reader/VolumeDetails.h"

namespace morvel {

struct BlockDevice {
  std::string path;         // "/dev/sdb1"
  std::string number;       // "8:17"
  std::string backingFile;  // of a loop device
  std::uint64_t size = 0;   // bytes, as the kernel says (readable without the right to open it)
};

struct PathStatus {
  enum class Kind { Regular, Directory, Block, Other };
  int error = 0;  // errno of a failed stat; the other fields are then unset
  Kind kind = Kind::Other;
  std::string fileSystem;  // "major:minor" of the file system holding the path (st_dev)
  std::string device;      // "major:minor" of a block device (st_rdev)
  std::string canonical;   // the path with every link resolved
};

// What reading a device or image found.
struct SourceFacts {
  base::Result result;  // why it could not be read (an errno value); the type and label may come from udev then
  bool ntfs = false;
  std::uint64_t size = 0;
  std::string label;
  std::string version;  // "3.1"; empty when the volume itself could not be read
};

class Machine {
 public:
  virtual ~Machine() = default;
  virtual std::vector<BlockDevice> BlockDevices() = 0;
  virtual std::vector<MountEntry> Mounts() = 0;
  // The links "x::" of the dosdevices folder, each with the target it names as written.
  virtual std::vector<std::pair<char, std::string>> DriveLinks() = 0;
  virtual std::string DosDevicesDir() = 0;
  // Follows links; never opens the path.
  virtual PathStatus Stat(const std::string& path) = 0;
  virtual SourceFacts Examine(const std::string& path) = 0;
  // Whether a fuse or fuseblk mount is ntfs-3g's on an NTFS source.
  virtual bool FuseIsNtfs(const MountEntry& mount) = 0;
  // Whether a regular file is itself a volume or disk image (a boot sector, a partition table
  // or a container's signature at its start) rather than some file stored on a volume.
  virtual bool HoldsImage(const std::string& path) = 0;
};

// The file system type and label in the superblock of the open device or file `fd`; false when
// it cannot tell (the machine then recognises NTFS by its boot sector alone).
using SuperblockProber = std::function<bool(int fd, std::string& type, std::string& label)>;

// Container images (a link's target, a mount's source) are read through `containers` when
// given; superblocks are identified by `prober` when given.
std::unique_ptr<Machine> MakeLinuxMachine(DriveMapConfig config, ImageOpener containers = nullptr,
                                          SuperblockProber prober = nullptr);

// Opens the device or image file at `path` as a report reads it: through its descriptor, never
// blocking on a special file; a container image through `containers` when given, by its real
// path, so that a differencing image finds its parent beside the image rather than beside a
// link. Names a link with what it points at, and a device with its physical sector size
// (BLKPBSZGET).
SourceOpening OpenSourceAt(const std::string& path, const ImageOpener& containers);

}  // namespace morvel
