#pragma once
// Where the volume's own files lie: the clusters of the system records 0-15 and the bad
// clusters $BadClus lists, for the picture of the volume.
#include <cstdint>
#include <functional>

#include "ntfs/Ntfs.h"
#include "ntfs/VolumeReader.h"

namespace ntfs {

enum class SystemArea {
  Mft,          // $MFT's data
  MftMirror,    // $MFTMirr
  LogFile,      // $LogFile
  Boot,         // $Boot
  Bitmap,       // $Bitmap
  Upcase,       // $UpCase
  Other,        // every other attribute of the system records 0-15
  BadClusters,  // the allocated runs of $BadClus:$Bad
};

struct Extent {
  SystemArea area = SystemArea::Other;
  std::uint64_t lcn = 0;
  std::uint64_t length = 0;  // clusters, all inside the volume
};

using ExtentVisitor = std::function<void(const Extent&)>;

// Visits the allocated runs of every non-resident attribute of the system records 0-15, in
// their base records and in the extension records their attribute lists name. Records not in
// use are skipped. `reader` must have loaded $MFT.
Result VisitMetadataExtents(VolumeReader& reader, const ExtentVisitor& visit);

// The same for the NTFS volume at `offset` of `source`, through a reader of its own.
Result VisitMetadataExtents(ByteSource& source, std::uint64_t offset, const ExtentVisitor& visit);

}  // namespace ntfs
