#pragma once
// One sequential pass over $MFT: every in-use base record that owns clusters or may (a
// directory, a record with a non-resident attribute or an attribute list) with its best name,
// its link count and its non-resident streams, their runs merged over all extents; the other
// in-use base records, whose attributes all lie in the record, are counted only.
//
// $MFT is read once, in order, in chunks of kScanChunkSize bytes along its runs, read ahead on a
// second thread (ReadStreamAhead) while the records of the chunks before are fixed up and
// parsed where they lie. Extension records are joined to their base records after the
// pass by the base reference in their header (the base must be an in-use base record whose
// sequence number matches), so the pass makes no random read and reads no attribute list.
// A record that fails (no signature where $MFT's $BITMAP says in use, a torn update sequence, a
// bad attribute, a runlist outside the volume) is kept as a problem with its reason and the
// pass goes on; only a failed read of $MFT itself stops it.
//
// Memory: flat arrays and two arenas, no allocation per file. A kept file costs 80 bytes plus
// its best name (at most 765 bytes of UTF-8), a stream 64 bytes plus its name, a run 24 bytes,
// a record 2 bits (in use per $BITMAP, flagged in use). All of it together is bounded by
// kMaxScanBytes: past it the pass keeps counting records but keeps no more files, streams or
// runs, and says so as one problem. A volume with a million files, each with a name and a
// non-resident $DATA, keeps about 190 MiB (bench/ScanBench.cpp prints it with the peak resident
// memory); a hostile $MFT can take no more than the bound, and each record costs the work of
// reading it (a stream's runs are bounded by kMaxRuns, a record's attributes by its size).
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ntfs/Ntfs.h"
#include "ntfs/Runlist.h"

namespace ntfs {

class VolumeReader;

inline constexpr std::uint16_t kAttrFlagCompressed = 0x0001, kAttrFlagEncrypted = 0x4000, kAttrFlagSparse = 0x8000;
inline constexpr std::size_t kScanChunkSize = std::size_t{1} << 19;
inline constexpr std::uint64_t kMaxScanBytes = std::uint64_t{224} << 20;
// Problems kept with their reasons; the ones past it are counted only.
inline constexpr std::size_t kMaxScanProblems = 1000;
// Parent links PathOf follows: deeper than any real tree.
inline constexpr int kMaxPathDepth = 256;

struct ScannedStream {
  std::uint32_t type = 0;   // 0x80 $DATA, 0xA0 $INDEX_ALLOCATION, 0xB0 $BITMAP, 0x20 $ATTRIBUTE_LIST, ...
  std::string_view name;    // UTF-8, empty for the unnamed stream
  std::uint16_t flags = 0;  // attribute flags
  std::uint64_t dataSize = 0, allocatedSize = 0;
  std::span<const Run> runs;  // VCN order over all extents; lcn == kSparse for holes
};

struct ScannedFile {
  std::uint64_t record = 0;  // base record number
  std::uint16_t sequence = 0;
  bool directory = false;
  std::uint64_t parent = 0;                // parent record of `name`
  std::string_view name;                   // UTF-8
  std::uint32_t links = 0;                 // names not in the DOS-only namespace
  std::uint64_t dataSize = 0;              // unnamed $DATA
  std::span<const ScannedStream> streams;  // non-resident attributes only
};

struct ScanProblem {
  std::uint64_t record = 0;
  std::string reason;
};

// The physically separate extents of a stream's allocated runs: a run that starts on the
// cluster after the last allocated run continues its fragment; holes (kSparse) count for nothing.
std::uint64_t CountFragments(std::span<const Run> runs);

class MftScan {
 public:
  MftScan();
  ~MftScan();
  MftScan(MftScan&&) noexcept;
  MftScan& operator=(MftScan&&) noexcept;
  MftScan(const MftScan&) = delete;  // its views point into its own storage
  MftScan& operator=(const MftScan&) = delete;

  // Scans the $MFT of `reader` (LoadMft done) into `out`. Fails only when $MFT itself cannot be
  // read; a damaged record is a problem, kept in Problems().
  static Result Run(VolumeReader& reader, MftScan& out);

  std::uint64_t RecordCount() const;           // records $MFT's data holds
  std::uint64_t RecordsInUseByBitmap() const;  // set bits of $MFT:$BITMAP below RecordCount
  std::uint64_t RecordsFlaggedInUse() const;   // valid FILE records whose header says in use
  bool InUseByBitmap(std::uint64_t record) const;
  bool FlaggedInUse(std::uint64_t record) const;
  // Whether $MFT's $BITMAP could be read; when not, InUseByBitmap is false for every record
  // and Problems() says why.
  bool HasBitmap() const;

  // The files kept, as above, in record order.
  void ForEachFile(const std::function<void(const ScannedFile&)>& visit) const;
  std::size_t FileCount() const;
  // In-use base records that are no directory and hold all their attributes: counted, not kept.
  std::uint64_t ResidentFileCount() const;
  const ScannedFile* File(std::uint64_t record) const;  // a file kept, else null
  // "/dir/name" by parent links up to the root (record 5). Bounded by kMaxPathDepth; a part
  // whose record is unknown shows as "<record N?>", a cycle or a chain too deep is cut with
  // "<cycle>" or "<too deep>" in front (a cycle once it has come round, so a name of it may
  // show twice). Its work is one step a part.
  std::string PathOf(std::uint64_t record) const;

  const std::vector<ScanProblem>& Problems() const;  // at most kMaxScanProblems
  std::uint64_t ProblemCount() const;                // all problems, kept or not
  std::uint64_t KeptBytes() const;                   // the memory held, as bounded by kMaxScanBytes
  // Whether every file and stream found was kept: false once kMaxScanBytes was reached.
  bool KeptAll() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ntfs
