#include "ntfs/Extents.h"

#include <algorithm>
#include <vector>

#include "ntfs/BootSector.h"
#include "ntfs/Record.h"
#include "ntfs/Runlist.h"
#include "ntfs/Stream.h"

namespace ntfs {
namespace {

constexpr std::uint64_t kSystemRecords = 16;
constexpr std::uint64_t kBadClusRecord = 8;
constexpr std::size_t kMaxListBytes = 256u << 10;
// A system file fragmented over more extension records than this is not a volume to draw.
constexpr std::size_t kMaxExtensionRecords = 1024;

SystemArea AreaOf(std::uint64_t record, const Attribute& a) {
  if (a.type != kData) return SystemArea::Other;
  if (record == kBadClusRecord) return NameIs(a.name, "$Bad") ? SystemArea::BadClusters : SystemArea::Other;
  if (!NameIs(a.name, "")) return SystemArea::Other;
  switch (record) {
    case kMftRecord:
      return SystemArea::Mft;
    case 1:
      return SystemArea::MftMirror;
    case 2:
      return SystemArea::LogFile;
    case kBitmapRecord:
      return SystemArea::Bitmap;
    case 7:
      return SystemArea::Boot;
    case kUpcaseRecord:
      return SystemArea::Upcase;
    default:
      return SystemArea::Other;
  }
}

// The allocated runs of the non-resident attributes of one parsed record of file `base`.
Status VisitAttributes(std::uint64_t base, const std::vector<Attribute>& attrs, std::uint64_t totalClusters,
                       const ExtentVisitor& visit) {
  std::vector<Run> runs;
  for (const Attribute& a : attrs) {
    if (!a.nonResident) continue;
    runs.clear();
    if (const Status s = DecodeRunlist(a.runlist, a.lowestVcn, a.highestVcn, totalClusters, runs); s != Status::Ok)
      return s;
    for (const Run& r : runs)
      if (r.lcn != kSparse) visit(Extent{AreaOf(base, a), r.lcn, r.length});
  }
  return Status::Ok;
}

// The bytes of an attribute list, resident or not.
Status ListBytes(VolumeReader& reader, const Attribute& list, std::vector<std::uint8_t>& out) {
  if (!list.nonResident) {
    out.assign(list.value.begin(), list.value.end());
    return Status::Ok;
  }
  if (list.lowestVcn != 0 || list.dataSize > kMaxListBytes || list.initializedSize > list.dataSize)
    return Status::Corrupt;
  Stream stream;
  stream.dataSize = list.dataSize;
  stream.initializedSize = list.initializedSize;
  const BootSector& b = reader.boot();
  if (const Status s = DecodeRunlist(list.runlist, list.lowestVcn, list.highestVcn, b.totalClusters, stream.runs);
      s != Status::Ok)
    return s;
  if (stream.Clusters() > (kMaxListBytes >> b.clusterShift) + 1) return Status::Corrupt;
  out.resize(static_cast<std::size_t>(list.dataSize));
  return ReadStream(reader.disk(), stream, b.clusterShift, 0, out);
}

// The records other than `base` that an attribute list names, each once.
Status ExtensionRecords(base::Bytes list, std::uint64_t base, std::vector<std::uint64_t>& out) {
  for (std::size_t pos = 0; pos < list.size();) {
    if (!base::Fits(list.size(), pos, 0x18)) return Status::Corrupt;
    const std::uint16_t length = base::Le16(list, pos + 0x04);                // +0x04: entry length
    const std::uint64_t record = RecordNumber(base::Le64(list, pos + 0x10));  // +0x10: record of the extent
    if (length < 0x18 || !base::Fits(list.size(), pos, length)) return Status::Corrupt;
    if (record != base && std::ranges::find(out, record) == out.end()) {
      if (out.size() == kMaxExtensionRecords) return Status::Corrupt;
      out.push_back(record);
    }
    pos += length;
  }
  return Status::Ok;
}

Status VisitRecord(VolumeReader& reader, std::uint64_t number, const ExtentVisitor& visit) {
  const std::uint64_t total = reader.boot().totalClusters;
  std::vector<std::uint8_t> record;
  FileRecordHeader header;
  std::vector<Attribute> attrs;
  if (const Status s = reader.ReadRecord(number, record); s != Status::Ok) return s;
  if (const Status s = ParseFileRecord(record, header, attrs); s != Status::Ok) return s;
  if ((header.flags & 0x01) == 0) return Status::Ok;  // a reserved record not in use
  if (header.baseRecord != 0) return Status::Corrupt;
  if (const Status s = VisitAttributes(number, attrs, total, visit); s != Status::Ok) return s;
  const auto list = std::ranges::find_if(attrs, [](const Attribute& a) { return a.type == kAttributeList; });
  if (list == attrs.end()) return Status::Ok;
  std::vector<std::uint8_t> listBytes;
  std::vector<std::uint64_t> extensions;
  if (const Status s = ListBytes(reader, *list, listBytes); s != Status::Ok) return s;
  if (const Status s = ExtensionRecords(listBytes, number, extensions); s != Status::Ok) return s;
  for (const std::uint64_t ext : extensions) {
    if (const Status s = reader.ReadRecord(ext, record); s != Status::Ok) return s;
    if (const Status s = ParseFileRecord(record, header, attrs); s != Status::Ok) return s;
    if (header.baseRecord != number) return Status::Corrupt;
    if (const Status s = VisitAttributes(number, attrs, total, visit); s != Status::Ok) return s;
  }
  return Status::Ok;
}

}  // namespace

Status VisitMetadataExtents(VolumeReader& reader, const ExtentVisitor& visit) {
  for (std::uint64_t number = 0; number < kSystemRecords; ++number)
    if (const Status s = VisitRecord(reader, number, visit); s != Status::Ok) return s;
  return Status::Ok;
}

Status VisitMetadataExtents(ByteSource& source, std::uint64_t offset, const ExtentVisitor& visit) {
  const std::uint64_t size = source.Size();
  if (offset > size || size - offset < kBootSectorSize) return Status::NotNtfs;
  std::vector<std::uint8_t> sector(kBootSectorSize);
  if (!source.ReadAt(offset, sector)) return Status::IoError;
  BootSector boot;
  if (const Status s = ParseBootSector(sector, boot); s != Status::Ok) return s;
  if (boot.totalSectors * boot.bytesPerSector > size - offset) return Status::Corrupt;
  VolumeReader reader(source, offset, boot);
  if (const Status s = reader.LoadMft(); s != Status::Ok) return s;
  return VisitMetadataExtents(reader, visit);
}

}  // namespace ntfs
