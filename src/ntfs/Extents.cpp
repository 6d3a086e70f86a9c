#include "ntfs/Extents.h"

#include <algorithm>
#include <vector>

#include "ntfs/BootSector.h"
#include "ntfs/Reason.h"
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
Result VisitAttributes(std::uint64_t base, const std::vector<Attribute>& attrs, std::uint64_t totalClusters,
                       const ExtentVisitor& visit) {
  std::vector<Run> runs;
  for (const Attribute& a : attrs) {
    if (!a.nonResident) continue;
    runs.clear();
    if (Result r = DecodeRunlist(a.runlist, a.lowestVcn, a.highestVcn, totalClusters, runs, a.runlistOffset); !r.ok())
      return r;
    for (const Run& run : runs)
      if (run.lcn != kSparse) visit(Extent{AreaOf(base, a), run.lcn, run.length});
  }
  return {};
}

// The bytes of an attribute list, resident or not.
Result ListBytes(VolumeReader& reader, const Attribute& list, std::vector<std::uint8_t>& out) {
  if (!list.nonResident) {
    out.assign(list.value.begin(), list.value.end());
    return {};
  }
  if (list.lowestVcn != 0 || list.dataSize > kMaxListBytes || list.initializedSize > list.dataSize)
    return Corrupt("attribute list of " + Dec(list.dataSize) + " bytes" + AtByte(list.offset) +
                   ": more than 256 KiB, or not one extent from VCN 0");
  Stream stream;
  stream.dataSize = list.dataSize;
  stream.initializedSize = list.initializedSize;
  const BootSector& b = reader.boot();
  if (Result r = DecodeRunlist(list.runlist, list.lowestVcn, list.highestVcn, b.totalClusters, stream.runs,
                               list.runlistOffset);
      !r.ok())
    return std::move(r).In("attribute list");
  out.resize(static_cast<std::size_t>(list.dataSize));
  if (Result r = ReadStream(reader.disk(), stream, b.clusterShift, 0, out); !r.ok())
    return std::move(r).In("attribute list");
  return {};
}

// The records other than `base` that an attribute list names, each once.
Result ExtensionRecords(base::Bytes list, std::uint64_t base, std::vector<std::uint64_t>& out) {
  for (std::size_t pos = 0; pos < list.size();) {
    if (!base::Fits(list.size(), pos, 0x18))
      return Corrupt("attribute list: entry header" + AtByte(pos) + " cut short");
    const std::uint16_t length = base::Le16(list, pos + 0x04);                // +0x04: entry length
    const std::uint64_t record = RecordNumber(base::Le64(list, pos + 0x10));  // +0x10: record of the extent
    if (length < 0x18 || !base::Fits(list.size(), pos, length))
      return Corrupt("attribute list: entry length " + Dec(length) + AtByte(pos) + " out of bounds");
    if (record != base && std::ranges::find(out, record) == out.end()) {
      if (out.size() == kMaxExtensionRecords)
        return Corrupt("attribute list: more than " + Dec(kMaxExtensionRecords) + " extension records");
      out.push_back(record);
    }
    pos += length;
  }
  return {};
}

Result VisitRecord(VolumeReader& reader, std::uint64_t number, const ExtentVisitor& visit) {
  const std::uint64_t total = reader.boot().totalClusters;
  std::vector<std::uint8_t> record;
  FileRecordHeader header;
  std::vector<Attribute> attrs;
  if (Result r = reader.ReadRecord(number, record); !r.ok()) return r;
  if (Result r = ParseFileRecord(record, header, attrs); !r.ok()) return r;
  if ((header.flags & 0x01) == 0) return {};  // a reserved record not in use
  if (header.baseRecord != 0) return Corrupt("an extension record, where a system file's base record belongs");
  if (Result r = VisitAttributes(number, attrs, total, visit); !r.ok()) return r;
  const auto list = std::ranges::find_if(attrs, [](const Attribute& a) { return a.type == kAttributeList; });
  if (list == attrs.end()) return {};
  std::vector<std::uint8_t> listBytes;
  std::vector<std::uint64_t> extensions;
  if (Result r = ListBytes(reader, *list, listBytes); !r.ok()) return r;
  if (Result r = ExtensionRecords(listBytes, number, extensions); !r.ok()) return r;
  for (const std::uint64_t ext : extensions) {
    if (Result r = reader.ReadRecord(ext, record); !r.ok()) return r;
    if (Result r = ParseFileRecord(record, header, attrs); !r.ok()) return std::move(r).In(RecordName(ext));
    if (header.baseRecord != number)
      return Corrupt(RecordName(ext) + ": listed as an extension but its base record is " + Dec(header.baseRecord));
    if (Result r = VisitAttributes(number, attrs, total, visit); !r.ok()) return std::move(r).In(RecordName(ext));
  }
  return {};
}

}  // namespace

Result VisitMetadataExtents(VolumeReader& reader, const ExtentVisitor& visit) {
  for (std::uint64_t number = 0; number < kSystemRecords; ++number)
    if (Result r = VisitRecord(reader, number, visit); !r.ok()) return std::move(r).In(RecordName(number));
  return {};
}

Result VisitMetadataExtents(ByteSource& source, std::uint64_t offset, const ExtentVisitor& visit) {
  BootSector boot;
  if (Result r = ReadBootSector(source, offset, boot); !r.ok()) return r;
  VolumeReader reader(source, offset, boot);
  if (Result r = reader.LoadMft(); !r.ok()) return r;
  return VisitMetadataExtents(reader, visit);
}

}  // namespace ntfs
