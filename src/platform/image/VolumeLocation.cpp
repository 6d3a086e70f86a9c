#include "VolumeLocation.h"

#include <array>
#include <cerrno>
#include <string_view>
#include <vector>

namespace morvel {
namespace {

enum class BootProbe { Ntfs, Other, Unreadable };

BootProbe ProbeBootSector(ntfs::ByteSource& source) {
  std::array<std::uint8_t, 8> oem{};
  if (source.Size() < 512) return BootProbe::Other;
  // 0x03: OEM identifier, "NTFS" padded with blanks on an NTFS boot sector.
  if (!source.ReadAt(3, oem)) return BootProbe::Unreadable;
  const std::string_view text(reinterpret_cast<const char*>(oem.data()), oem.size());
  return text == "NTFS    " ? BootProbe::Ntfs : BootProbe::Other;
}

}  // namespace

bool SliceByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > length_ || out.size() > length_ - offset) return false;
  return whole_.ReadAt(offset_ + offset, out);
}

int LocateVolume(ntfs::ByteSource& source, PartitionChoice choice, VolumeExtent& extent) {
  const VolumeExtent whole{0, source.Size()};
  if (choice.number == 0) {
    // An NTFS boot sector also ends in 0x55AA: check for it before taking the sector as a
    // partition table.
    const BootProbe probe = ProbeBootSector(source);
    if (probe == BootProbe::Unreadable) return EIO;
    if (probe == BootProbe::Ntfs) {
      extent = whole;
      return 0;
    }
  }
  std::vector<ntfs::Partition> partitions;
  const ntfs::Status status = ntfs::ListPartitions(source, partitions);
  if (status == ntfs::Status::IoError) return EIO;
  if (status != ntfs::Status::Ok) partitions.clear();
  for (const auto& p : partitions) {
    const bool chosen = choice.number == 0 ? p.looksNtfs : p.number == choice.number;
    if (!chosen) continue;
    if (p.offset >= source.Size()) return ENXIO;
    // A partition cut short by a truncated image keeps what is there; the volume query then
    // finds its structures out of reach.
    const std::uint64_t available = source.Size() - p.offset;
    extent = {p.offset, p.length < available ? p.length : available};
    return 0;
  }
  if (choice.number != 0) return ENXIO;
  extent = whole;
  return 0;
}

}  // namespace morvel
