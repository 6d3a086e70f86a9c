#pragma once
// Counts the runs of free clusters of a volume from its $Bitmap chunks, as they stream past in
// the report's one pass (the shape of ntfs::Volume::BitmapCounter).
#include <cstdint>

#include "base/Bytes.h"
#include "core/scan/VolumeScan.h"

namespace morvel {

class FreeExtentCounter {
 public:
  // The chunk that starts at cluster `firstCluster`; only its first `clusters` bits are
  // clusters of the volume. Chunks must come in order, each starting where the last ended.
  void Add(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters);
  // The extents so far, the one still open at the end included.
  FreeExtents Extents() const;

 private:
  void Word(std::uint64_t word, unsigned bits);
  void Close();

  FreeExtents done_;
  std::uint64_t open_ = 0;  // clusters of the free run that reaches the last bit seen
};

}  // namespace morvel
