#pragma once
// The consistency check over a scan of $MFT: the records in use and the clusters claimed come
// from the scan's one pass, $Bitmap from the report's one pass, the volume's own structures
// through the reader.
#include <cstdint>
#include <optional>

#include "base/Bytes.h"
#include "ntfs/Check.h"
#include "ntfs/MftScan.h"

namespace ntfs {

class ScanCheck {
 public:
  // Checks the boot sector's backup, $MFTMirr, the clean state and the records in use, and
  // gathers the claims of every stream the scan kept; `source` holds the volume at `offset`.
  ScanCheck(ByteSource& source, std::uint64_t offset, VolumeReader& reader, const MftScan& scan);

  // Given every chunk of the query's $Bitmap pass, in order (Volume::BitmapCounter's arguments).
  void Observe(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters);
  // The findings once the pass is over; `pass` is its result, a failed one leaves the clusters
  // unchecked.
  CheckFindings Finish(const Result& pass);

 private:
  CheckFindings found_;
  std::optional<AllocationCheck> allocation_;  // none when the scan could not keep every stream
  Result incomplete_;                          // why the clusters cannot be checked
  bool unclean_ = false;
  std::size_t structural_ = 0;  // the findings before it are of the structures
};

// Every check on the NTFS volume at `offset` of `source`, its structures, $MFT and $Bitmap
// read here. Fails only when the volume cannot be opened or its $MFT cannot be read; a check
// that cannot run is a finding.
Result CheckVolume(ByteSource& source, std::uint64_t offset, CheckFindings& out);

}  // namespace ntfs
