#include "ntfs/VolumeReader.h"

#include <algorithm>

#include "ntfs/Reason.h"
#include "ntfs/Runlist.h"

namespace ntfs {
namespace {

constexpr std::size_t kMaxAttributeList = 256u << 10;
// Extension records one attribute's list may make the reader read: 16384 records of 1 KiB,
// more than a list of kMaxAttributeList bytes can name, but only 256 of 64 KiB.
constexpr std::uint64_t kMaxExtensionBytes = 16u << 20;
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

Result ParseListEntry(base::Bytes list, std::size_t pos, ListEntry& e, std::size_t& length) {
  if (!base::Fits(list.size(), pos, 0x1A)) return Corrupt("entry" + AtByte(pos) + " runs past the list's end");
  e.type = base::Le32(list, pos + 0x00);                        // +0x00: attribute type
  length = base::Le16(list, pos + 0x04);                        // +0x04: entry length
  const std::uint8_t nameUnits = base::Le8(list, pos + 0x06);   // +0x06: name length in UTF-16 units
  const std::uint8_t nameOffset = base::Le8(list, pos + 0x07);  // +0x07: name offset
  e.lowestVcn = base::Le64(list, pos + 0x08);                   // +0x08: first VCN of the extent
  e.record = RecordNumber(base::Le64(list, pos + 0x10));        // +0x10: record holding the extent
  if (length < 0x1A || !base::Fits(list.size(), pos, length))
    return Corrupt("entry length " + Dec(length) + AtByte(pos + 0x04) + " is too short or runs past the list");
  if (!base::Fits(length, nameOffset, nameUnits * 2u))
    return Corrupt("entry name" + AtByte(pos + 0x06) + " runs past its entry");
  e.name = list.subspan(pos + nameOffset, nameUnits * 2u);
  return {};
}

std::uint64_t LowestVcn(const Attribute* a) { return a->nonResident ? static_cast<std::uint64_t>(a->lowestVcn) : 0; }

// The extents of the attribute (type, name) one record holds, by first VCN, so that each list
// entry finds its extent in log time however many extents the record holds.
std::vector<const Attribute*> ExtentsByVcn(const std::vector<Attribute>& attrs, std::uint32_t type, const char* name) {
  std::vector<const Attribute*> out;
  for (const Attribute& a : attrs)
    if (Matches(a, type, name)) out.push_back(&a);
  std::ranges::stable_sort(out, {}, LowestVcn);
  return out;
}

const Attribute* FindExtent(const std::vector<const Attribute*>& extents, std::uint64_t vcn) {
  const auto it = std::ranges::lower_bound(extents, vcn, {}, LowestVcn);
  return it != extents.end() && LowestVcn(*it) == vcn ? *it : nullptr;
}

// Puts a stream together from its extents in VCN order: the first starts at VCN 0 and carries
// the sizes, each next one starts where the runs so far end. No extent is decoded twice, so
// the runs decoded for a stream are bounded by kMaxRuns.
class StreamBuilder {
 public:
  StreamBuilder(Stream& out, std::uint64_t totalClusters) : out_(out), totalClusters_(totalClusters) {}

  Result Add(const Attribute& a) {
    if (!a.nonResident) return Corrupt("a resident extent among non-resident ones");
    if ((a.flags & kCompressedOrEncrypted) != 0)
      return Corrupt("compressed or encrypted (flags " + Hex(a.flags) + ")" + FieldAt(a.offset + 0x0C));
    const auto lowest = static_cast<std::uint64_t>(a.lowestVcn);
    if (first_ && lowest != 0)
      return Corrupt("first extent starts at VCN " + Dec(lowest) + ", not 0" + FieldAt(a.offset + 0x10));
    if (!first_ && (lowest <= lastLowest_ || lowest != out_.Clusters()))
      return Corrupt("extent starts at VCN " + Dec(lowest) + ", not " + Dec(out_.Clusters()) +
                     " where the one before ends" + FieldAt(a.offset + 0x10));
    if (first_) {
      // Only the first extent carries the attribute's sizes.
      out_.runs.clear();
      out_.dataSize = a.dataSize;
      out_.initializedSize = a.initializedSize;
    }
    first_ = false;
    lastLowest_ = lowest;
    return DecodeRunlist(a.runlist, a.lowestVcn, a.highestVcn, totalClusters_, out_.runs, a.runlistOffset);
  }

 private:
  Stream& out_;
  std::uint64_t totalClusters_;
  bool first_ = true;
  std::uint64_t lastLowest_ = 0;
};

}  // namespace

VolumeReader::VolumeReader(ByteSource& source, std::uint64_t offset, const BootSector& boot)
    : boot_(boot), disk_(source, offset, boot.totalSectors * boot.bytesPerSector) {}

Result VolumeReader::ReadRecord(std::uint64_t number, std::vector<std::uint8_t>& out) {
  const std::uint32_t size = boot_.recordSize;
  if (number >= mft_.initializedSize / size)
    return Corrupt(RecordName(number) + " lies past $MFT's " + Dec(mft_.initializedSize / size) + " valid records");
  out.resize(size);
  Result r = ReadStream(disk_, mft_, boot_.clusterShift, number * size, out);
  if (r.ok()) r = ApplyFixups(out, kFileMagic);
  return r.ok() ? std::move(r) : std::move(r).In(RecordName(number));
}

Result VolumeReader::LoadMft() {
  // Record 0 lies at the start of $MFT by definition: read it through a one-run map first,
  // then through the runs it describes.
  const std::uint64_t clusters = std::max<std::uint64_t>(1, boot_.recordSize >> boot_.clusterShift);
  if (clusters > boot_.totalClusters - boot_.mftLcn)
    return Corrupt("$MFT: its first record at cluster " + Dec(boot_.mftLcn) + " runs past the volume's end");
  mft_.runs = {Run{0, boot_.mftLcn, clusters}};
  mft_.dataSize = mft_.initializedSize = boot_.recordSize;
  StreamBuilder builder(mft_, boot_.totalClusters);
  int count = 0;
  if (Result r = VisitAttribute(
          kMftRecord, kData, "", [&](const Attribute& a) { return builder.Add(a); }, count);
      !r.ok())
    return r;
  if (count == 0) return Corrupt(RecordName(kMftRecord) + ": no $DATA attribute");
  if (mft_.runs.empty() || mft_.runs.front().lcn != boot_.mftLcn)
    return Corrupt("$MFT: its data does not start at cluster " + Dec(boot_.mftLcn) + " as the boot sector says");
  if (Result r = CheckSizes(mft_); !r.ok()) return std::move(r).In("$MFT");
  // $MFT lies inside the volume: a larger one is a forged size, which the report's figures
  // would carry on into their arithmetic.
  if (mft_.dataSize > disk_.size())
    return Corrupt("$MFT: data size " + Dec(mft_.dataSize) + " exceeds the volume's " + Dec(disk_.size()) + " bytes");
  return {};
}

Result VolumeReader::CheckSizes(const Stream& s) const {
  if (s.Clusters() > (~std::uint64_t{0} >> boot_.clusterShift))
    return Corrupt(Dec(s.Clusters()) + " clusters are too many to address in bytes");
  if (s.dataSize > (s.Clusters() << boot_.clusterShift))
    return Corrupt("data size " + Dec(s.dataSize) + " exceeds its " + Dec(s.Clusters()) + " clusters");
  if (s.initializedSize > s.dataSize)
    return Corrupt("valid data length " + Dec(s.initializedSize) + " exceeds the data size " + Dec(s.dataSize));
  return {};
}

Result VolumeReader::ReadAttributeList(const Attribute& list, std::vector<std::uint8_t>& out) {
  if (!list.nonResident) {
    out.assign(list.value.begin(), list.value.end());
    return {};
  }
  if (list.dataSize > kMaxAttributeList)
    return Corrupt("attribute list of " + Dec(list.dataSize) + " bytes exceeds " + Dec(kMaxAttributeList));
  Stream s;
  StreamBuilder builder(s, boot_.totalClusters);
  if (Result r = builder.Add(list); !r.ok()) return std::move(r).In("attribute list" + AtByte(list.offset));
  out.resize(static_cast<std::size_t>(list.dataSize));
  if (Result r = ReadStream(disk_, s, boot_.clusterShift, 0, out); !r.ok()) return std::move(r).In("attribute list");
  return {};
}

Result VolumeReader::VisitAttribute(std::uint64_t base, std::uint32_t type, const char* name, const Visitor& visit,
                                    int& count) {
  count = 0;
  std::vector<std::uint8_t> record;
  FileRecordHeader header;
  std::vector<Attribute> attrs;
  if (Result r = ReadRecord(base, record); !r.ok()) return r;
  if (Result r = ParseFileRecord(record, header, attrs); !r.ok()) return std::move(r).In(RecordName(base));
  if ((header.flags & 0x01) == 0) return Corrupt(RecordName(base) + ": not in use (byte 0x16)");
  if (header.baseRecord != 0) return Corrupt(RecordName(base) + ": an extension record, not a base record (byte 0x20)");
  const auto list = std::ranges::find_if(attrs, [](const Attribute& a) { return a.type == kAttributeList; });
  if (list != attrs.end()) return VisitListed(base, *list, attrs, type, name, visit, count);
  for (const Attribute& a : attrs) {
    if (!Matches(a, type, name)) continue;
    ++count;
    if (Result r = visit(a); !r.ok()) return std::move(r).In(RecordName(base) + ", attribute" + AtByte(a.offset));
  }
  return {};
}

Result VolumeReader::VisitListed(std::uint64_t base, const Attribute& list, const std::vector<Attribute>& attrs,
                                 std::uint32_t type, const char* name, const Visitor& visit, int& count) {
  std::vector<std::uint8_t> listBytes;
  if (Result r = ReadAttributeList(list, listBytes); !r.ok()) return std::move(r).In(RecordName(base));
  const auto inList = [&](Result r) { return std::move(r).In(RecordName(base) + ", attribute list"); };
  const std::vector<const Attribute*> baseExtents = ExtentsByVcn(attrs, type, name);
  Extension extension;
  extension.number = base;  // none read yet
  std::uint64_t extensionBytes = 0;
  std::uint64_t lastVcn = 0;
  // Each entry takes at least 0x1A bytes of a list bounded by kMaxAttributeList.
  for (std::size_t pos = 0, length = 0; pos < listBytes.size(); pos += length) {
    ListEntry e;
    if (Result r = ParseListEntry(listBytes, pos, e, length); !r.ok()) return inList(std::move(r));
    if (e.type != type || !NameIs(e.name, name)) continue;
    // The extents of one attribute are listed in rising VCN order; an entry that repeats or
    // goes back would have the same runs decoded again.
    if (count > 0 && e.lowestVcn <= lastVcn)
      return inList(Corrupt("entry" + AtByte(pos) + " repeats or goes back from VCN " + Dec(lastVcn) + " to " +
                            Dec(e.lowestVcn)));
    lastVcn = e.lowestVcn;
    if (e.record != base && e.record != extension.number) {
      extensionBytes += boot_.recordSize;
      if (extensionBytes > kMaxExtensionBytes)
        return inList(Corrupt("entries name more than " + Dec(kMaxExtensionBytes) + " bytes of extension records"));
      if (Result r = ReadExtension(base, e.record, type, name, extension); !r.ok()) return r;
    }
    const Attribute* a = FindExtent(e.record == base ? baseExtents : extension.extents, e.lowestVcn);
    if (a == nullptr)
      return inList(Corrupt("entry" + AtByte(pos) + " names an extent " + RecordName(e.record) + " does not hold"));
    ++count;
    if (Result r = visit(*a); !r.ok()) return std::move(r).In(RecordName(e.record) + ", attribute" + AtByte(a->offset));
  }
  return {};
}

Result VolumeReader::ReadExtension(std::uint64_t base, std::uint64_t number, std::uint32_t type, const char* name,
                                   Extension& out) {
  FileRecordHeader header;
  if (Result r = ReadRecord(number, out.bytes); !r.ok()) return r;
  if (Result r = ParseFileRecord(out.bytes, header, out.attrs); !r.ok()) return std::move(r).In(RecordName(number));
  if (header.baseRecord != base)
    return Corrupt(RecordName(number) + ": extension of record " + Dec(header.baseRecord) + ", not of " + Dec(base) +
                   " (byte 0x20)");
  out.number = number;
  out.extents = ExtentsByVcn(out.attrs, type, name);
  return {};
}

Result VolumeReader::LoadStream(std::uint64_t base, std::uint32_t type, const char* name, Stream& out, bool& found) {
  out = Stream{};
  StreamBuilder builder(out, boot_.totalClusters);
  int count = 0;
  Result r = VisitAttribute(
      base, type, name, [&](const Attribute& a) { return builder.Add(a); }, count);
  found = count > 0;
  if (!r.ok() || !found) return r;
  return CheckSizes(out);
}

Result VolumeReader::ReadValue(std::uint64_t base, std::uint32_t type, const char* name, std::size_t maxBytes,
                               std::vector<std::uint8_t>& out, bool& found) {
  return ReadValueInto(base, type, name, maxBytes, out, found);
}

Result VolumeReader::ReadValue(std::uint64_t base, std::uint32_t type, const char* name, std::size_t maxBytes,
                               base::PageBytes& out, bool& found) {
  return ReadValueInto(base, type, name, maxBytes, out, found);
}

template <class ByteVector>
Result VolumeReader::ReadValueInto(std::uint64_t base, std::uint32_t type, const char* name, std::size_t maxBytes,
                                   ByteVector& out, bool& found) {
  Stream stream;
  StreamBuilder builder(stream, boot_.totalClusters);
  bool resident = false;
  int seen = 0;
  int count = 0;
  Result r = VisitAttribute(
      base, type, name,
      [&](const Attribute& a) -> Result {
        if (resident || (!a.nonResident && seen > 0)) return Corrupt("a resident value in more than one extent");
        ++seen;
        if (a.nonResident) return builder.Add(a);
        if (a.value.size() > maxBytes)
          return Corrupt("value of " + Dec(a.value.size()) + " bytes exceeds " + Dec(maxBytes));
        resident = true;
        out.assign(a.value.begin(), a.value.end());
        return {};
      },
      count);
  found = count > 0;
  if (!r.ok() || !found || resident) return r;
  if (Result s = CheckSizes(stream); !s.ok()) return s;
  if (stream.dataSize > maxBytes)
    return Corrupt("value of " + Dec(stream.dataSize) + " bytes exceeds " + Dec(maxBytes));
  out.resize(static_cast<std::size_t>(stream.dataSize));
  return ReadStream(disk_, stream, boot_.clusterShift, 0, out);
}

Result ReadBitmap(VolumeReader& reader, const BitmapObserver& observe) {
  const BootSector& b = reader.boot();
  Stream bitmap;
  bool found = false;
  if (Result r = reader.LoadStream(kBitmapRecord, kData, "", bitmap, found); !r.ok()) return r;
  if (!found) return Corrupt(RecordName(kBitmapRecord) + ": no $DATA attribute");
  const std::uint64_t bytes = (b.totalClusters + 7) / 8;
  if (bitmap.dataSize < bytes)
    return Corrupt("data size " + Dec(bitmap.dataSize) + " is less than the " + Dec(bytes) + " bytes of " +
                   Dec(b.totalClusters) + " clusters");
  const auto chunk = [&](std::uint64_t at, base::Bytes part) {
    observe(at * 8, part, std::min<std::uint64_t>(std::uint64_t{part.size()} * 8, b.totalClusters - at * 8));
  };
  return ReadStreamChunks(reader.disk(), bitmap, b.clusterShift, 0, bytes, kBitmapChunkSize, chunk);
}

}  // namespace ntfs
