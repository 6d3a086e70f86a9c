#include "platform/win32/Win32DriverDetails.h"

#include <array>
#include <cstdio>
#include <limits>

#include "base/Bytes.h"
#include "ntfs/VolumeFacts.h"
#include "platform/win32/calls/VolumeRecord.h"

namespace morvel {
namespace {

// NTFS_EXTENDED_VOLUME_DATA follows the 96-byte NTFS_VOLUME_DATA_BUFFER.
constexpr std::size_t kExtendedAt = kVolumeDataSize;
// FSCTL_IS_VOLUME_DIRTY's bits.
constexpr std::uint32_t kVolumeIsDirty = 0x1;
constexpr std::uint32_t kVolumeUpgradeScheduled = 0x2;
// PARTITION_INFORMATION_EX up to its partition number.
constexpr std::size_t kPartitionInformationBytes = 0x1C;

struct FlagName {
  std::uint32_t bit;
  const char* name;
};

// The documented values of the FILE_* flags GetVolumeInformationW reports.
constexpr std::array<FlagName, 29> kFileSystemFlags = {{
    {0x00000001, "case-sensitive search"},
    {0x00000002, "case-preserved names"},
    {0x00000004, "Unicode names"},
    {0x00000008, "ACLs"},
    {0x00000010, "file compression"},
    {0x00000020, "quotas"},
    {0x00000040, "sparse files"},
    {0x00000080, "reparse points"},
    {0x00000100, "remote storage"},
    {0x00000200, "cleanup result info"},
    {0x00000400, "POSIX unlink and rename"},
    {0x00000800, "bypass I/O"},
    {0x00001000, "stream snapshots"},
    {0x00002000, "case-sensitive folders"},
    {0x00008000, "compressed volume"},
    {0x00010000, "object IDs"},
    {0x00020000, "encryption"},
    {0x00040000, "named streams"},
    {0x00080000, "read-only volume"},
    {0x00100000, "sequential write once"},
    {0x00200000, "transactions"},
    {0x00400000, "hard links"},
    {0x00800000, "extended attributes"},
    {0x01000000, "open by file ID"},
    {0x02000000, "USN journal"},
    {0x04000000, "integrity streams"},
    {0x08000000, "block reference counting"},
    {0x10000000, "sparse valid data length"},
    {0x20000000, "direct access"},
}};

std::string Refused(DriverQueries& q, const char* request, std::uint32_t error) {
  return std::string(request) + " failed: " + q.Message(error);
}

// NTFS_VOLUME_DATA_BUFFER and NTFS_EXTENDED_VOLUME_DATA: serial number, sizes, NTFS version,
// physical sector size.
void DecodeDriverVolumeData(const std::vector<std::uint8_t>& bytes, VolumeDetails& out) {
  const NtfsVolumeData data =
      DecodeVolumeData(std::span<const std::uint8_t, kVolumeDataSize>(bytes.data(), kVolumeDataSize));
  ntfs::VolumeFacts& f = out.facts;
  f.serialNumber = static_cast<std::uint64_t>(data.VolumeSerialNumber);
  f.bytesPerSector = data.BytesPerSector;
  const auto sectors = static_cast<std::uint64_t>(data.NumberSectors);
  const bool fits = data.NumberSectors >= 0 && (f.bytesPerSector == 0 || sectors <= UINT64_MAX / f.bytesPerSector);
  f.bytes = fits ? sectors * f.bytesPerSector : 0;
  const base::Bytes extended(bytes.data() + kExtendedAt, bytes.size() - kExtendedAt);
  // 0x00: ByteCount, the size of the extended record the driver filled in.
  const std::size_t filled =
      extended.size() >= 4 ? std::min<std::size_t>(base::Le32(extended, 0x00), extended.size()) : 0;
  if (filled < 8) {
    out.driver->versionUnknown = "the driver gave no extended volume data";
    return;
  }
  const std::uint16_t major = base::Le16(extended, 0x04);  // 0x04: MajorVersion
  const std::uint16_t minor = base::Le16(extended, 0x06);  // 0x06: MinorVersion
  if (major > 0xFF || minor > 0xFF) {
    out.driver->versionUnknown = "the driver gave version " + std::to_string(major) + "." + std::to_string(minor);
  } else {
    f.majorVersion = static_cast<std::uint8_t>(major);
    f.minorVersion = static_cast<std::uint8_t>(minor);
  }
  if (filled >= 12) out.physicalSectorSize = base::Le32(extended, 0x08);  // 0x08: BytesPerPhysicalSector
}

void ReadDirtyFlags(DriverQueries& q, VolumeDetails& out) {
  std::uint32_t dirty = 0;
  if (const std::uint32_t error = q.DirtyFlags(dirty); error != 0) {
    out.driver->flagsUnknown = Refused(q, "FSCTL_IS_VOLUME_DIRTY", error);
    return;
  }
  out.facts.flags =
      static_cast<std::uint16_t>(((dirty & kVolumeIsDirty) != 0 ? ntfs::kVolumeDirty : 0) |
                                 ((dirty & kVolumeUpgradeScheduled) != 0 ? ntfs::kVolumeUpgradeOnMount : 0));
}

void ReadPartition(DriverQueries& q, VolumeDetails& out) {
  std::vector<std::uint8_t> bytes;
  if (const std::uint32_t error = q.PartitionInformation(bytes); error != 0) {
    out.driver->partitionUnknown = Refused(q, "IOCTL_DISK_GET_PARTITION_INFO_EX", error);
    return;
  }
  if (bytes.size() < kPartitionInformationBytes) {
    out.driver->partitionUnknown = "the partition information has " + std::to_string(bytes.size()) + " bytes";
    return;
  }
  const std::int64_t start = static_cast<std::int64_t>(base::Le64(bytes, 0x08));  // 0x08: StartingOffset
  const std::uint32_t number = base::Le32(bytes, 0x18);                           // 0x18: PartitionNumber
  if (start < 0 || number > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
    out.driver->partitionUnknown = "the partition information is out of range";
    return;
  }
  out.offset = static_cast<std::uint64_t>(start);
  out.partition = static_cast<int>(number);
}

void ReadMftExtents(DriverQueries& q, VolumeDetails& out) {
  std::uint64_t extents = 0;
  if (const std::uint32_t error = q.MftExtents(extents); error != 0)
    out.driver->mftExtentsUnknown = Refused(q, "FSCTL_GET_RETRIEVAL_POINTERS on $MFT", error);
  else
    out.facts.mftExtents = static_cast<std::size_t>(extents);
}

// Resuming Windows finds "hibr" or "HIBR" at the start of hiberfil.sys, as the reader judges it.
void ReadHibernation(DriverQueries& q, VolumeDetails& out) {
  ntfs::VolumeFacts& f = out.facts;
  bool exists = false;
  std::string head;
  if (const std::uint32_t error = q.HiberfilHead(exists, head); error != 0) {
    f.hibernation = ntfs::Hibernation::Unreadable;
    out.driver->hibernationUnknown = q.Message(error);
    return;
  }
  if (!exists) {
    f.hibernation = ntfs::Hibernation::NoFile;
    return;
  }
  f.hibernation = ntfs::Hibernation::NotHibernated;
  if (head.size() < 4) return;  // shorter than a header: nothing to resume
  f.hibernationSignature = head.substr(0, 4);
  if (f.hibernationSignature == "hibr" || f.hibernationSignature == "HIBR")
    f.hibernation = ntfs::Hibernation::Hibernated;
}

}  // namespace

std::vector<std::string> FileSystemFlagNames(std::uint32_t flags) {
  std::vector<std::string> names;
  for (std::uint32_t bit = 1; bit != 0; bit <<= 1) {
    if ((flags & bit) == 0) continue;
    const char* name = nullptr;
    for (const FlagName& f : kFileSystemFlags)
      if (f.bit == bit) name = f.name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(bit));
    names.emplace_back(name != nullptr ? name : hex);
  }
  return names;
}

base::Result ReadDriverDetails(char letter, DriverQueries& q, VolumeDetails& out) {
  out = VolumeDetails{};
  out.source = std::string("\\\\.\\") + letter + ":";
  out.blockDevice = true;
  out.driver.emplace();
  DriverQueries::Information info;
  if (const std::uint32_t error = q.VolumeInformation(info); error != 0)
    return {base::Status::System, Refused(q, "GetVolumeInformationW", error), static_cast<int>(error)};
  if (info.fileSystem != "NTFS")
    return {base::Status::NotNtfs, "not an NTFS volume (its file system is " + info.fileSystem + ")"};
  out.facts.label = info.label;
  out.driver->fileSystemFlags = info.flags;
  out.driver->fileSystemFlagNames = FileSystemFlagNames(info.flags);
  std::vector<std::uint8_t> data;
  if (const std::uint32_t error = q.VolumeData(data); error != 0)
    return {base::Status::System, Refused(q, "the volume-data request (FSCTL_GET_NTFS_VOLUME_DATA)", error),
            static_cast<int>(error)};
  if (data.size() < kVolumeDataSize)
    return {base::Status::IoError, "the volume-data request gave " + std::to_string(data.size()) +
                                       " bytes, fewer than " + std::to_string(kVolumeDataSize)};
  DecodeDriverVolumeData(data, out);
  ReadDirtyFlags(q, out);
  ReadPartition(q, out);
  ReadMftExtents(q, out);
  ReadHibernation(q, out);
  return {};
}

}  // namespace morvel
