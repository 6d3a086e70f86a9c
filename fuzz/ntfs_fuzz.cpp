// Fuzzes the whole read path: partition table, volume open, volume data, the system files'
// extents, root lookups, the volume's facts, the sequential scan of $MFT and the owners of the
// map's cells it gives, the consistency check.
#include <cstdlib>

#include "base/BitCount.h"
#include "core/map/ClusterMap.h"
#include "core/map/MapFiles.h"
#include "core/map/MapSvg.h"
#include "disk/Partitions.h"
#include "fuzz/SparseImage.h"
#include "ntfs/BootSector.h"
#include "ntfs/Check.h"
#include "ntfs/Extents.h"
#include "ntfs/MftScan.h"
#include "ntfs/Ntfs.h"
#include "ntfs/ScanCheck.h"
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

// The scan keeps what it finds inside its bounds: runs inside the volume, every file's streams
// and path readable, problems counted with their reasons.
void ScanVolume(ntfs::Volume& volume, std::uint64_t totalClusters) {
  ntfs::MftScan scan;
  const ntfs::Result r = ntfs::MftScan::Run(*volume.Reader(), scan);
  CheckReason(r);
  if (!r.ok()) return;
  Check(scan.RecordsFlaggedInUse() <= scan.RecordCount() && scan.RecordsInUseByBitmap() <= scan.RecordCount());
  Check(scan.Problems().size() <= scan.ProblemCount() && scan.KeptBytes() <= ntfs::kMaxScanBytes + (4u << 20));
  std::uint64_t last = 0;
  bool first = true;
  scan.ForEachFile([&](const ntfs::ScannedFile& f) {
    Check(first || f.record > last);
    first = false;
    last = f.record;
    Check(scan.FlaggedInUse(f.record) && scan.File(f.record) == &f);
    for (const ntfs::ScannedStream& s : f.streams) {
      Check(s.runs.size() <= ntfs::kMaxRuns);
      for (const ntfs::Run& run : s.runs)
        Check(run.lcn == ntfs::kSparse || (run.lcn < totalClusters && run.length <= totalClusters - run.lcn));
      Check(ntfs::CountFragments(s.runs) <= s.runs.size());
    }
    Check(!scan.PathOf(f.record).empty());
  });
  for (const ntfs::ScanProblem& p : scan.Problems()) Check(!p.reason.empty());
  // The files laid over a small map: taken in record order, each cell's owners in order, every
  // owner a file of the scan with no more clusters there than the cell has.
  morvel::ClusterMap map(totalClusters, 4096, 64);
  morvel::MapFileBuilder builder(map);
  std::vector<morvel::OwnedExtent> extents;
  scan.ForEachFile([&](const ntfs::ScannedFile& f) {
    extents.clear();
    for (const ntfs::ScannedStream& s : f.streams)
      for (const ntfs::Run& run : s.runs)
        if (run.lcn != ntfs::kSparse)
          extents.push_back({run.lcn, run.length, morvel::KindOfAttribute(f.record, s.type, s.name)});
    Check(builder.AddFile(f.record, extents));
  });
  for (std::size_t cell = 0; cell < map.CellCount(); ++cell) {
    const auto owners = map.CellOwners(cell);
    Check(owners.size() <= morvel::kCellOwners);
    for (std::size_t i = 0; i < owners.size(); ++i) {
      Check(scan.File(owners[i].record) != nullptr && owners[i].clusters <= map.CellClusters(cell));
      Check(i == 0 || owners[i - 1].clusters >= owners[i].clusters);
    }
  }
  for (const std::uint64_t record : map.OwnerRecords()) map.SetOwnerPath(record, scan.PathOf(record));
  Check(!morvel::MapSvg(map, "fuzz").empty());
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
    ScanVolume(*volume, static_cast<std::uint64_t>(data.TotalClusters));
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
