#include <algorithm>
#include <memory>

#include "base/BitCount.h"
#include "base/Utf.h"
#include "ntfs/BootSector.h"
#include "ntfs/Index.h"
#include "ntfs/Ntfs.h"
#include "ntfs/Reason.h"
#include "ntfs/Stream.h"
#include "ntfs/VolumeReader.h"

namespace ntfs {
namespace {

constexpr std::size_t kMaxUpcaseBytes = 0x10000 * 2;
constexpr int kMaxIndexDepth = 32;  // a directory B+tree of any real size is a few levels deep
constexpr std::size_t kMaxNameUnits = 255;

// The MFT zone is allocation state of the running driver, not something stored on disk. It is
// modelled as current Windows versions reserve it on a freshly mounted volume: it starts at the
// cluster after the last cluster of $MFT's last extent (the highest LCN + length of its runs)
// and spans 200 MiB, clipped to the end of the volume.
void SetMftZone(const BootSector& boot, const Stream& mft, VolumeData& out) {
  std::uint64_t start = 0;
  for (const Run& r : mft.runs)
    if (r.lcn != kSparse) start = std::max(start, r.lcn + r.length);
  const std::uint64_t length = (std::uint64_t{200} << 20) / boot.bytesPerCluster;
  out.MftZoneStart = static_cast<std::int64_t>(start);
  out.MftZoneEnd = static_cast<std::int64_t>(std::min(start + length, boot.totalClusters));
}

// The root directory's index as one report reads it: the index root's value, and when the
// index has blocks, their size and the runs of $INDEX_ALLOCATION.
struct RootIndex {
  std::vector<std::uint8_t> value;
  Node root;  // inside `value`
  std::uint32_t blockSize = 0;
  bool large = false;
  Stream blocks;
};

class VolumeImpl final : public Volume {
 public:
  VolumeImpl(ByteSource& source, std::uint64_t offset, const BootSector& boot) : reader_(source, offset, boot) {}

  Result Load() { return reader_.LoadMft(); }

  Result QueryVolumeData(VolumeData& out) override {
    const BootSector& b = reader_.boot();
    std::uint64_t freeClusters = 0;
    if (Result r = CountFreeClusters(freeClusters); !r.ok()) return std::move(r).In("$Bitmap");
    VolumeData d;
    d.VolumeSerialNumber = static_cast<std::int64_t>(b.serialNumber);
    d.NumberSectors = static_cast<std::int64_t>(b.totalSectors);
    d.TotalClusters = static_cast<std::int64_t>(b.totalClusters);
    d.FreeClusters = static_cast<std::int64_t>(freeClusters);
    d.TotalReserved = 0;
    d.BytesPerSector = b.bytesPerSector;
    d.BytesPerCluster = b.bytesPerCluster;
    d.BytesPerFileRecordSegment = b.recordSize;
    d.ClustersPerFileRecordSegment = b.recordSize >> b.clusterShift;  // 0 when a record is smaller
    d.MftValidDataLength = static_cast<std::int64_t>(reader_.mft().initializedSize);
    d.MftStartLcn = static_cast<std::int64_t>(b.mftLcn);
    d.Mft2StartLcn = static_cast<std::int64_t>(b.mftMirrorLcn);
    SetMftZone(b, reader_.mft(), d);
    out = d;
    return {};
  }

  VolumeReader* Reader() override { return &reader_; }

  Result FindRootEntry(std::string_view name, std::optional<RootEntry>& out) override {
    out.reset();
    std::u16string key;
    if (!base::TryUtf8ToUtf16(name, key) || key.empty() || key.size() > kMaxNameUnits) return {};
    if (!upcaseRead_) {
      upcaseRead_ = true;
      upcaseResult_ = LoadUpcase().In("$UpCase");
    }
    if (!upcaseResult_.ok()) return upcaseResult_;
    if (!rootRead_) {
      rootRead_ = true;
      rootResult_ = LoadRootIndex();
    }
    if (!rootResult_.ok()) return rootResult_;
    return SearchRoot(key, out);
  }

 private:
  // Zero bits among the first TotalClusters bits of $Bitmap, each run streamed past in chunks
  // (base::ByteSource::ReadChunks), which a source may hand on without copying them.
  Result CountFreeClusters(std::uint64_t& freeClusters) {
    std::uint64_t used = 0;
    const auto count = [&](std::uint64_t first, base::Bytes part, std::uint64_t clusters) {
      used += bitmapCounter_ ? bitmapCounter_(first, part, clusters) : base::CountSetBits(part, clusters);
    };
    if (Result r = ReadBitmap(reader_, count); !r.ok()) return r;
    freeClusters = reader_.boot().totalClusters - used;
    return {};
  }

  Result LoadUpcase() {
    base::PageBytes bytes;
    bool found = false;
    if (Result r = reader_.ReadValue(kUpcaseRecord, kData, "", kMaxUpcaseBytes, bytes, found); !r.ok()) return r;
    if (!found) return Corrupt(RecordName(kUpcaseRecord) + ": no $DATA attribute");
    if (bytes.size() < 2 || bytes.size() % 2 != 0)
      return Corrupt("table of " + Dec(bytes.size()) + " bytes is no whole number of UTF-16 units");
    upcase_.bytes = std::move(bytes);
    return CheckUpcase(upcase_);
  }

  Result LoadRootIndex();
  Result SearchRoot(const std::u16string& key, std::optional<RootEntry>& out);
  Result ReadIndexBlock(std::uint64_t vcn, std::vector<std::uint8_t>& block, Node& node);
  Result LongName(const std::u16string& key, const IndexEntry& entry, std::string& out);

  VolumeReader reader_;
  UpcaseTable upcase_;
  bool upcaseRead_ = false;
  Result upcaseResult_;
  RootIndex root_;
  bool rootRead_ = false;
  Result rootResult_;
};

// "root directory's index block at VCN 2", "root directory's index root": where a lookup was.
std::string NodeName(bool block, std::uint64_t vcn) {
  return block ? "root directory's index block at VCN " + Dec(vcn) : std::string("root directory's index root");
}

Result VolumeImpl::LoadRootIndex() {
  bool found = false;
  if (Result r = reader_.ReadValue(kRootRecord, kIndexRoot, "$I30", reader_.boot().recordSize, root_.value, found);
      !r.ok())
    return std::move(r).In("root directory's index root");
  if (!found) return Corrupt(RecordName(kRootRecord) + ": no $I30 index root");
  if (Result r = ParseIndexRoot(root_.value, root_.blockSize, root_.root); !r.ok())
    return std::move(r).In(NodeName(false, 0));
  root_.large = root_.root.hasChildren;
  if (!root_.large) return {};
  if (!base::IsPowerOfTwo(root_.blockSize) || root_.blockSize < kMinRecordSize || root_.blockSize > kMaxRecordSize)
    return Corrupt(NodeName(false, 0) + ": index block size " + Dec(root_.blockSize) +
                   " is not a power of two from 512 to 65536 (byte 0x08)");
  if (Result r = reader_.LoadStream(kRootRecord, kIndexAllocation, "$I30", root_.blocks, found); !r.ok())
    return std::move(r).In("root directory's index allocation");
  if (!found) return Corrupt(RecordName(kRootRecord) + ": index root has children but no $I30 index allocation");
  return {};
}

Result VolumeImpl::SearchRoot(const std::u16string& key, std::optional<RootEntry>& out) {
  Node node = root_.root;
  std::vector<std::uint8_t> block;
  bool inBlock = false;
  std::uint64_t vcn = 0;
  for (int depth = 0; depth < kMaxIndexDepth; ++depth) {
    NodeResult result = NodeResult::Missing;
    IndexEntry entry;
    std::uint64_t child = 0;
    if (Result r = SearchNode(node, key, upcase_, result, entry, child); !r.ok())
      return std::move(r).In(NodeName(inBlock, vcn));
    if (result == NodeResult::Missing) return {};
    if (result == NodeResult::Found) {
      std::string name;
      if (entry.nameSpace != Namespace::Dos) {
        name = base::Utf16LeToUtf8(entry.name);
      } else if (Result r = LongName(key, entry, name); !r.ok()) {
        return std::move(r).In(NodeName(inBlock, vcn));
      }
      out = RootEntry{std::move(name), entry.dataSize, entry.fileReference};
      return {};
    }
    if (!root_.large)  // a child node in an index that has no blocks
      return Corrupt(NodeName(inBlock, vcn) + ": an entry points to a child, but the index has no blocks");
    if (Result r = ReadIndexBlock(child, block, node); !r.ok()) return std::move(r).In(NodeName(true, child));
    inBlock = true;
    vcn = child;
  }
  return Corrupt("root directory's index: deeper than " + Dec(kMaxIndexDepth) + " levels");
}

Result VolumeImpl::ReadIndexBlock(std::uint64_t vcn, std::vector<std::uint8_t>& block, Node& node) {
  const BootSector& b = reader_.boot();
  // Child nodes are addressed in clusters, or in 512-byte units when a block is smaller than a
  // cluster.
  const std::uint32_t shift = root_.blockSize >= b.bytesPerCluster ? b.clusterShift : 9;
  if (vcn > (~std::uint64_t{0} >> shift)) return Corrupt("VCN too large to address in bytes");
  block.resize(root_.blockSize);
  if (Result r = ReadStream(reader_.disk(), root_.blocks, b.clusterShift, vcn << shift, block); !r.ok()) return r;
  if (Result r = ApplyFixups(block, kIndxMagic); !r.ok()) return r;
  if (base::Le64(block, 0x10) != vcn)  // 0x10: the block's own VCN
    return Corrupt("the block says it is at VCN " + Dec(base::Le64(block, 0x10)) + FieldAt(0x10));
  return NodeEntries(block, 0x18, node);  // 0x18: node header
}

// The Win32 name of a file matched by its DOS 8.3 name, as a directory listing shows it; the
// DOS name itself when the file record has no other name in the root. The Win32 name must
// collate equal to the key: the caller asked for that name, not for whatever the record holds.
Result VolumeImpl::LongName(const std::u16string& key, const IndexEntry& entry, std::string& out) {
  const std::uint64_t number = RecordNumber(entry.fileReference);
  std::vector<std::uint8_t> record;
  FileRecordHeader header;
  std::vector<Attribute> attrs;
  if (Result r = reader_.ReadRecord(number, record); !r.ok()) return r;
  if (Result r = ParseFileRecord(record, header, attrs); !r.ok()) return std::move(r).In(RecordName(number));
  bool otherName = false;
  for (const Attribute& a : attrs) {
    IndexEntry name;
    if (a.type != kFileName || a.nonResident) continue;
    if (Result r = ParseFileName(a.value, name); !r.ok())
      return std::move(r).In(RecordName(number) + ", attribute" + AtByte(a.offset));
    if (RecordNumber(name.parentReference) != kRootRecord || name.nameSpace == Namespace::Dos) continue;
    if (CollatesEqual(key, name.name, upcase_)) {
      out = base::Utf16LeToUtf8(name.name);
      return {};
    }
    otherName = true;
  }
  if (otherName)
    return Corrupt("DOS name entry" + AtByte(entry.offset) + " names " + RecordName(number) +
                   ", whose Win32 name does not match it");
  out = base::Utf16LeToUtf8(entry.name);
  return {};
}

}  // namespace

Result Volume::Open(ByteSource& source, std::uint64_t offset, std::unique_ptr<Volume>& out) {
  out.reset();
  BootSector boot;
  if (Result r = ReadBootSector(source, offset, boot); !r.ok()) return r;
  auto volume = std::make_unique<VolumeImpl>(source, offset, boot);
  if (Result r = volume->Load(); !r.ok()) return r;
  out = std::move(volume);
  return {};
}

}  // namespace ntfs
