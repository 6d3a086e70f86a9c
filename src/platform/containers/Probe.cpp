#include "platform/containers/Probe.h"

#include <blkid/blkid.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "disk/ContainerSignature.h"
#include "disk/Partitions.h"
#include "ntfs/BootSector.h"
#include "platform/containers/Containers.h"
#include "platform/posix/PosixFile.h"
#include "platform/reader/VolumeLocation.h"

namespace morvel::containers {
namespace {

// What libblkid is shown of a source: signatures lie in a volume's first and last MiB.
constexpr std::uint64_t kWindow = std::uint64_t{1} << 20;
// Zeros are looked for this far in one volume, and this far in all of a disk's partitions: a
// larger source that is all zeros so far is not called empty.
constexpr std::uint64_t kZeroScan = std::uint64_t{64} << 20;
constexpr std::uint64_t kZeroScanBudget = std::uint64_t{256} << 20;
constexpr int kMaxListed = 64;  // partitions named in one message
constexpr const char* kUnreadable = "data that cannot be read where its partition table or volume lies";

struct Range {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// Passes reads through and remembers where they went: the sectors the partition table reader
// looked at are the ones libblkid needs to see the same table.
class RecordingSource final : public base::ByteSource {
 public:
  explicit RecordingSource(base::ByteSource& whole) : whole_(whole) {}
  std::uint64_t Size() const override { return whole_.Size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    reads_.push_back({offset, out.size()});
    return whole_.ReadAt(offset, out);
  }
  const std::vector<Range>& reads() const { return reads_; }

 private:
  base::ByteSource& whole_;
  std::vector<Range> reads_;
};

// A sparse in-memory file as large as the source, holding only the ranges copied into it:
// libblkid reads a file descriptor, and a container's media data has none.
class Mirror {
 public:
  bool Create(std::uint64_t size) {
    fd_.reset(memfd_create("morvel-probe", MFD_CLOEXEC));
    size_ = size;
    return fd_ && size <= static_cast<std::uint64_t>(INT64_MAX) && ftruncate(fd_.get(), static_cast<off_t>(size)) == 0;
  }
  // Copies [offset, offset + length) of `source`, clipped to its size, to the same place.
  bool Copy(base::ByteSource& source, std::uint64_t offset, std::uint64_t length) {
    if (offset >= size_) return true;
    length = std::min(length, size_ - offset);
    std::vector<std::uint8_t> buffer;
    for (std::uint64_t done = 0; done < length;) {
      const auto n = static_cast<std::size_t>(std::min(length - done, kWindow));
      buffer.resize(n);
      if (!source.ReadAt(offset + done, buffer) || !WriteAll(offset + done, buffer)) return false;
      done += n;
    }
    return true;
  }
  int fd() const { return fd_.get(); }
  std::uint64_t size() const { return size_; }

 private:
  bool WriteAll(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
      const ssize_t n = pwrite(fd_.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
      if (n <= 0) return false;
      bytes = bytes.subspan(static_cast<std::size_t>(n));
      offset += static_cast<std::uint64_t>(n);
    }
    return true;
  }

  UniqueFd fd_;
  std::uint64_t size_ = 0;
};

bool MirrorEnds(base::ByteSource& source, Mirror& mirror) {
  const std::uint64_t size = source.Size();
  return mirror.Create(size) && mirror.Copy(source, 0, kWindow) &&
         mirror.Copy(source, size > kWindow ? size - kWindow : 0, kWindow);
}

struct ProbeDeleter {
  void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};
using UniqueProbe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeDeleter>;

UniqueProbe NewProbe(const Mirror& mirror) {
  UniqueProbe probe(blkid_new_probe());
  if (probe && blkid_probe_set_device(probe.get(), mirror.fd(), 0, static_cast<blkid_loff_t>(mirror.size())) != 0) {
    probe.reset();
  }
  return probe;
}

std::string Lookup(blkid_probe probe, const char* name) {
  const char* value = nullptr;
  std::size_t length = 0;
  if (blkid_probe_lookup_value(probe, name, &value, &length) != 0 || value == nullptr) return {};
  return std::string(value, strnlen(value, length));
}

constexpr const char* kNtfsText = "NTFS file system";

// libblkid's name of a signature in the words of the messages.
std::string SignatureText(const std::string& type, const std::string& version, const std::string& usage) {
  if (type == "exfat") return "exFAT file system";
  if (type == "vfat") return (version.empty() ? std::string("FAT") : version) + " file system";
  if (type == "BitLocker") return disk::kBitLockerText;
  if (type == "crypto_LUKS") return "LUKS-encrypted volume";
  if (type == "ntfs") return kNtfsText;
  if (type == "swap") return "Linux swap space";
  if (usage == "crypto") return type + "-encrypted volume";
  if (usage == "raid") return "a member of a " + type + " set";
  if (usage == "filesystem") return type + " file system";
  return type + " signature";
}

// The file system signature of a volume, or empty.
std::string ProbeSuperblocks(const Mirror& mirror) {
  UniqueProbe probe = NewProbe(mirror);
  if (!probe) return {};
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION | BLKID_SUBLKS_USAGE);
  blkid_probe_enable_partitions(probe.get(), 0);
  const int found = blkid_do_safeprobe(probe.get());
  if (found == -2) return "signatures of more than one file system";
  if (found != 0) return {};
  return SignatureText(Lookup(probe.get(), "TYPE"), Lookup(probe.get(), "VERSION"), Lookup(probe.get(), "USAGE"));
}

// "empty (all zeros)", "no known file system", or empty when the source cannot be read. Takes
// what it reads from `budget`.
std::string DescribeUnknown(base::ByteSource& source, std::uint64_t& budget) {
  std::vector<std::uint8_t> chunk;
  const std::uint64_t scan = std::min({source.Size(), kZeroScan, budget});
  budget -= scan;
  for (std::uint64_t done = 0; done < scan;) {
    chunk.resize(static_cast<std::size_t>(std::min(scan - done, kWindow)));
    if (!source.ReadAt(done, chunk)) return {};
    if (std::any_of(chunk.begin(), chunk.end(), [](std::uint8_t b) { return b != 0; })) return "no known file system";
    done += chunk.size();
  }
  if (scan == source.Size()) return "empty (all zeros)";
  if (scan < kWindow) return "no known file system";  // the budget ran out before a MiB was seen
  return "no known file system (its first " + std::to_string(scan >> 20) + " MiB are all zeros)";
}

std::string DescribeVolume(base::ByteSource& source, std::uint64_t& budget) {
  std::array<std::uint8_t, 512> sector{};
  if (source.Size() >= sector.size() && source.ReadAt(0, sector) && disk::HasBitLockerSignature(sector)) {
    return disk::kBitLockerText;
  }
  Mirror mirror;
  if (MirrorEnds(source, mirror)) {
    if (std::string found = ProbeSuperblocks(mirror); !found.empty()) return found;
  }
  return DescribeUnknown(source, budget);
}

// The usual meaning of a partition type, or empty; what the partition holds is probed apart.
std::string_view PartitionTypeName(std::string_view code) {
  static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
      {"0x05", "extended"},
      {"0x07", "NTFS or exFAT"},
      {"0x0b", "FAT32"},
      {"0x0c", "FAT32"},
      {"0x0f", "extended"},
      {"0x27", "Windows recovery"},
      {"0x82", "Linux swap"},
      {"0x83", "Linux"},
      {"0x8e", "Linux LVM"},
      {"0xee", "GPT protective"},
      {"0xef", "EFI system"},
      {"c12a7328-f81f-11d2-ba4b-00a0c93ec93b", "EFI system"},
      {"e3c9e316-0b5c-4db8-817d-f92df00215ae", "Microsoft reserved"},
      {"ebd0a0a2-b9e5-4433-87c0-68b6b72699c7", "Microsoft basic data"},
      {"de94bba4-06d1-4d40-a16a-bfd50179d6ac", "Windows recovery"},
      {"0fc63daf-8483-4772-8e79-3d69d8477de4", "Linux"},
      {"0657fd6d-a4ab-43c4-84e5-0933c84b4f4f", "Linux swap"},
  };
  for (const auto& [known, name] : kNames) {
    if (code == known) return name;
  }
  return {};
}

// "Linux, type 0x83"; "type 1234..." for a type without a usual meaning.
std::string PartitionTypeText(blkid_partition partition) {
  std::string code;
  if (const char* guid = blkid_partition_get_type_string(partition); guid != nullptr) {
    code = guid;
    std::transform(code.begin(), code.end(), code.begin(),
                   [](char c) { return c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c; });
  } else {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned>(blkid_partition_get_type(partition)) & 0xFFu);
    code = text;
  }
  const std::string_view name = PartitionTypeName(code);
  return name.empty() ? "type " + code : std::string(name) + ", type " + code;
}

// "no NTFS partition among ...: partition 1 (type 0x83): ext4 file system; ...", or empty
// when libblkid finds no partition table.
std::string DescribePartitions(base::ByteSource& source, std::uint64_t& budget) {
  RecordingSource recording(source);
  std::vector<disk::Partition> ours;
  disk::ListPartitions(recording, &ntfs::HasNtfsSignature, ours);
  Mirror mirror;
  if (!MirrorEnds(source, mirror)) return {};
  for (const Range& read : recording.reads()) {
    if (!mirror.Copy(source, read.offset, read.length)) return {};
  }
  UniqueProbe probe = NewProbe(mirror);
  blkid_partlist list = probe ? blkid_probe_get_partitions(probe.get()) : nullptr;
  if (list == nullptr) return {};
  const blkid_parttable table = blkid_partlist_get_table(list);
  const char* tableType = table != nullptr ? blkid_parttable_get_type(table) : nullptr;
  const int count = blkid_partlist_numof_partitions(list);
  std::string text = "a whole disk (" + std::string(tableType != nullptr ? tableType : "unknown") +
                     " partition table) with no NTFS partition";
  if (count <= 0) return text + ": no partitions";
  for (int i = 0; i < count && i < kMaxListed; ++i) {
    blkid_partition partition = blkid_partlist_get_partition(list, i);
    if (partition == nullptr) continue;
    // In 512-byte sectors, as libblkid counts them whatever the disk's sector size.
    const blkid_loff_t start = blkid_partition_get_start(partition);
    const blkid_loff_t length = blkid_partition_get_size(partition);
    const std::uint64_t sectors = source.Size() / 512;
    std::string contents = "beyond the end of the disk";
    if (start >= 0 && length >= 0 && static_cast<std::uint64_t>(start) < sectors) {
      const std::uint64_t offset = static_cast<std::uint64_t>(start) * 512;
      SliceByteSource slice(
          source, offset,
          std::min(static_cast<std::uint64_t>(length), sectors - static_cast<std::uint64_t>(start)) * 512);
      contents = DescribeVolume(slice, budget);
      // libblkid reads partition tables its own way: never call a partition NTFS that the
      // report, which found none, could not open.
      if (contents == kNtfsText)
        contents = "an NTFS signature where libblkid reads this table, which is damaged as this program reads it";
    }
    text += (i == 0 ? ": " : "; ") + std::string("partition ") + std::to_string(blkid_partition_get_partno(partition)) +
            " (" + PartitionTypeText(partition) + "): " + contents;
  }
  if (count > kMaxListed) text += "; and " + std::to_string(count - kMaxListed) + " more";
  return text;
}

}  // namespace

std::string DescribeContents(base::ByteSource& source, int partition) {
  VolumeExtent extent;
  const base::Result located = LocateVolume(source, PartitionChoice{partition}, extent);
  if (located.code() == EIO) return kUnreadable;
  if (!located.ok()) return {};  // no such partition: the report's line says so
  std::uint64_t budget = kZeroScanBudget;
  if (extent.offset != 0 || extent.length != source.Size()) {
    SliceByteSource slice(source, extent.offset, extent.length);
    return DescribeVolume(slice, budget);
  }
  // The whole source: a volume, or a disk whose partitions hold no NTFS.
  std::string found = DescribeVolume(source, budget);
  if (found.rfind("no known file system", 0) != 0 && found.rfind("empty", 0) != 0) return found;
  std::string disk = DescribePartitions(source, budget);
  return disk.empty() ? found : disk;
}

std::string DescribeTarget(const std::string& path, int partition) {
  disk::Container container;
  std::unique_ptr<base::ByteSource> source;
  if (const base::Result opened = OpenImage(path, source, &container); !opened.ok()) {
    if (container.format == disk::ContainerFormat::None) return {};
    return disk::DescribeContainer(container) + " that cannot be read: " + opened.reason();
  }
  if (!Readable(container)) return disk::DescribeContainer(container) + ", which this build cannot read";
  std::string contents = DescribeContents(*source, partition);
  if (contents == kUnreadable && container.format != disk::ContainerFormat::None) {
    if (std::string damage = DescribeDamage(*source); !damage.empty())
      return disk::DescribeContainer(container) + " that cannot be read: " + damage;
    return disk::DescribeContainer(container) +
           " whose data cannot be read where its partition table or volume lies "
           "(a damaged or truncated image)";
  }
  return contents;
}

}  // namespace morvel::containers
