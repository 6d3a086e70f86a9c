#include "ntfs/VolumeReader.h"

#include <algorithm>

#include "ntfs/Runlist.h"

namespace ntfs {
namespace {

constexpr std::size_t kMaxAttributeList = 256u << 10;
constexpr std::uint16_t kCompressedOrEncrypted = 0x0001 | 0x4000;

bool Matches(const Attribute& a, std::uint32_t type, const char* name) {
  return a.type == type && NameIs(a.name, name);
}

// An attribute list entry: where one extent of an attribute lives.
struct ListEntry {
  std::uint32_t type = 0;
  base::Bytes name;
  std::uint64_t lowestVcn = 0;
  std::uint64_t record = 0;
};

Status ParseListEntry(base::Bytes list, std::size_t pos, ListEntry& e, std::size_t& length) {
  if (!base::Fits(list.size(), pos, 0x1A)) return Status::Corrupt;
  e.type = base::Le32(list, pos + 0x00);                        // +0x00: attribute type
  length = base::Le16(list, pos + 0x04);                        // +0x04: entry length
  const std::uint8_t nameUnits = base::Le8(list, pos + 0x06);   // +0x06: name length in UTF-16 units
  const std::uint8_t nameOffset = base::Le8(list, pos + 0x07);  // +0x07: name offset
  e.lowestVcn = base::Le64(list, pos + 0x08);                   // +0x08: first VCN of the extent
  e.record = RecordNumber(base::Le64(list, pos + 0x10));        // +0x10: record holding the extent
  if (length < 0x1A || !base::Fits(list.size(), pos, length) || !base::Fits(length, nameOffset, nameUnits * 2u))
    return Status::Corrupt;
  e.name = list.subspan(pos + nameOffset, nameUnits * 2u);
  return Status::Ok;
}

const Attribute* FindExtent(const std::vector<Attribute>& attrs, const ListEntry& e) {
  for (const Attribute& a : attrs) {
    const std::uint64_t vcn = a.nonResident ? static_cast<std::uint64_t>(a.lowestVcn) : 0;
    if (a.type == e.type && std::ranges::equal(a.name, e.name) && vcn == e.lowestVcn) return &a;
  }
  return nullptr;
}

}  // namespace

VolumeReader::VolumeReader(ByteSource& source, std::uint64_t offset, const BootSector& boot)
    : boot_(boot), disk_(source, offset, boot.totalSectors * boot.bytesPerSector) {}

Status VolumeReader::ReadRecord(std::uint64_t number, std::vector<std::uint8_t>& out) {
  const std::uint32_t size = boot_.recordSize;
  if (number >= mft_.initializedSize / size) return Status::Corrupt;
  out.resize(size);
  if (const Status s = ReadStream(disk_, mft_, boot_.clusterShift, number * size, out); s != Status::Ok) return s;
  return ApplyFixups(out, kFileMagic);
}

Status VolumeReader::LoadMft() {
  // Record 0 lies at the start of $MFT by definition: read it through a one-run map first,
  // then through the runs it describes.
  const std::uint64_t clusters = std::max<std::uint64_t>(1, boot_.recordSize >> boot_.clusterShift);
  if (clusters > boot_.totalClusters - boot_.mftLcn) return Status::Corrupt;
  mft_.runs = {Run{0, boot_.mftLcn, clusters}};
  mft_.dataSize = mft_.initializedSize = boot_.recordSize;
  int count = 0;
  const Status s = VisitAttribute(
      kMftRecord, kData, "", [this](const Attribute& a) { return AddExtent(a, mft_); }, count);
  if (s != Status::Ok) return s;
  if (count == 0 || mft_.runs.empty() || mft_.runs.front().lcn != boot_.mftLcn) return Status::Corrupt;
  if (mft_.Clusters() > (~std::uint64_t{0} >> boot_.clusterShift) ||
      mft_.dataSize > (mft_.Clusters() << boot_.clusterShift) || mft_.initializedSize > mft_.dataSize)
    return Status::Corrupt;
  return Status::Ok;
}

Status VolumeReader::AddExtent(const Attribute& a, Stream& out) {
  if (!a.nonResident || (a.flags & kCompressedOrEncrypted) != 0) return Status::Corrupt;
  if (a.lowestVcn == 0) {
    // Only the first extent carries the attribute's sizes.
    out.runs.clear();
    out.dataSize = a.dataSize;
    out.initializedSize = a.initializedSize;
  } else if (out.Clusters() != static_cast<std::uint64_t>(a.lowestVcn)) {
    return Status::Corrupt;  // extents must follow each other without gap or overlap
  }
  return DecodeRunlist(a.runlist, a.lowestVcn, a.highestVcn, boot_.totalClusters, out.runs);
}

Status VolumeReader::ReadAttributeList(const Attribute& list, std::vector<std::uint8_t>& out) {
  if (!list.nonResident) {
    out.assign(list.value.begin(), list.value.end());
    return Status::Ok;
  }
  if (list.lowestVcn != 0 || list.dataSize > kMaxAttributeList) return Status::Corrupt;
  Stream s;
  if (const Status st = AddExtent(list, s); st != Status::Ok) return st;
  out.resize(static_cast<std::size_t>(list.dataSize));
  return ReadStream(disk_, s, boot_.clusterShift, 0, out);
}

Status VolumeReader::VisitAttribute(std::uint64_t base, std::uint32_t type, const char* name, const Visitor& visit,
                                    int& count) {
  count = 0;
  std::vector<std::uint8_t> record;
  FileRecordHeader header;
  std::vector<Attribute> attrs;
  if (Status s = ReadRecord(base, record); s != Status::Ok) return s;
  if (Status s = ParseFileRecord(record, header, attrs); s != Status::Ok) return s;
  if ((header.flags & 0x01) == 0 || header.baseRecord != 0) return Status::Corrupt;
  const auto list = std::ranges::find_if(attrs, [](const Attribute& a) { return a.type == kAttributeList; });
  if (list == attrs.end()) {
    for (const Attribute& a : attrs) {
      if (!Matches(a, type, name)) continue;
      ++count;
      if (const Status s = visit(a); s != Status::Ok) return s;
    }
    return Status::Ok;
  }
  std::vector<std::uint8_t> listBytes;
  if (Status s = ReadAttributeList(*list, listBytes); s != Status::Ok) return s;
  std::vector<std::uint8_t> extension;
  std::vector<Attribute> extAttrs;
  // Each entry takes at least 0x1A bytes of a list bounded by kMaxAttributeList.
  for (std::size_t pos = 0, length = 0; pos < listBytes.size(); pos += length) {
    ListEntry e;
    if (Status s = ParseListEntry(listBytes, pos, e, length); s != Status::Ok) return s;
    if (e.type != type || !NameIs(e.name, name)) continue;
    const Attribute* a = nullptr;
    if (e.record == base) {
      a = FindExtent(attrs, e);
    } else {
      FileRecordHeader extHeader;
      if (Status s = ReadRecord(e.record, extension); s != Status::Ok) return s;
      if (Status s = ParseFileRecord(extension, extHeader, extAttrs); s != Status::Ok) return s;
      if (extHeader.baseRecord != base) return Status::Corrupt;
      a = FindExtent(extAttrs, e);
    }
    if (a == nullptr) return Status::Corrupt;
    ++count;
    if (const Status s = visit(*a); s != Status::Ok) return s;
  }
  return Status::Ok;
}

Status VolumeReader::LoadStream(std::uint64_t base, std::uint32_t type, const char* name, Stream& out, bool& found) {
  out = Stream{};
  int count = 0;
  const Status s = VisitAttribute(
      base, type, name, [&](const Attribute& a) { return AddExtent(a, out); }, count);
  found = count > 0;
  if (s != Status::Ok || !found) return s;
  if (out.Clusters() > (~std::uint64_t{0} >> boot_.clusterShift) ||
      out.dataSize > (out.Clusters() << boot_.clusterShift) || out.initializedSize > out.dataSize)
    return Status::Corrupt;
  return Status::Ok;
}

Status VolumeReader::ReadValue(std::uint64_t base, std::uint32_t type, const char* name, std::size_t maxBytes,
                               std::vector<std::uint8_t>& out, bool& found) {
  Stream stream;
  bool resident = false;
  int seen = 0;
  int count = 0;
  const Status s = VisitAttribute(
      base, type, name,
      [&](const Attribute& a) {
        if (resident || (!a.nonResident && seen > 0)) return Status::Corrupt;  // a resident value has one extent
        ++seen;
        if (a.nonResident) return AddExtent(a, stream);
        if (a.value.size() > maxBytes) return Status::Corrupt;
        resident = true;
        out.assign(a.value.begin(), a.value.end());
        return Status::Ok;
      },
      count);
  found = count > 0;
  if (s != Status::Ok || !found || resident) return s;
  if (stream.dataSize > maxBytes || stream.initializedSize > stream.dataSize) return Status::Corrupt;
  out.resize(static_cast<std::size_t>(stream.dataSize));
  return ReadStream(disk_, stream, boot_.clusterShift, 0, out);
}

}  // namespace ntfs
