#pragma once
// A volume as the programs hold it once a target is opened: what the report asks of it
// (VolumeAccess), and what the console and desktop programs add around the report: the
// cluster map drawn in the query's own pass and the facts --details shows.
#include <cstddef>
#include <optional>
#include <string>

#include "base/Result.h"
#include "core/map/ClusterMap.h"
#include "core/report/VolumeAccess.h"
#include "core/scan/VolumeScan.h"
#include "platform/reader/VolumeDetails.h"

namespace morvel {

class OpenedVolume : public VolumeAccess {
 public:
  using ScanRequest = morvel::ScanRequest;  // what a scan is asked for (core/scan/VolumeScan.h)

  // Asks the next volume-data query to build a map of `cells` cells in the same pass. False
  // when this volume cannot be drawn (one queried through the file system driver).
  virtual bool RequestClusterMap(std::size_t cells) = 0;
  // The map the last query built; nothing, with the reason, when it could not.
  virtual std::optional<ClusterMap> TakeClusterMap(std::string& reason) = 0;
  // Asks the next volume-data query to scan the volume first (its $MFT, then its $Bitmap in the
  // query's own pass). False when this volume cannot be scanned (one queried through the file
  // system driver).
  virtual bool RequestScan(const ScanRequest& request) = 0;
  // The scan the last query made; nothing, with the reason, when it could not.
  virtual std::optional<VolumeScan> TakeScan(std::string& reason) = 0;
  // The facts --details shows; a failure says why they could not be read.
  virtual base::Result ReadDetails(VolumeDetails& out) = 0;
};

}  // namespace morvel
