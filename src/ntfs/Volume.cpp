#include <algorithm>
#include <memory>
#include <new>

#include "ntfs/Bitmap.h"
#include "ntfs/BootSector.h"
#include "ntfs/Index.h"
#include "ntfs/Ntfs.h"
#include "base/Utf.h"
#include "ntfs/VolumeReader.h"

namespace ntfs {
namespace {

constexpr std::size_t kBitmapChunk = 1u << 20;
// Page-aligned, because operating systems copy file data into a misaligned buffer several
// times slower, and the bitmap is the one large read.
constexpr std::align_val_t kChunkAlignment{4096};
struct ChunkDelete {
  void operator()(std::uint8_t* p) const { ::operator delete(p, kChunkAlignment); }
};
using ChunkBuffer = std::unique_ptr<std::uint8_t, ChunkDelete>;
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

class VolumeImpl final : public Volume {
 public:
  VolumeImpl(ByteSource& source, std::uint64_t offset, const BootSector& boot) : reader_(source, offset, boot) {}

  Status Load() { return reader_.LoadMft(); }

  Status QueryVolumeData(VolumeData& out) override {
    const BootSector& b = reader_.boot();
    std::uint64_t freeClusters = 0;
    if (const Status s = CountFreeClusters(freeClusters); s != Status::Ok) return s;
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
    return Status::Ok;
  }

  Status FindRootEntry(std::string_view name, std::optional<RootEntry>& out) override {
    out.reset();
    std::u16string key;
    if (!base::TryUtf8ToUtf16(name, key) || key.empty() || key.size() > kMaxNameUnits) return Status::Ok;
    if (const Status s = LoadUpcase(); s != Status::Ok) return s;
    return SearchRoot(key, out);
  }

 private:
  // Zero bits among the first TotalClusters bits of $Bitmap, read in bounded chunks.
  Status CountFreeClusters(std::uint64_t& freeClusters) {
    const BootSector& b = reader_.boot();
    Stream bitmap;
    bool found = false;
    if (const Status s = reader_.LoadStream(kBitmapRecord, kData, "", bitmap, found); s != Status::Ok) return s;
    const std::uint64_t bytes = (b.totalClusters + 7) / 8;
    if (!found || bitmap.dataSize < bytes) return Status::Corrupt;
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kBitmapChunk, bytes));
    const ChunkBuffer buffer(static_cast<std::uint8_t*>(::operator new(size, kChunkAlignment)));
    const std::span chunk(buffer.get(), size);
    std::uint64_t used = 0;
    for (std::uint64_t at = 0; at < bytes; at += chunk.size()) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - at));
      auto part = chunk.first(n);
      if (const Status s = ReadStream(reader_.disk(), bitmap, b.clusterShift, at, part); s != Status::Ok) return s;
      const std::uint64_t clusters = std::min<std::uint64_t>(std::uint64_t{n} * 8, b.totalClusters - at * 8);
      used += CountSetBits(part, clusters);
      if (bitmapObserver_) bitmapObserver_(at * 8, part, clusters);
    }
    freeClusters = b.totalClusters - used;
    return Status::Ok;
  }

  Status LoadUpcase() {
    if (!upcase_.bytes.empty()) return Status::Ok;
    std::vector<std::uint8_t> bytes;
    bool found = false;
    if (const Status s = reader_.ReadValue(kUpcaseRecord, kData, "", kMaxUpcaseBytes, bytes, found); s != Status::Ok)
      return s;
    if (!found || bytes.size() < 2 || bytes.size() % 2 != 0) return Status::Corrupt;
    upcase_.bytes = std::move(bytes);
    return Status::Ok;
  }

  Status SearchRoot(const std::u16string& key, std::optional<RootEntry>& out);
  Status ReadIndexBlock(const Stream& alloc, std::uint32_t blockSize, std::uint64_t vcn,
                        std::vector<std::uint8_t>& block, base::Bytes& entries);
  std::string LongName(const IndexEntry& entry);

  VolumeReader reader_;
  UpcaseTable upcase_;
};

Status VolumeImpl::SearchRoot(const std::u16string& key, std::optional<RootEntry>& out) {
  const std::uint32_t recordSize = reader_.boot().recordSize;
  std::vector<std::uint8_t> root;
  bool found = false;
  if (const Status s = reader_.ReadValue(kRootRecord, kIndexRoot, "$I30", recordSize, root, found); s != Status::Ok)
    return s;
  if (!found) return Status::Corrupt;
  std::uint32_t blockSize = 0;
  base::Bytes entries;
  bool large = false;
  if (const Status s = ParseIndexRoot(root, blockSize, entries, large); s != Status::Ok) return s;
  Stream alloc;
  if (large) {
    if (!base::IsPowerOfTwo(blockSize) || blockSize < kMinRecordSize || blockSize > kMaxRecordSize) return Status::Corrupt;
    if (const Status s = reader_.LoadStream(kRootRecord, kIndexAllocation, "$I30", alloc, found); s != Status::Ok)
      return s;
    if (!found) return Status::Corrupt;
  }
  std::vector<std::uint8_t> block;
  for (int depth = 0; depth < kMaxIndexDepth; ++depth) {
    NodeResult result = NodeResult::Missing;
    IndexEntry entry;
    std::uint64_t child = 0;
    if (const Status s = SearchNode(entries, key, upcase_, result, entry, child); s != Status::Ok) return s;
    if (result == NodeResult::Missing) return Status::Ok;
    if (result == NodeResult::Found) {
      out = RootEntry{entry.nameSpace == Namespace::Dos ? LongName(entry) : base::Utf16LeToUtf8(entry.name), entry.dataSize};
      return Status::Ok;
    }
    if (!large) return Status::Corrupt;  // a child node in an index that has no blocks
    if (const Status s = ReadIndexBlock(alloc, blockSize, child, block, entries); s != Status::Ok) return s;
  }
  return Status::Corrupt;
}

Status VolumeImpl::ReadIndexBlock(const Stream& alloc, std::uint32_t blockSize, std::uint64_t vcn,
                                  std::vector<std::uint8_t>& block, base::Bytes& entries) {
  const BootSector& b = reader_.boot();
  // Child nodes are addressed in clusters, or in 512-byte units when a block is smaller than a
  // cluster.
  const std::uint32_t shift = blockSize >= b.bytesPerCluster ? b.clusterShift : 9;
  if (vcn > (~std::uint64_t{0} >> shift)) return Status::Corrupt;
  block.resize(blockSize);
  if (const Status s = ReadStream(reader_.disk(), alloc, b.clusterShift, vcn << shift, block); s != Status::Ok)
    return s;
  if (const Status s = ApplyFixups(block, kIndxMagic); s != Status::Ok) return s;
  if (base::Le64(block, 0x10) != vcn) return Status::Corrupt;  // 0x10: the block's own VCN
  bool hasChildren = false;
  return NodeEntries(block, 0x18, entries, hasChildren);  // 0x18: node header
}

// The Win32 name of a file matched by its DOS 8.3 name, as a directory listing shows it; the
// DOS name itself when the file record has no other name in the root.
std::string VolumeImpl::LongName(const IndexEntry& entry) {
  const std::string dosName = base::Utf16LeToUtf8(entry.name);
  std::vector<std::uint8_t> record;
  FileRecordHeader header;
  std::vector<Attribute> attrs;
  if (reader_.ReadRecord(RecordNumber(entry.fileReference), record) != Status::Ok ||
      ParseFileRecord(record, header, attrs) != Status::Ok)
    return dosName;
  for (const Attribute& a : attrs) {
    IndexEntry name;
    if (a.type != kFileName || a.nonResident || ParseFileName(a.value, name) != Status::Ok) continue;
    if (RecordNumber(name.parentReference) == kRootRecord && name.nameSpace != Namespace::Dos)
      return base::Utf16LeToUtf8(name.name);
  }
  return dosName;
}

}  // namespace

const char* StatusName(Status status) {
  switch (status) {
    case Status::Ok:
      return "ok";
    case Status::NotNtfs:
      return "not an NTFS volume";
    case Status::Corrupt:
      return "inconsistent NTFS structures";
    case Status::IoError:
      return "read error";
  }
  return "";
}

Status Volume::Open(ByteSource& source, std::uint64_t offset, std::unique_ptr<Volume>& out) {
  out.reset();
  const std::uint64_t size = source.Size();
  if (offset > size || size - offset < kBootSectorSize) return Status::NotNtfs;
  std::vector<std::uint8_t> sector(kBootSectorSize);
  if (!source.ReadAt(offset, sector)) return Status::IoError;
  BootSector boot;
  if (const Status s = ParseBootSector(sector, boot); s != Status::Ok) return s;
  // The volume must lie inside its source (parsing bounded totalSectors * bytesPerSector).
  if (boot.totalSectors * boot.bytesPerSector > size - offset) return Status::Corrupt;
  auto volume = std::make_unique<VolumeImpl>(source, offset, boot);
  if (const Status s = volume->Load(); s != Status::Ok) return s;
  out = std::move(volume);
  return Status::Ok;
}

}  // namespace ntfs
