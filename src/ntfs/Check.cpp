#include "ntfs/Check.h"

#include <algorithm>
#include <array>

#include "base/BitCount.h"
#include "base/Text.h"
#include "base/Utf.h"
#include "ntfs/Reason.h"
#include "ntfs/Record.h"
#include "ntfs/Runlist.h"

namespace ntfs {
namespace {

using Severity = CheckFinding::Severity;

constexpr std::uint64_t kMirrorRecord = 1;
constexpr std::uint64_t kLogFileRecord = 2;
constexpr std::uint64_t kVolumeRecord = 3;
constexpr std::uint32_t kVolumeInformation = 0x70;
constexpr std::uint16_t kVolumeDirty = 0x0001;
constexpr std::uint32_t kRestartMagic = 0x52545352;  // "RSTR"
constexpr std::uint16_t kRestartClean = 0x0002;
constexpr std::uint16_t kNoClient = 0xFFFF;
constexpr std::size_t kMaxLogPage = 64u << 10;
constexpr std::size_t kDefaultLogPage = 4096;
constexpr std::uint64_t kMirroredRecords = 4;  // what Windows keeps in $MFTMirr

// "a, b and 3 more (5 in all)", or "a, b" when all are listed.
std::string Listing(const std::vector<std::string>& listed, std::uint64_t count, const char* separator = ", ") {
  std::string text;
  for (const std::string& item : listed) text += (text.empty() ? "" : separator) + item;
  if (count > listed.size()) text += " and " + Dec(count - listed.size()) + " more (" + Dec(count) + " in all)";
  return text;
}

void Append(std::vector<std::string>& listed, std::string item) {
  if (listed.size() < kMaxListed) listed.push_back(std::move(item));
}

// "1 cluster", "4 clusters"
std::string Clusters(std::uint64_t n) { return Dec(n) + (n == 1 ? " cluster" : " clusters"); }

// "clusters 100-103", "cluster 7": an extent [start, end).
std::string ClusterRange(std::uint64_t start, std::uint64_t end) {
  return end - start == 1 ? "cluster " + Dec(start) : "clusters " + Dec(start) + "-" + Dec(end - 1);
}

// "0x30-0x37", "0x0D": a byte range [start, end).
std::string ByteRange(std::uint64_t start, std::uint64_t end) {
  return end - start == 1 ? Hex(start) : Hex(start) + "-" + Hex(end - 1);
}

// ---- the boot sector and its backup ----

struct BootField {
  std::uint16_t offset;
  std::uint16_t size;
  const char* name;
};

// The whole sector, field by field.
constexpr std::array<BootField, 21> kBootFields{{
    {0x00, 3, "jump"},
    {0x03, 8, "OEM name"},
    {0x0B, 2, "bytes per sector"},
    {0x0D, 1, "sectors per cluster"},
    {0x0E, 2, "reserved sectors"},
    {0x10, 5, "unused"},
    {0x15, 1, "media descriptor"},
    {0x16, 2, "unused"},
    {0x18, 2, "sectors per track"},
    {0x1A, 2, "heads"},
    {0x1C, 4, "hidden sectors"},
    {0x20, 8, "unused"},
    {0x28, 8, "total sectors"},
    {0x30, 8, "$MFT cluster"},
    {0x38, 8, "$MFTMirr cluster"},
    {0x40, 4, "clusters per record"},
    {0x44, 4, "clusters per index block"},
    {0x48, 8, "serial number"},
    {0x50, 4, "checksum"},
    {0x54, 0x1AA, "boot code"},
    {0x1FE, 2, "end signature"},
}};

// ---- $MFTMirr ----

// Byte ranges where two fixed-up records differ, below `used` and outside [skip, skipEnd).
std::vector<std::pair<std::size_t, std::size_t>> Differences(base::Bytes a, base::Bytes b, std::size_t used,
                                                             std::size_t skip, std::size_t skipEnd) {
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  for (std::size_t i = 0; i < used; ++i) {
    if ((i >= skip && i < skipEnd) || a[i] == b[i]) continue;
    if (!ranges.empty() && ranges.back().second == i)
      ranges.back().second = i + 1;
    else
      ranges.emplace_back(i, i + 1);
  }
  return ranges;
}

CheckFinding MirrorDiffers(std::uint64_t number, const std::vector<std::pair<std::size_t, std::size_t>>& ranges) {
  std::vector<std::string> listed;
  for (const auto& [start, end] : ranges) Append(listed, ByteRange(start, end));
  return {
      Severity::Error,
      "mftmirr-differs",
      "$MFTMirr's copy of " + RecordName(number) + " differs from $MFT's at bytes " + Listing(listed, ranges.size()),
      {}};
}

Result CompareMirrored(VolumeReader& reader, const Stream& mirror, std::uint64_t number, CheckFindings& out) {
  const std::uint32_t size = reader.boot().recordSize;
  std::vector<std::uint8_t> mft;
  if (Result r = reader.ReadRecord(number, mft); !r.ok()) return r;
  std::vector<std::uint8_t> copy(size);
  Result r = ReadStream(reader.disk(), mirror, reader.boot().clusterShift, number * size, copy);
  if (r.ok()) r = ApplyFixups(copy, kFileMagic);
  if (!r.ok()) {
    out.push_back({Severity::Error,
                   "mftmirr-unreadable",
                   "$MFTMirr's copy of " + RecordName(number) + " cannot be read: " + r.reason(),
                   {}});
    return {};
  }
  // ApplyFixups checked the array's place: inside the first stride.
  const std::size_t usa = base::Le16(mft, 0x04);                                // 0x04: update sequence array offset
  const std::size_t usaEnd = usa + 2u * base::Le16(mft, 0x06);                  // 0x06: its entries
  const std::size_t used = std::min<std::size_t>(base::Le32(mft, 0x18), size);  // 0x18: bytes in use
  const auto ranges = Differences(mft, copy, used, usa, usaEnd);
  if (!ranges.empty()) out.push_back(MirrorDiffers(number, ranges));
  return {};
}

// ---- $LogFile ----

bool AllBytesAre(base::Bytes bytes, std::uint8_t value) {
  return std::ranges::all_of(bytes, [value](std::uint8_t b) { return b == value; });
}

struct RestartPage {
  bool valid = false;
  std::size_t size = 0;
  std::uint64_t currentLsn = 0;
  std::uint16_t flags = 0;
  std::uint16_t clientsInUse = kNoClient;
  std::string reason;
};

// The restart page at `at` of `bytes`; `size` is its system page size when the page is valid.
RestartPage ParseRestartPage(base::Bytes bytes, std::size_t at) {
  RestartPage p;
  const auto fail = [&](std::string why) {
    p.reason = "restart page" + AtByte(at) + ": " + std::move(why);
    return p;
  };
  if (!base::Fits(bytes.size(), at, 0x20)) return fail("lies past the bytes read");
  if (base::Le32(bytes, at) != kRestartMagic) return fail("no RSTR signature" + FieldAt(at));
  const std::uint32_t size = base::Le32(bytes, at + 0x10);  // 0x10: system page size
  if (!base::IsPowerOfTwo(size) || size < kFixupStride || size > kMaxLogPage || !base::Fits(bytes.size(), at, size))
    return fail("page size " + Dec(size) + FieldAt(at + 0x10) + " is no power of two from 512 to 64 KiB in reach");
  std::vector<std::uint8_t> page(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
  if (Result r = ApplyFixups(page, kRestartMagic); !r.ok()) return fail(r.reason());
  const std::uint16_t area = base::Le16(page, 0x18);   // 0x18: restart area offset
  const std::uint16_t minor = base::Le16(page, 0x1A);  // 0x1A: minor version
  const std::uint16_t major = base::Le16(page, 0x1C);  // 0x1C: major version
  if (!((major == 1 && minor == 1) || (major == 2 && minor == 0)))
    return fail("log version " + Dec(major) + "." + Dec(minor) + FieldAt(at + 0x1A) + " is neither 1.1 nor 2.0");
  if (area % 8 != 0 || !base::Fits(size, area, 0x30))
    return fail("restart area offset " + Hex(area) + FieldAt(at + 0x18) + " is out of place");
  p.currentLsn = base::Le64(page, area + 0x00);    // +0x00: current LSN
  p.clientsInUse = base::Le16(page, area + 0x0C);  // +0x0C: first client of the in-use list
  p.flags = base::Le16(page, area + 0x0E);         // +0x0E: flags
  p.size = size;
  p.valid = true;
  return p;
}

// ---- $Bitmap against the claims ----

bool BitAt(base::Bytes bytes, std::uint64_t i) { return ((bytes[i / 8] >> (i % 8)) & 1) != 0; }

// The first bit in [i, to) equal to `value`, or `to`.
std::uint64_t NextBit(base::Bytes bytes, std::uint64_t i, std::uint64_t to, bool value) {
  const std::uint8_t none = value ? 0x00 : 0xFF;  // a byte holding no such bit
  while (i < to) {
    if (i % 8 == 0) {
      while (i % 64 == 0 && to - i >= 64 && base::Le64(bytes, i / 8) == (value ? 0 : ~std::uint64_t{0})) i += 64;
      while (to - i >= 8 && bytes[i / 8] == none) i += 8;
      if (i >= to) break;
    }
    if (BitAt(bytes, i) == value) return i;
    ++i;
  }
  return to;
}

}  // namespace

void CheckBootBackup(ByteSource& source, std::uint64_t offset, const BootSector& boot, CheckFindings& out) {
  const std::uint64_t at = boot.totalSectors * boot.bytesPerSector;
  std::vector<std::uint8_t> primary(kBootSectorSize), backup(kBootSectorSize);
  if (!source.ReadAt(offset, primary)) {
    out.push_back({Severity::Error, "boot-unreadable", "the boot sector cannot be read", {}});
    return;
  }
  if (!source.ReadAt(offset + at, backup)) {
    out.push_back(
        {Severity::Warning,
         "boot-backup-missing",
         "the backup boot sector" + AtByte(at) + " of the volume lies past the end of its source or cannot be read",
         {}});
    return;
  }
  std::vector<std::string> fields;
  std::uint64_t count = 0;
  for (const BootField& f : kBootFields) {
    if (std::equal(primary.begin() + f.offset, primary.begin() + f.offset + f.size, backup.begin() + f.offset))
      continue;
    ++count;
    Append(fields, ByteRange(f.offset, f.offset + f.size) + " (" + f.name + ")");
  }
  if (count > 0)
    out.push_back(
        {Severity::Error,
         "boot-backup-differs",
         "the backup boot sector" + AtByte(at) + " differs from the boot sector at bytes " + Listing(fields, count),
         {}});
}

Result CheckMftMirror(VolumeReader& reader, CheckFindings& out) {
  Stream mirror;
  bool found = false;
  if (Result r = reader.LoadStream(kMirrorRecord, kData, "", mirror, found); !r.ok()) return r;
  if (!found) return Corrupt(RecordName(kMirrorRecord) + ": no $DATA attribute");
  const std::uint32_t size = reader.boot().recordSize;
  const std::uint64_t records = std::min(kMirroredRecords, mirror.dataSize / size);
  if (records == 0) {
    out.push_back({Severity::Error,
                   "mftmirr-short",
                   "$MFTMirr's " + Dec(mirror.dataSize) + " bytes hold no whole record of " + Dec(size) + " bytes",
                   {}});
    return {};
  }
  for (std::uint64_t n = 0; n < records; ++n)
    if (Result r = CompareMirrored(reader, mirror, n, out); !r.ok()) return r;
  return {};
}

LogState ParseLogRestart(base::Bytes bytes) {
  LogState state;
  if (bytes.size() >= 2 * kDefaultLogPage && AllBytesAre(bytes.first(2 * kDefaultLogPage), 0xFF)) {
    state.kind = LogState::Kind::Empty;
    return state;
  }
  const RestartPage first = ParseRestartPage(bytes, 0);
  const std::size_t secondAt = first.valid ? first.size : kDefaultLogPage;
  const RestartPage second = ParseRestartPage(bytes, secondAt);
  if (!first.valid && !second.valid) {
    state.reason = first.reason + "; " + second.reason;
    return state;
  }
  const bool useSecond = !first.valid || (second.valid && second.currentLsn > first.currentLsn);
  const RestartPage& p = useSecond ? second : first;
  state.page = useSecond ? secondAt : 0;
  state.currentLsn = p.currentLsn;
  state.flags = p.flags;
  state.clientsInUse = p.clientsInUse;
  // A log no client holds open was closed at unmount (as version 1.1 leaves it); an open one
  // was cleanly unmounted when its restart area says so (as version 2.0 and later leave it).
  state.kind =
      p.clientsInUse == kNoClient || (p.flags & kRestartClean) != 0 ? LogState::Kind::Clean : LogState::Kind::Unclean;
  return state;
}

Result CheckVolumeState(VolumeReader& reader, CheckFindings& out, bool& unclean) {
  unclean = false;
  std::vector<std::uint8_t> info;
  bool found = false;
  if (Result r = reader.ReadValue(kVolumeRecord, kVolumeInformation, "", 4096, info, found); !r.ok())
    return std::move(r).In("$Volume");
  if (!found || info.size() < 0x0C) return Corrupt("$Volume: no volume information of 12 bytes or more");
  const std::uint16_t flags = base::Le16(info, 0x0A);  // 0x0A: volume flags
  if ((flags & kVolumeDirty) != 0) {
    unclean = true;
    out.push_back({Severity::Warning,
                   "volume-dirty",
                   "$Volume's dirty flag is set (volume flags " + Hex(flags) + "): it was not cleanly unmounted",
                   {}});
  }
  Stream log;
  if (Result r = reader.LoadStream(kLogFileRecord, kData, "", log, found); !r.ok()) return std::move(r).In("$LogFile");
  if (!found) return Corrupt("$LogFile: no $DATA attribute");
  std::vector<std::uint8_t> pages(static_cast<std::size_t>(std::min<std::uint64_t>(log.dataSize, 2 * kMaxLogPage)));
  if (Result r = ReadStream(reader.disk(), log, reader.boot().clusterShift, 0, pages); !r.ok())
    return std::move(r).In("$LogFile");
  const LogState state = ParseLogRestart(pages);
  if (state.kind == LogState::Kind::Unreadable) {
    unclean = true;
    out.push_back(
        {Severity::Warning, "log-unreadable", "$LogFile's restart pages cannot be read: " + state.reason, {}});
  } else if (state.kind == LogState::Kind::Unclean) {
    unclean = true;
    out.push_back({Severity::Warning,
                   "log-unclean",
                   "$LogFile's restart area (page" + AtByte(state.page) + ", current LSN " + Dec(state.currentLsn) +
                       ", flags " + Hex(state.flags) + ") says the volume was not cleanly unmounted",
                   {}});
  }
  return {};
}

void CheckRecordsInUse(std::uint64_t records, const RecordLookup& inBitmap, const RecordLookup& flagged,
                       CheckFindings& out) {
  std::vector<std::string> unflagged, free;
  std::uint64_t unflaggedCount = 0, freeCount = 0;
  for (std::uint64_t n = 0; n < records; ++n) {
    const bool used = inBitmap(n), inUse = flagged(n);
    if (used && !inUse) ++unflaggedCount, Append(unflagged, Dec(n));
    if (!used && inUse) ++freeCount, Append(free, Dec(n));
  }
  if (unflaggedCount > 0)
    out.push_back({Severity::Error,
                   "record-not-flagged",
                   "records in use in $MFT's $BITMAP but not flagged in use: " + Listing(unflagged, unflaggedCount),
                   {}});
  if (freeCount > 0)
    out.push_back({Severity::Error,
                   "record-free-in-bitmap",
                   "records flagged in use but free in $MFT's $BITMAP: " + Listing(free, freeCount),
                   {}});
}

void AllocationCheck::Claim(std::uint64_t lcn, std::uint64_t length, std::uint64_t record, const std::string& label) {
  if (length == 0) return;
  auto [it, added] = labelIndex_.try_emplace(label, static_cast<std::uint32_t>(labels_.size()));
  if (added) labels_.push_back(label);
  if (lcn >= totalClusters_ || length > totalClusters_ - lcn) {
    // A claim past the volume's end: named, and compared no further.
    ++outside_.count;
    outside_.clusters += length;
    Append(outside_.listed, "record " + Dec(record) + " " + label + " at cluster " + Dec(lcn) + " for " + Dec(length));
    return;
  }
  claims_.push_back({lcn, lcn + length, record, it->second});
}

std::string AllocationCheck::Owner(std::size_t claim) const {
  return "record " + Dec(claims_[claim].record) + " " + labels_[claims_[claim].label];
}

void AllocationCheck::SortClaims() {
  sorted_ = true;
  std::ranges::sort(claims_, {}, [](const Claimed& c) { return std::pair{c.lcn, c.end}; });
  // Each claim that starts before the furthest end so far overlaps the claim reaching it.
  std::uint64_t furthest = 0, doubled = 0;
  std::size_t reaching = 0;
  for (std::size_t i = 0; i < claims_.size(); ++i) {
    const Claimed& c = claims_[i];
    if (i > 0 && c.lcn < furthest) {
      const std::uint64_t end = std::min(c.end, furthest);
      ++crossLinked_.count;
      crossLinked_.clusters += end - std::max(c.lcn, std::min(doubled, end));
      doubled = std::max(doubled, end);
      Append(crossLinked_.listed, ClusterRange(c.lcn, end) + " by " + Owner(reaching) + " and " + Owner(i));
    }
    if (c.end > furthest) furthest = c.end, reaching = i;
  }
}

void AllocationCheck::Add(Extents& kind, std::uint64_t start, std::uint64_t end, std::size_t owner) {
  if (kind.end == start && kind.end != kind.start) {
    kind.end = end;
    return;
  }
  Close(kind, &kind == &claimedFree_);
  kind.start = start;
  kind.end = end;
  kind.owner = owner;
}

void AllocationCheck::Close(Extents& kind, bool named) {
  if (kind.end == kind.start) return;
  ++kind.count;
  kind.clusters += kind.end - kind.start;
  Append(kind.listed, ClusterRange(kind.start, kind.end) + (named ? " (" + Owner(kind.owner) + ")" : ""));
  kind.start = kind.end = 0;
}

std::uint64_t AllocationCheck::Feed(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters) {
  if (!sorted_) SortClaims();
  clusters = std::min<std::uint64_t>(clusters, std::uint64_t{bytes.size()} * 8);
  const std::uint64_t set = base::CountSetBits(bytes, clusters);
  // Chunks come in order; one that goes back or skips ahead is not compared.
  if (firstCluster != fed_ || clusters > totalClusters_ - fed_) return set;
  const std::uint64_t chunkEnd = firstCluster + clusters;
  for (std::uint64_t pos = firstCluster; pos < chunkEnd;) {
    for (; next_ < claims_.size() && claims_[next_].lcn <= pos; ++next_)
      if (claims_[next_].end > coveredEnd_) coveredEnd_ = claims_[next_].end, coverOwner_ = next_;
    const bool claimed = pos < coveredEnd_;
    const std::uint64_t end = std::min(chunkEnd, claimed                  ? coveredEnd_
                                                 : next_ < claims_.size() ? claims_[next_].lcn
                                                                          : chunkEnd);
    // Claimed clusters free in $Bitmap, unclaimed ones used in it.
    Extents& kind = claimed ? claimedFree_ : lost_;
    for (std::uint64_t i = pos - firstCluster, to = end - firstCluster; i < to;) {
      i = NextBit(bytes, i, to, !claimed);
      if (i == to) break;
      const std::uint64_t runEnd = NextBit(bytes, i, to, claimed);
      Add(kind, firstCluster + i, firstCluster + runEnd, coverOwner_);
      i = runEnd;
    }
    pos = end;
  }
  fed_ = chunkEnd;
  return set;
}

CheckFindings AllocationCheck::Finish() {
  if (!sorted_) SortClaims();
  Close(claimedFree_, true);
  Close(lost_, false);
  CheckFindings out;
  const auto add = [&](const Extents& kind, const char* code, const std::string& what, const char* separator) {
    if (kind.count == 0) return;
    out.push_back({Severity::Error,
                   code,
                   what + " (" + Clusters(kind.clusters) + "): " + Listing(kind.listed, kind.count, separator),
                   {}});
  };
  add(outside_, "claimed-outside", "clusters claimed past the volume's " + Clusters(totalClusters_), "; ");
  add(crossLinked_, "cross-linked", "clusters claimed by two attributes", "; ");
  add(claimedFree_, "claimed-free", "clusters claimed but free in $Bitmap, where new data may overwrite them", "; ");
  add(lost_, "lost-clusters", "clusters in use in $Bitmap but claimed by nothing", ", ");
  return out;
}

CheckFinding CheckIncomplete(const std::string& what, const Result& why) {
  return {Severity::Error, "check-incomplete", what + " could not be checked: " + why.reason(), {}};
}

std::string AttributeLabel(std::uint32_t type, base::Bytes name) {
  return AttributeLabel(type, base::Utf16LeToUtf8(name));
}

std::string AttributeLabel(std::uint32_t type, std::string_view utf8Name) {
  std::string label = AttributeTypeName(type);
  if (!utf8Name.empty()) label += ":" + base::EscapeControls(utf8Name);
  return label;
}

void NoteFindings(CheckFindings& findings, std::size_t first, const std::string& note) {
  for (std::size_t i = first; i < findings.size(); ++i) findings[i].notes.push_back(note);
}

void CheckStructures(ByteSource& source, std::uint64_t offset, VolumeReader& reader, CheckFindings& out,
                     bool& unclean) {
  CheckBootBackup(source, offset, reader.boot(), out);
  if (Result r = CheckMftMirror(reader, out); !r.ok()) out.push_back(CheckIncomplete("$MFTMirr", r));
  if (Result r = CheckVolumeState(reader, out, unclean); !r.ok()) out.push_back(CheckIncomplete("the clean state", r));
}

}  // namespace ntfs
