#include "platform/reader/VolumeLocation.h"

#include <array>
#include <cerrno>
#include <string>
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

// Why partition `number` cannot be read from `table`.
std::string MissingPartition(int number, const disk::PartitionTable& table, disk::Status status) {
  const std::string head = "partition " + std::to_string(number) + " does not exist: ";
  if (status != disk::Status::Ok) return head + "the disk's " + table.scheme + " partition table is damaged";
  if (table.scheme[0] == '\0') return head + "this is a volume or disk without a partition table";
  std::string numbers;
  for (const auto& p : table.partitions) numbers += (numbers.empty() ? "" : ", ") + std::to_string(p.number);
  return head + "the disk's " + table.scheme + " partition table holds " +
         (numbers.empty() ? std::string("no partitions") : "partitions " + numbers);
}

}  // namespace

bool SliceByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > length_ || out.size() > length_ - offset) return false;
  return whole_.ReadAt(offset_ + offset, out);
}

bool SliceByteSource::ReadChunks(std::uint64_t offset, std::uint64_t length, std::size_t chunkSize,
                                 const ChunkConsumer& consume) {
  if (offset > length_ || length > length_ - offset) return false;
  return whole_.ReadChunks(offset_ + offset, length, chunkSize,
                           [&](std::uint64_t at, base::Bytes chunk) { return consume(at - offset_, chunk); });
}

base::Result LocateVolume(base::ByteSource& source, PartitionChoice choice, VolumeExtent& extent,
                          std::vector<std::string>* warnings) {
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
  disk::PartitionTable table;
  const disk::Status status = disk::ReadPartitionTable(source, &ntfs::HasNtfsSignature, table);
  if (status == disk::Status::IoError) return base::ErrnoFailure(EIO);
  if (warnings != nullptr) warnings->insert(warnings->end(), table.warnings.begin(), table.warnings.end());
  for (const auto& p : table.partitions) {
    const bool chosen = choice.number == 0 ? p.looksNtfs : p.number == choice.number;
    if (!chosen) continue;
    if (p.offset >= source.Size())
      return base::ErrnoFailure(ENXIO, "partition " + std::to_string(p.number) + " lies beyond the end of the disk");
    // A partition cut short by a truncated image keeps what is there; the volume query then
    // finds its structures out of reach.
    const std::uint64_t available = source.Size() - p.offset;
    extent = {p.offset, p.length < available ? p.length : available};
    return {};
  }
  if (choice.number != 0) return base::ErrnoFailure(ENXIO, MissingPartition(choice.number, table, status));
  extent = whole;
  return {};
}

}  // namespace morvel
