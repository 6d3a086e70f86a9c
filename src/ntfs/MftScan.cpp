#include "ntfs/MftScan.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/BitCount.h"
#include "base/Utf.h"
#include "ntfs/Reason.h"
#include "ntfs/Record.h"
#include "ntfs/VolumeReader.h"

namespace ntfs {
namespace {

constexpr std::uint32_t kMftBitmap = 0xB0;
constexpr std::uint16_t kInUse = 0x01;
constexpr std::uint16_t kDirectory = 0x02;
constexpr std::uint8_t kDosNamespace = 2;

// Items copied into blocks that never move: a view of them stays valid while the arena lives,
// however many are added after it.
template <typename T>
class Arena {
 public:
  explicit Arena(std::size_t blockItems) : blockItems_(blockItems) {}

  std::span<const T> Add(std::span<const T> items) {
    if (items.empty()) return {};
    if (blocks_.empty() || items.size() > blocks_.back().size() - used_) {
      blocks_.emplace_back(std::max(blockItems_, items.size()));
      used_ = 0;
      reserved_ += blocks_.back().size();
    }
    T* at = blocks_.back().data() + used_;
    std::copy(items.begin(), items.end(), at);
    used_ += items.size();
    return {at, items.size()};
  }
  std::uint64_t Bytes() const { return reserved_ * sizeof(T); }

 private:
  std::size_t blockItems_;
  std::vector<std::vector<T>> blocks_;
  std::size_t used_ = 0;
  std::uint64_t reserved_ = 0;
};

// The rank of a $FILE_NAME namespace as a file's shown name: Win32 or POSIX over DOS.
int NameRank(std::uint8_t space) { return space == kDosNamespace ? 0 : 1; }

struct FileName {
  std::uint64_t parent = 0;
  std::uint8_t space = 0;
  base::Bytes name;  // UTF-16LE
};

// A resident $FILE_NAME value: parent reference, namespace and name.
bool ParseFileName(const Attribute& a, FileName& out) {
  const base::Bytes v = a.value;
  if (a.nonResident || v.size() < 0x42) return false;
  out.parent = RecordNumber(base::Le64(v, 0x00));  // 0x00: parent directory reference
  const std::uint8_t units = base::Le8(v, 0x40);   // 0x40: name length in UTF-16 units
  out.space = base::Le8(v, 0x41);                  // 0x41: namespace
  if (!base::Fits(v.size(), 0x42, units * 2u)) return false;
  out.name = v.subspan(0x42, units * 2u);
  return true;
}

}  // namespace

struct MftScan::State {
  // A file's streams in `streams`, until the pass ends and views can be made of them.
  struct StreamRange {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
  };
  // What an extension record holds for its base: a name or one extent of a stream.
  struct Foreign {
    std::uint64_t base = 0;
    std::uint16_t sequence = 0;  // the base's, as the extension's reference gives it
    std::uint64_t record = 0;    // the extension record
    bool isName = false;
    FileName name;              // bytes valid during the record only: copied below
    std::string_view nameText;  // the name, in the pool
    std::uint32_t links = 0;
    ScannedStream stream;
    std::uint64_t lowestVcn = 0;
  };

  std::uint64_t recordCount = 0;
  std::uint32_t recordSize = 0;
  std::uint64_t totalClusters = 0;
  bool hasBitmap = false;
  std::vector<std::uint8_t> bitmap;   // $MFT:$BITMAP, bits past recordCount clear
  std::vector<std::uint8_t> flagged;  // one bit a record
  std::uint64_t inUseByBitmap = 0;
  std::uint64_t flaggedInUse = 0;
  std::uint64_t residentFiles = 0;

  std::vector<ScannedFile> files;
  std::vector<StreamRange> ranges;  // parallel to files
  std::vector<ScannedStream> streams;
  std::vector<Foreign> foreign;
  Arena<ntfs::Run> runs{std::size_t{1} << 16};
  Arena<char> pool{std::size_t{256} << 10};
  std::vector<ntfs::Run> decoded;  // one runlist, reused
  std::vector<Attribute> attrs;

  std::vector<ScanProblem> problems;
  std::uint64_t problemCount = 0;
  bool full = false;  // kMaxScanBytes reached: nothing more is kept

  void Problem(std::uint64_t record, std::string reason) {
    ++problemCount;
    if (problems.size() < kMaxScanProblems) problems.push_back({record, std::move(reason)});
  }

  std::uint64_t Kept() const {
    return files.capacity() * sizeof(ScannedFile) + ranges.capacity() * sizeof(StreamRange) +
           streams.capacity() * sizeof(ScannedStream) + foreign.capacity() * sizeof(Foreign) + runs.Bytes() +
           pool.Bytes() + bitmap.size() + flagged.size();
  }

  // What the next item would cost a full array: its growth to twice its size.
  template <typename T>
  static std::uint64_t Growth(const std::vector<T>& v) {
    return v.size() == v.capacity() ? std::max<std::size_t>(v.capacity(), 1) * sizeof(T) : 0;
  }

  // Whether `bytes` more may be kept, the growth of the arrays they go into included; says once
  // when the bound is reached.
  bool Room(std::uint64_t record, std::uint64_t bytes) {
    const std::uint64_t growth = Growth(files) + Growth(ranges) + Growth(streams) + Growth(foreign);
    if (!full && Kept() + bytes + growth > kMaxScanBytes) {
      full = true;
      Problem(record,
              "the scan keeps no more files or streams from here on: " + Dec(kMaxScanBytes >> 20) + " MiB are kept");
    }
    return !full;
  }

  std::string_view Text(base::Bytes utf16) {
    if (utf16.empty()) return {};
    const std::string text = base::Utf16LeToUtf8(utf16);
    const std::span<const char> kept = pool.Add(std::span<const char>(text.data(), text.size()));
    return {kept.data(), kept.size()};
  }

  bool Bit(const std::vector<std::uint8_t>& bits, std::uint64_t n) const {
    return n < recordCount && n / 8 < bits.size() && (bits[n / 8] >> (n % 8) & 1) != 0;
  }

  Result LoadBitmap(VolumeReader& reader);
  void ScanRecord(std::uint64_t number, std::span<std::uint8_t> record);
  void AddBase(std::uint64_t number, std::uint16_t sequence, std::uint16_t flags);
  void AddExtension(std::uint64_t number, std::uint64_t baseReference);
  bool MakeStream(std::uint64_t number, const Attribute& a, ScannedStream& out);
  void Finish();
  void JoinNames(const std::vector<Foreign*>& names, ScannedFile& file);
  void JoinStreams(std::size_t fileIndex, std::vector<const Foreign*>& extents);
  std::size_t IndexOf(std::uint64_t record) const;
};

Result MftScan::State::LoadBitmap(VolumeReader& reader) {
  // $BITMAP is allocated in 8-byte steps and may grow ahead of $MFT's data.
  const std::size_t bytes = static_cast<std::size_t>((recordCount + 7) / 8);
  const std::size_t limit = bytes + (std::size_t{64} << 10);
  bool found = false;
  if (Result r = reader.ReadValue(kMftRecord, kMftBitmap, "", limit, bitmap, found); !r.ok()) return r;
  if (!found) return Corrupt(RecordName(kMftRecord) + ": no $BITMAP attribute");
  if (bitmap.size() < bytes)
    return Corrupt("$MFT:$BITMAP of " + Dec(bitmap.size()) + " bytes holds fewer than the " + Dec(recordCount) +
                   " records of $MFT's data");
  bitmap.resize(bytes);
  if (recordCount % 8 != 0) bitmap.back() &= static_cast<std::uint8_t>((1u << (recordCount % 8)) - 1);
  inUseByBitmap = base::CountSetBits(bitmap, recordCount);
  return {};
}

void MftScan::State::ScanRecord(std::uint64_t number, std::span<std::uint8_t> record) {
  const bool inUse = Bit(bitmap, number);
  if (base::Le32(record, 0) != kFileMagic) {
    // Records never used hold zeros; one in use must be a file record.
    if (inUse) Problem(number, "no FILE signature (byte 0x00), but $MFT's $BITMAP says it is in use");
    return;
  }
  // The flags lie in the first stride, clear of the update sequence: a record not in use is
  // passed over without its fix-ups.
  if ((base::Le16(record, 0x16) & kInUse) == 0) return;  // 0x16: flags
  FileRecordHeader header;
  Result r = ApplyFixups(record, kFileMagic);
  if (r.ok()) r = ParseFileRecord(record, header, attrs);
  if (!r.ok()) {
    Problem(number, r.reason());
    return;
  }
  if ((header.flags & kInUse) == 0) return;
  flagged[number / 8] |= static_cast<std::uint8_t>(1u << (number % 8));
  ++flaggedInUse;
  // An extension of $MFT's own record 0 has a base reference of record 0: the whole reference,
  // sequence number included, tells a base record (0) from an extension.
  const std::uint64_t baseReference = base::Le64(record, 0x20);  // 0x20: base record reference
  if (baseReference == 0)
    AddBase(number, base::Le16(record, 0x10), header.flags);  // 0x10: sequence number
  else
    AddExtension(number, baseReference);
}

bool MftScan::State::MakeStream(std::uint64_t number, const Attribute& a, ScannedStream& out) {
  out = ScannedStream{};
  out.type = a.type;
  out.flags = a.flags;
  out.dataSize = a.dataSize;
  out.allocatedSize = a.allocatedSize;
  decoded.clear();
  if (Result r = DecodeRunlist(a.runlist, a.lowestVcn, a.highestVcn, totalClusters, decoded, a.runlistOffset);
      !r.ok()) {
    Problem(number, AttributeTypeName(a.type) + AtByte(a.offset) + ": " + r.reason());
    decoded.clear();
  }
  if (!Room(number, sizeof(ScannedStream) + decoded.size() * sizeof(ntfs::Run) + a.name.size() * 2)) return false;
  out.name = Text(a.name);
  out.runs = runs.Add(decoded);
  return true;
}

void MftScan::State::AddBase(std::uint64_t number, std::uint16_t sequence, std::uint16_t flags) {
  // A file whose attributes all lie in its record owns no cluster and has no extension: it is
  // counted, and nothing of it is kept.
  const bool directory = (flags & kDirectory) != 0;
  if (!directory &&
      std::ranges::none_of(attrs, [](const Attribute& a) { return a.nonResident || a.type == kAttributeList; })) {
    ++residentFiles;
    return;
  }
  if (!Room(number, sizeof(ScannedFile) + sizeof(StreamRange))) return;
  ScannedFile file;
  file.record = number;
  file.sequence = sequence;
  file.directory = directory;
  FileName best;
  bool named = false;
  StreamRange range{static_cast<std::uint32_t>(streams.size()), 0};
  for (const Attribute& a : attrs) {
    FileName name;
    if (a.type == kFileName && ParseFileName(a, name)) {
      if (name.space != kDosNamespace) ++file.links;
      if (!named || NameRank(name.space) > NameRank(best.space)) best = name;
      named = true;
    }
    if (a.type == kData && a.name.empty() && (!a.nonResident || a.lowestVcn == 0)) file.dataSize = a.dataSize;
    if (!a.nonResident) continue;
    ScannedStream stream;
    if (MakeStream(number, a, stream)) {
      streams.push_back(stream);
      ++range.count;
    }
  }
  if (named) {
    file.parent = best.parent;
    file.name = Text(best.name);
  }
  files.push_back(file);
  ranges.push_back(range);
}

void MftScan::State::AddExtension(std::uint64_t number, std::uint64_t baseReference) {
  Foreign f;
  f.base = RecordNumber(baseReference);
  f.sequence = static_cast<std::uint16_t>(baseReference >> 48);
  f.record = number;
  if (f.base >= recordCount) {
    Problem(number, "extension of record " + Dec(f.base) + ", which lies past $MFT's " + Dec(recordCount) +
                        " records (byte 0x20)");
    return;
  }
  for (const Attribute& a : attrs) {
    Foreign item = f;
    if (a.type == kFileName && ParseFileName(a, item.name)) {
      if (!Room(number, sizeof(Foreign) + item.name.name.size() * 2)) return;
      item.isName = true;
      item.links = item.name.space != kDosNamespace ? 1 : 0;
      item.nameText = Text(item.name.name);
      item.name.name = {};
      foreign.push_back(item);
    } else if (a.nonResident) {
      if (!Room(number, sizeof(Foreign))) return;
      item.lowestVcn = static_cast<std::uint64_t>(a.lowestVcn);
      if (MakeStream(number, a, item.stream)) foreign.push_back(item);
    }
  }
}

std::size_t MftScan::State::IndexOf(std::uint64_t record) const {
  const auto it = std::ranges::lower_bound(files, record, {}, &ScannedFile::record);
  return it != files.end() && it->record == record ? static_cast<std::size_t>(it - files.begin()) : files.size();
}

void MftScan::State::JoinNames(const std::vector<Foreign*>& names, ScannedFile& file) {
  // The base's own name stays unless it is a DOS name and an extension holds a better one.
  bool dosOnly = file.name.empty();
  for (const Foreign* n : names) {
    file.links += n->links;
    if ((dosOnly && NameRank(n->name.space) > 0) || file.name.empty()) {
      file.name = n->nameText;
      file.parent = n->name.parent;
      dosOnly = NameRank(n->name.space) == 0;
    }
  }
}

namespace {

// Orders extents for joining: by type, name and first VCN.
bool ExtentBefore(const ScannedStream* a, std::uint64_t va, const ScannedStream* b, std::uint64_t vb) {
  if (a->type != b->type) return a->type < b->type;
  if (a->name != b->name) return a->name < b->name;
  return va < vb;
}

}  // namespace

void MftScan::State::JoinStreams(std::size_t fileIndex, std::vector<const Foreign*>& extents) {
  struct Piece {
    const ScannedStream* stream;
    std::uint64_t lowestVcn;
  };
  std::vector<Piece> pieces;
  const StreamRange own = ranges[fileIndex];
  for (std::uint32_t i = 0; i < own.count; ++i) {
    const ScannedStream& s = streams[own.first + i];
    pieces.push_back({&s, s.runs.empty() ? 0 : s.runs.front().vcn});
  }
  for (const Foreign* f : extents) pieces.push_back({&f->stream, f->lowestVcn});
  std::ranges::stable_sort(pieces, [](const Piece& a, const Piece& b) {
    return ExtentBefore(a.stream, a.lowestVcn, b.stream, b.lowestVcn);
  });
  ScannedFile& file = files[fileIndex];
  std::vector<ScannedStream> joined;
  for (std::size_t i = 0; i < pieces.size();) {
    std::size_t end = i + 1;
    while (end < pieces.size() && pieces[end].stream->type == pieces[i].stream->type &&
           pieces[end].stream->name == pieces[i].stream->name)
      ++end;
    ScannedStream s = *pieces[i].stream;  // the first extent carries the sizes
    decoded.clear();
    std::uint64_t next = 0;
    for (std::size_t k = i; k < end; ++k) {
      const Piece& p = pieces[k];
      if (p.lowestVcn != next || decoded.size() + p.stream->runs.size() > kMaxRuns) {
        Problem(file.record, AttributeTypeName(s.type) + ": an extent starts at VCN " + Dec(p.lowestVcn) + ", not at " +
                                 Dec(next) + ", or the stream has more than " + Dec(kMaxRuns) +
                                 " runs; the extents from there on are left out");
        break;
      }
      decoded.insert(decoded.end(), p.stream->runs.begin(), p.stream->runs.end());
      if (!p.stream->runs.empty()) next = p.stream->runs.back().vcn + p.stream->runs.back().length;
    }
    s.runs = end - i > 1 ? runs.Add(decoded) : s.runs;
    if (s.type == kData && s.name.empty()) file.dataSize = s.dataSize;
    joined.push_back(s);
    i = end;
  }
  ranges[fileIndex] = {static_cast<std::uint32_t>(streams.size()), static_cast<std::uint32_t>(joined.size())};
  streams.insert(streams.end(), joined.begin(), joined.end());
}

void MftScan::State::Finish() {
  // Extension records by base, in record order within each base.
  std::ranges::stable_sort(foreign, {}, &Foreign::base);
  std::vector<Foreign*> names;
  std::vector<const Foreign*> extents;
  for (std::size_t i = 0; i < foreign.size();) {
    const std::uint64_t base = foreign[i].base;
    std::size_t end = i;
    while (end < foreign.size() && foreign[end].base == base) ++end;
    const std::size_t index = IndexOf(base);
    names.clear();
    extents.clear();
    for (std::size_t k = i; k < end; ++k) {
      Foreign& f = foreign[k];
      if (index == files.size()) {
        Problem(f.record, "extension of record " + Dec(base) + ", which is no base record in use (byte 0x20)");
      } else if (f.sequence != 0 && f.sequence != files[index].sequence) {
        Problem(f.record, "extension of record " + Dec(base) + " with sequence number " + Dec(f.sequence) +
                              ", but that record has " + Dec(files[index].sequence) + " (byte 0x20)");
      } else if (f.isName) {
        names.push_back(&f);
      } else {
        extents.push_back(&f);
      }
    }
    if (index != files.size()) {
      JoinNames(names, files[index]);
      if (!extents.empty()) JoinStreams(index, extents);
    }
    i = end;
  }
  foreign.clear();
  foreign.shrink_to_fit();
  // `streams` has stopped growing: its views can be handed out.
  for (std::size_t i = 0; i < files.size(); ++i)
    files[i].streams = std::span<const ScannedStream>(streams).subspan(ranges[i].first, ranges[i].count);
  ranges.clear();
  ranges.shrink_to_fit();
}

std::uint64_t CountFragments(std::span<const Run> runs) {
  std::uint64_t fragments = 0;
  std::uint64_t next = kSparse;  // the cluster after the last allocated run
  for (const Run& r : runs) {
    if (r.lcn == kSparse) continue;
    if (r.lcn != next) ++fragments;
    next = r.lcn + r.length;
  }
  return fragments;
}

MftScan::MftScan() : state_(std::make_unique<State>()) {}
MftScan::~MftScan() = default;
MftScan::MftScan(MftScan&&) noexcept = default;
MftScan& MftScan::operator=(MftScan&&) noexcept = default;

Result MftScan::Run(VolumeReader& reader, MftScan& out) {
  out = MftScan();
  State& s = *out.state_;
  const BootSector& boot = reader.boot();
  const Stream& mft = reader.mft();
  s.recordSize = boot.recordSize;
  s.totalClusters = boot.totalClusters;
  s.recordCount = mft.dataSize / boot.recordSize;
  s.flagged.assign(static_cast<std::size_t>((s.recordCount + 7) / 8), 0);
  if (Result r = s.LoadBitmap(reader); !r.ok()) {
    s.bitmap.clear();
    s.inUseByBitmap = 0;
    s.Problem(kMftRecord, "$MFT's $BITMAP: " + r.reason());
  } else {
    s.hasBitmap = true;
    // Nearly every record in use is a file with a stream or two: room for them at once, within
    // the bound, spares the arrays' growth.
    const auto expected = static_cast<std::size_t>(
        std::min<std::uint64_t>(s.inUseByBitmap, kMaxScanBytes / (2 * sizeof(ScannedStream) + sizeof(ScannedFile))));
    s.files.reserve(expected);
    s.ranges.reserve(expected);
    s.streams.reserve(expected + expected / 4);
  }
  // $MFT is read ahead on a second thread while the records read before are parsed. A record
  // lies whole in its chunk (chunks start at multiples of kScanChunkSize, a multiple of the
  // record size) and is fixed up where it lies; one that does not is put together in a buffer.
  std::vector<std::uint8_t> record(boot.recordSize);
  std::size_t filled = 0;
  std::uint64_t number = 0;
  const auto consume = [&](std::uint64_t, std::span<std::uint8_t> chunk) {
    while (!chunk.empty()) {
      if (filled == 0 && chunk.size() >= record.size()) {
        // The reader's thread wrote the chunk on another core: the record after next is asked
        // for while this one is parsed.
        if (chunk.size() >= 3 * record.size())
          for (std::size_t line = 0; line < record.size(); line += 64)
            __builtin_prefetch(chunk.data() + 2 * record.size() + line);
        s.ScanRecord(number++, chunk.first(record.size()));
        chunk = chunk.subspan(record.size());
        continue;
      }
      const std::size_t n = std::min(chunk.size(), record.size() - filled);
      std::memcpy(record.data() + filled, chunk.data(), n);
      filled += n;
      chunk = chunk.subspan(n);
      if (filled == record.size()) {
        s.ScanRecord(number++, record);
        filled = 0;
      }
    }
  };
  if (Result r = ReadStreamAhead(reader.disk(), mft, boot.clusterShift, 0, s.recordCount * boot.recordSize,
                                 kScanChunkSize, consume);
      !r.ok())
    return std::move(r).In("$MFT");
  s.Finish();
  return {};
}

std::uint64_t MftScan::RecordCount() const { return state_->recordCount; }
std::uint64_t MftScan::RecordsInUseByBitmap() const { return state_->inUseByBitmap; }
std::uint64_t MftScan::RecordsFlaggedInUse() const { return state_->flaggedInUse; }
bool MftScan::InUseByBitmap(std::uint64_t record) const { return state_->Bit(state_->bitmap, record); }
bool MftScan::FlaggedInUse(std::uint64_t record) const { return state_->Bit(state_->flagged, record); }
bool MftScan::HasBitmap() const { return state_->hasBitmap; }

void MftScan::ForEachFile(const std::function<void(const ScannedFile&)>& visit) const {
  for (const ScannedFile& f : state_->files) visit(f);
}

std::size_t MftScan::FileCount() const { return state_->files.size(); }
std::uint64_t MftScan::ResidentFileCount() const { return state_->residentFiles; }

const ScannedFile* MftScan::File(std::uint64_t record) const {
  const std::size_t i = state_->IndexOf(record);
  return i < state_->files.size() ? &state_->files[i] : nullptr;
}

std::string MftScan::PathOf(std::uint64_t record) const {
  std::vector<std::string_view> parts;
  std::string prefix;
  std::uint64_t at = record;
  // A cycle is met again by the record last marked, which moves on at every power of two of
  // the steps taken (Brent's method): a step each, however long the chain.
  std::uint64_t mark = ~std::uint64_t{0};
  while (at != kRootRecord) {
    if (at == mark) {
      prefix = "<cycle>";
      break;
    }
    if (parts.size() == static_cast<std::size_t>(kMaxPathDepth)) {
      prefix = "<too deep>";
      break;
    }
    if (std::has_single_bit(parts.size() + 1)) mark = at;
    const ScannedFile* f = File(at);
    if (f == nullptr || f->name.empty()) {
      prefix = "<record " + Dec(at) + "?>";
      break;
    }
    parts.push_back(f->name);
    at = f->parent;
  }
  std::string path = prefix;
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
    path += '/';
    path += *it;
  }
  return path.empty() ? "/" : path;
}

const std::vector<ScanProblem>& MftScan::Problems() const { return state_->problems; }
std::uint64_t MftScan::ProblemCount() const { return state_->problemCount; }
std::uint64_t MftScan::KeptBytes() const { return state_->Kept(); }
bool MftScan::KeptAll() const { return !state_->full; }

}  // namespace ntfs
