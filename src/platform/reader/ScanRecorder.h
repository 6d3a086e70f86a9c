#pragma once
// Scans a volume's $MFT when the next query asks for it, before the query's $Bitmap pass: the
// scan reads $MFT once, then the report's pass reads $Bitmap once, counting the free extents
// in the same chunks that give the free clusters. Builds the --analyze figures from both.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "core/scan/FreeExtents.h"
#include "core/scan/VolumeScan.h"
#include "ntfs/MftScan.h"
#include "ntfs/Ntfs.h"
#include "ntfs/ScanCheck.h"

namespace morvel {

// The --analyze figures of a scan and the free extents of the volume's $Bitmap.
VolumeAnalysis AnalyzeScan(const ntfs::MftScan& scan, const FreeExtents& free);

// The check's findings as every program renders them; on a volume in use each carries the note
// kInUseNote.
std::vector<Finding> ToFindings(const ntfs::CheckFindings& found, bool inUse);
inline constexpr const char* kInUseNote = "in use: may change while read";

class ScanRecorder {
 public:
  void Request(const ScanRequest& request);
  bool Requested() const { return request_.analyze || request_.check; }

  // Whether the volume is in use (mounted, or a live drive), so that what the check finds may
  // change while it is read.
  void SetInUse(std::function<bool()> inUse) { inUse_ = std::move(inUse); }

  // The order of reading: Scan before the query, Observe during its $Bitmap pass, Finish after.
  // A scan that fails leaves the query as it is and says why the scan is missing. `source` holds
  // the volume at its start (the check reads the backup boot sector past the volume's end).
  void Scan(base::ByteSource& source, ntfs::Volume& volume);
  // Given every $Bitmap chunk of the query's pass (ntfs::Volume::BitmapCounter's arguments).
  void Observe(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters);
  void Finish(const ntfs::Result& query);

  // The scan of the last query, for what rides along with it (the check, the map's owners);
  // null when there was none.
  const ntfs::MftScan* Mft() const { return mft_ ? &*mft_ : nullptr; }
  // The last scan's outcome, or nothing with the reason.
  std::optional<VolumeScan> Take(std::string& reason);

 private:
  ScanRequest request_;
  bool active_ = false;          // between Scan and Finish of a requested scan
  std::function<bool()> inUse_;  // asked when findings are made
  std::optional<ntfs::MftScan> mft_;
  std::optional<ntfs::ScanCheck> check_;
  FreeExtentCounter free_;
  std::optional<VolumeScan> scan_;
  std::string reason_ = "no scan was asked for";
};

}  // namespace morvel
