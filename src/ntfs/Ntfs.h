#pragma once
// Read-only reader of NTFS on-disk structures.
// Stands alone: no OS header, no dependency on the rest of the project. Every length, offset
// and count read from the disk is checked before use; nothing is allocated by an unchecked
// on-disk number and every loop is bounded.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/ByteSource.h"
#include "base/Bytes.h"
#include "base/Result.h"

namespace ntfs {

using base::ByteSource;

// The reader says its rejections with the result every layer uses.
using base::Result;
using base::Status;
using base::StatusName;

class VolumeReader;

// The figures of NTFS_VOLUME_DATA_BUFFER as the running file system reports them.
struct VolumeData {
  std::int64_t VolumeSerialNumber = 0;
  std::int64_t NumberSectors = 0;
  std::int64_t TotalClusters = 0;
  std::int64_t FreeClusters = 0;
  std::int64_t TotalReserved = 0;
  std::uint32_t BytesPerSector = 0;
  std::uint32_t BytesPerCluster = 0;
  std::uint32_t BytesPerFileRecordSegment = 0;
  std::uint32_t ClustersPerFileRecordSegment = 0;
  std::int64_t MftValidDataLength = 0;
  std::int64_t MftStartLcn = 0;
  std::int64_t Mft2StartLcn = 0;
  std::int64_t MftZoneStart = 0;
  std::int64_t MftZoneEnd = 0;
};

// A directory entry of the root directory: the name as stored (UTF-8) and the size the entry
// records.
struct RootEntry {
  std::string name;
  std::uint64_t size = 0;
  std::uint64_t fileReference = 0;  // of the entry's file record, for readers of its contents
};

// $Bitmap is read and counted in chunks of this size, the last of each run shorter: small
// enough that a chunk copied from the page cache is still in the L2 cache when it is counted,
// large enough that the reads are few.
inline constexpr std::size_t kBitmapChunkSize = std::size_t{256} << 10;

// An NTFS volume that starts at `offset` inside `source`.
class Volume {
 public:
  // Reads the boot sector and $MFT's own record.
  static Result Open(ByteSource& source, std::uint64_t offset, std::unique_ptr<Volume>& out);
  virtual ~Volume() = default;

  // The volume data record, with free clusters counted from $Bitmap in bounded chunks.
  virtual Result QueryVolumeData(VolumeData& out) = 0;
  // Looks `name` (UTF-8) up in the root directory index, ignoring case by the volume's
  // $UpCase table; `out` stays empty when there is no such entry. The root index and $UpCase
  // are read on the first lookup and kept (or their rejection kept) for the ones that follow.
  // The name reported is one that collates equal to `name`: a file found by its DOS name is
  // reported by its Win32 name, and a Win32 name that does not match `name` is a rejection,
  // since the caller would be shown a name it did not ask for.
  virtual Result FindRootEntry(std::string_view name, std::optional<RootEntry>& out) = 0;

  // Counts each chunk of $Bitmap in place of QueryVolumeData's own count: is given the chunk's
  // first cluster, its bytes, and how many of their bits are clusters of the volume, and returns
  // how many of those bits are set (at most `clusters`). Lets a caller draw the volume from the
  // one count that gives its free clusters, as the bytes stream past once, in order, in chunks
  // of at most kBitmapChunkSize bytes. Nothing: the query counts by itself.
  using BitmapCounter =
      std::function<std::uint64_t(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters)>;
  void CountBitmapWith(BitmapCounter counter) { bitmapCounter_ = std::move(counter); }

  // The reader behind the volume ($MFT loaded), for whole-volume passes such as MftScan; null
  // for a volume that has none.
  virtual VolumeReader* Reader() { return nullptr; }

 protected:
  BitmapCounter bitmapCounter_;
};

}  // namespace ntfs
