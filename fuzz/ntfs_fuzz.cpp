// Fuzzes the whole read path: partition table, volume open, volume data, root lookups, the
// volume's facts.
#include <cstdlib>

#include "disk/Partitions.h"
#include "ntfs/BootSector.h"
#include "ntfs/Ntfs.h"
#include "ntfs/VolumeFacts.h"
#include "fuzz/SparseImage.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadVolume(base::ByteSource& source, std::uint64_t offset) {
  ntfs::VolumeFacts facts;
  // A label is at most 128 UTF-16 units, each at most 3 bytes of UTF-8 (a surrogate pair: 4 for 2).
  if (ntfs::ReadVolumeFacts(source, offset, facts) == ntfs::Status::Ok) Check(facts.label.size() <= 3 * 128);
  std::unique_ptr<ntfs::Volume> volume;
  if (ntfs::Volume::Open(source, offset, volume) != ntfs::Status::Ok) return;
  ntfs::VolumeData data;
  if (volume->QueryVolumeData(data) == ntfs::Status::Ok) {
    Check(data.FreeClusters >= 0 && data.FreeClusters <= data.TotalClusters);
    Check(data.MftZoneStart <= data.MftZoneEnd && data.MftZoneEnd <= data.TotalClusters);
  }
  for (const char* name : {"$mft", "$UpCase", "$bitmap", "$badclust", "\xC3\xA9"}) {
    std::optional<ntfs::RootEntry> entry;
    volume->FindRootEntry(name, entry);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntfs::fuzzing::SparseImage image(data, size);
  std::vector<disk::Partition> partitions;
  disk::ListPartitions(image, &ntfs::HasNtfsSignature, partitions);
  ReadVolume(image, 0);
  int opened = 0;
  for (const disk::Partition& p : partitions)
    if (p.looksNtfs && opened++ < 4) ReadVolume(image, p.offset);
  return 0;
}
