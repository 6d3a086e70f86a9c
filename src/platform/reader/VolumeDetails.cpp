#include "platform/reader/VolumeDetails.h"

#include <cstdio>
#include <vector>

#include "disk/Partitions.h"
#include "ntfs/BootSector.h"

namespace morvel {
namespace {

// The number of the partition that starts at `offset`; 0 when none does (a bare volume).
int PartitionAt(base::ByteSource& whole, std::uint64_t offset) {
  if (offset == 0) return 0;
  std::vector<disk::Partition> partitions;
  if (disk::ListPartitions(whole, &ntfs::HasNtfsSignature, partitions) != disk::Status::Ok) return 0;
  for (const auto& p : partitions)
    if (p.offset == offset) return p.number;
  return 0;
}

}  // namespace

base::Result ReadVolumeDetails(base::ByteSource& whole, PartitionChoice choice, VolumeDetails& out,
                               ntfs::Volume* opened) {
  VolumeExtent extent;
  if (base::Result located = LocateVolume(whole, choice, extent); !located.ok()) return located;
  out.offset = extent.offset;
  out.partition = choice.number != 0 ? choice.number : PartitionAt(whole, extent.offset);
  SliceByteSource volume(whole, extent.offset, extent.length);
  const ntfs::Result read = ntfs::ReadVolumeFacts(volume, 0, out.facts, opened);
  if (read.ok() || !read.reason().empty()) return read;
  return {read.status(), ntfs::StatusName(read.status())};
}

std::string SerialNumberText(std::uint64_t serial) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(serial));
  return text;
}

}  // namespace morvel
