// Fuzzes the whole read path: partition table, volume open, volume data, the system files'
// extents, root lookups, the volume's facts, the consistency check.
#include <cstdlib>

#include "disk/Partitions.h"
#include "fuzz/SparseImage.h"
#include "base/BitCount.h"
#include "ntfs/BootSector.h"
#include "ntfs/Check.h"
#include "ntfs/ScanCheck.h"
#include "ntfs/Extents.h"
#include "ntfs/Ntfs.h"
#include "ntfs/VolumeFacts.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Every refusal says why, in printable ASCII of the reader's own words: a reason never carries
// text read from the volume.
void CheckReason(const ntfs::Result& r) {
  Check(r.ok() == r.reason().empty());
  for (const char c : r.reason()) Check(c >= 0x20 && c < 0x7F);
}

void ReadVolume(base::ByteSource& source, std::uint64_t offset) {
  ntfs::VolumeFacts facts;
  // A label is at most 128 UTF-16 units, each at most 3 bytes of UTF-8 (a surrogate pair: 4 for 2).
  const ntfs::Result read = ntfs::ReadVolumeFacts(source, offset, facts);
  CheckReason(read);
  if (read.ok()) Check(facts.label.size() <= 3 * 128);
  std::unique_ptr<ntfs::Volume> volume;
  const ntfs::Result opened = ntfs::Volume::Open(source, offset, volume);
  CheckReason(opened);
  if (!opened.ok()) return;
  ntfs::VolumeData data;
  std::uint64_t observed = 0;  // the clusters the bitmap counter was shown, in order
  volume->CountBitmapWith([&observed](std::uint64_t first, base::Bytes bytes, std::uint64_t clusters) {
    Check(first == observed && clusters <= bytes.size() * 8);
    observed += clusters;
    return base::CountSetBits(bytes, clusters);
  });
  const ntfs::Result queried = volume->QueryVolumeData(data);
  CheckReason(queried);
  if (queried.ok()) {
    Check(data.FreeClusters >= 0 && data.FreeClusters <= data.TotalClusters);
    Check(data.MftZoneStart <= data.MftZoneEnd && data.MftZoneEnd <= data.TotalClusters);
    Check(data.MftValidDataLength <= data.NumberSectors * data.BytesPerSector);
    Check(observed == static_cast<std::uint64_t>(data.TotalClusters));
    const ntfs::Result extents = ntfs::VisitMetadataExtents(source, offset, [&data](const ntfs::Extent& e) {
      const auto total = static_cast<std::uint64_t>(data.TotalClusters);
      Check(e.length > 0 && e.lcn < total && e.length <= total - e.lcn);
    });
    CheckReason(extents);
  }
  ntfs::CheckFindings findings;
  CheckReason(ntfs::CheckVolume(source, offset, findings));
  for (const ntfs::CheckFinding& f : findings) Check(!f.code.empty() && !f.text.empty());
  for (const char* name : {"$mft", "$UpCase", "$bitmap", "$badclust", "\xC3\xA9"}) {
    std::optional<ntfs::RootEntry> entry;
    CheckReason(volume->FindRootEntry(name, entry));
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
