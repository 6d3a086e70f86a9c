#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "disk/ContainerSignature.h"
#include "ntfs/BootSector.h"
#include "platform/posix/Machine.h"
#include "platform/posix/PosixFile.h"
#include "platform/reader/CachedByteSource.h"
#include "platform/reader/ImageSignature.h"

namespace morvel {
namespace {

// Bounded: the mount table of a busy machine stays far below 1 MiB, and a sysfs attribute or
// udev record below 4 KiB (a page); more is not read.
constexpr std::streamsize kMaxMountTable = 1 << 20;
constexpr std::streamsize kMaxSystemFile = 4096;

std::string ReadSystemFile(const std::string& path, std::streamsize limit = kMaxSystemFile) {
  std::ifstream in(path, std::ios::binary);
  std::string text(static_cast<std::size_t>(limit), '\0');
  in.read(text.data(), limit);
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

std::string FirstLine(std::string text) { return text.substr(0, text.find('\n')); }

std::string DeviceNumber(dev_t dev) { return std::to_string(major(dev)) + ":" + std::to_string(minor(dev)); }

// udev's value of `key` ("ID_FS_TYPE") for the block device "major:minor"; empty without one.
std::string UdevValue(const std::string& number, std::string_view key) {
  std::istringstream lines(ReadSystemFile("/run/udev/data/b" + number));
  const std::string prefix = "E:" + std::string(key) + "=";
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  return {};
}

// Without a prober (libblkid, loaded with the container readers): an NTFS boot sector is
// recognised by its own signature; the label then comes from the volume itself.
void ProbeBySignature(int fd, std::string& type) {
  std::array<std::uint8_t, 512> sector{};
  if (::pread(fd, sector.data(), sector.size(), 0) == static_cast<ssize_t>(sector.size()) &&
      ntfs::HasNtfsSignature(sector))
    type = "ntfs";
}

// The media data of the container image at `path` whose raw bytes are `raw`, through
// `containers`, into `media`; null when `raw` is no container or the build reads none. A
// failure carries its errno value alone: what the container's library said is the word the
// target's describer adds to the report.
base::Result ContainerMedia(base::ByteSource& raw, const std::string& path, const ImageOpener& containers,
                            std::unique_ptr<base::ByteSource>& media) {
  media.reset();
  disk::Container found;
  if (!containers || !disk::RecogniseContainer(raw, found) || found.format == disk::ContainerFormat::None) return {};
  const base::Result opened = OpenDriveSource(path, containers, media);
  if (media) return {};
  return base::ErrnoFailure(opened.code() != 0 ? opened.code() : EIO);
}

class LinuxMachine final : public Machine {
 public:
  LinuxMachine(DriveMapConfig config, ImageOpener containers, SuperblockProber prober)
      : config_(std::move(config)), containers_(std::move(containers)), prober_(std::move(prober)) {}

  std::vector<BlockDevice> BlockDevices() override {
    std::vector<BlockDevice> devices;
    std::error_code ec;
    // Advanced with an error code: a device vanishing meanwhile ends the walk, never the program.
    for (std::filesystem::directory_iterator it("/sys/class/block", ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      const std::string sys = it->path().string();
      // /sys/class/block/*/size counts 512-byte units whatever the device's sector size.
      const std::string sectors = FirstLine(ReadSystemFile(sys + "/size"));
      if (sectors == "0") continue;  // an unused loop device
      std::uint64_t size = 0;
      std::from_chars(sectors.data(), sectors.data() + sectors.size(), size);
      // A loop device names its file; a partition of one (losetup -P) has it from the device
      // it is part of, its folder's parent in sysfs.
      std::string backing = FirstLine(ReadSystemFile(sys + "/loop/backing_file"));
      if (backing.empty()) backing = FirstLine(ReadSystemFile(sys + "/../loop/backing_file"));
      devices.push_back({"/dev/" + name, FirstLine(ReadSystemFile(sys + "/dev")), std::move(backing),
                         size <= (~0ull >> 9) ? size << 9 : 0});
    }
    std::sort(devices.begin(), devices.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return devices;
  }

  std::vector<MountEntry> Mounts() override {
    return ParseMountInfo(ReadSystemFile(config_.mountInfoPath, kMaxMountTable));
  }

  std::string DosDevicesDir() override { return config_.dosdevicesDir; }

  std::vector<std::pair<char, std::string>> DriveLinks() override {
    std::vector<std::pair<char, std::string>> links;
    if (config_.dosdevicesDir.empty()) return links;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
      const std::string link = config_.dosdevicesDir + "/" + std::string(1, letter) + "::";
      std::error_code ec;
      const auto target = std::filesystem::read_symlink(link, ec);
      if (!ec) links.emplace_back(letter, target.string());
    }
    return links;
  }

  PathStatus Stat(const std::string& path) override {
    PathStatus out;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      out.error = errno;
      return out;
    }
    out.kind = S_ISREG(st.st_mode)   ? PathStatus::Kind::Regular
               : S_ISDIR(st.st_mode) ? PathStatus::Kind::Directory
               : S_ISBLK(st.st_mode) ? PathStatus::Kind::Block
                                     : PathStatus::Kind::Other;
    out.fileSystem = DeviceNumber(st.st_dev);
    out.device = S_ISBLK(st.st_mode) ? DeviceNumber(st.st_rdev) : std::string();
    std::error_code ec;
    const auto canonical = std::filesystem::canonical(path, ec);
    out.canonical = ec ? path : canonical.string();
    return out;
  }

  SourceFacts Examine(const std::string& path) override {
    SourceFacts out;
    const PathStatus st = Stat(path);
    UniqueFd fd;
    out.result = OpenFileOrBlockDevice(path, fd);
    if (!fd) {
      // Without the right to read it, udev's record of the device is all there is.
      if (st.kind == PathStatus::Kind::Block) {
        out.ntfs = UdevValue(st.device, "ID_FS_TYPE") == "ntfs";
        out.label = UdevValue(st.device, "ID_FS_LABEL");
      }
      return out;
    }
    std::string type;
    if (!prober_ || !prober_(fd.get(), type, out.label)) ProbeBySignature(fd.get(), type);
    const off_t end = ::lseek(fd.get(), 0, SEEK_END);
    out.size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    // A block device is NTFS by its own superblock (its partitions are listed apart); an image
    // file named by a mount or link may be a whole disk, found as the report finds it.
    if (st.kind == PathStatus::Kind::Block && type != "ntfs") return out;
    FdByteSource raw(std::move(fd), out.size);
    // A container image named by a link is listed with the volume inside it.
    std::unique_ptr<base::ByteSource> media;
    out.result = ContainerMedia(raw, path, containers_, media);
    if (!out.result.ok()) return out;
    base::ByteSource& source = media ? *media : raw;
    if (media) out.size = media->Size();
    VolumeDetails details;
    if (!ReadVolumeDetails(source, {}, details).ok()) {
      out.ntfs = type == "ntfs";
      return out;
    }
    out.ntfs = true;
    out.label = details.facts.label;
    out.version = std::to_string(details.facts.majorVersion) + "." + std::to_string(details.facts.minorVersion);
    return out;
  }

  bool FuseIsNtfs(const MountEntry& mount) override { return config_.fuseIsNtfs && config_.fuseIsNtfs(mount); }

  bool HoldsImage(const std::string& path) override {
    std::unique_ptr<base::ByteSource> source;
    return OpenFdSource(path, source).ok() && morvel::HoldsImage(*source);
  }

 private:
  DriveMapConfig config_;
  ImageOpener containers_;
  SuperblockProber prober_;
};

}  // namespace

std::unique_ptr<Machine> MakeLinuxMachine(DriveMapConfig config, ImageOpener containers, SuperblockProber prober) {
  return std::make_unique<LinuxMachine>(std::move(config), std::move(containers), std::move(prober));
}

SourceOpening OpenSourceAt(const std::string& path, const ImageOpener& containers) {
  SourceOpening out;
  std::error_code ec;
  const auto target = std::filesystem::read_symlink(path, ec);
  out.name = ec ? path : path + " -> " + target.string();
  UniqueFd fd;
  out.result = OpenFileOrBlockDevice(path, fd);
  if (!fd) return out;
  struct stat st {};
  out.blockDevice = ::fstat(fd.get(), &st) == 0 && S_ISBLK(st.st_mode);
  unsigned int physical = 0;
  if (out.blockDevice && ::ioctl(fd.get(), BLKPBSZGET, &physical) == 0) out.physicalSectorSize = physical;
  const off_t end = ::lseek(fd.get(), 0, SEEK_END);
  if (end < 0) {
    out.result = base::ErrnoFailure(errno);
    return out;
  }
  // Cached from the first read: what the signatures read, the volume's reader finds kept.
  auto raw = std::make_unique<CachedByteSource>(
      std::make_unique<FdByteSource>(std::move(fd), static_cast<std::uint64_t>(end)));
  std::unique_ptr<base::ByteSource> media;
  out.result = ContainerMedia(*raw, path, containers, media);
  if (!out.result.ok()) return out;
  out.container = media != nullptr;
  out.source = media ? std::move(media) : std::move(raw);
  return out;
}

}  // namespace morvel
