#include "platform/reader/VolumeLocation.h"

#include <array>
#include <cerrno>
#include <vector>

#include "disk/Partitions.h"
#include "ntfs/BootSector.h"

namespace morvel {
namespace {

enum class BootProbe { Ntfs, Other, Unreadable };

BootProbe ProbeBootSector(base::ByteSource& source) {
  std::array<std::uint8_t, 512> sector{};
  if (source.Size() < sector.size()) return BootProbe::Other;
  if (!source.ReadAt(0, sector)) return BootProbe::Unreadable;
  return ntfs::HasNtfsSignature(sector) ? BootProbe::Ntfs : BootProbe::Other;
}

}  // namespace

bool SliceByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > length_ || out.size() > length_ - offset) return false;
  return whole_.ReadAt(offset_ + offset, out);
}

base::Result LocateVolume(base::ByteSource& source, PartitionChoice choice, VolumeExtent& extent) {
  const VolumeExtent whole{0, source.Size()};
  if (choice.number == 0) {
    // An NTFS boot sector also ends in 0x55AA: check for it before taking the sector as a
    // partition table.
    const BootProbe probe = ProbeBootSector(source);
    if (probe == BootProbe::Unreadable) return base::ErrnoFailure(EIO);
    if (probe == BootProbe::Ntfs) {
      extent = whole;
      return {};
    }
  }
  std::vector<disk::Partition> partitions;
  const disk::Status status = disk::ListPartitions(source, &ntfs::HasNtfsSignature, partitions);
  if (status == disk::Status::IoError) return base::ErrnoFailure(EIO);
  if (status != disk::Status::Ok) partitions.clear();
  for (const auto& p : partitions) {
    const bool chosen = choice.number == 0 ? p.looksNtfs : p.number == choice.number;
    if (!chosen) continue;
    if (p.offset >= source.Size()) return base::ErrnoFailure(ENXIO);
    // A partition cut short by a truncated image keeps what is there; the volume query then
    // finds its structures out of reach.
    const std::uint64_t available = source.Size() - p.offset;
    extent = {p.offset, p.length < available ? p.length : available};
    return {};
  }
  if (choice.number != 0) return base::ErrnoFailure(ENXIO);
  extent = whole;
  return {};
}

}  // namespace morvel
