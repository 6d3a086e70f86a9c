#pragma once
// Builds the cluster map of a volume while its volume data is queried: the map's cells are
// counted from the same $Bitmap chunks the query counts, then the system files' runs and the
// modelled MFT zone are laid over them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/ByteSource.h"
#include "core/map/ClusterMap.h"
#include "ntfs/MftScan.h"
#include "ntfs/Ntfs.h"
#include "ntfs/VolumeReader.h"

namespace morvel {

// Shown every $Bitmap chunk of the query's pass besides the count (ntfs::BitmapObserver).
using ntfs::BitmapObserver;

class MapRecorder {
 public:
  // The next Query builds a map of `cells` cells.
  void Request(std::size_t cells);
  // QueryVolumeData of `volume`, which lies at the start of `source`; builds the requested map
  // in the same pass, and shows every chunk to `observe` when given. A map that cannot be built
  // leaves the query's result as it is.
  ntfs::Result Query(base::ByteSource& source, ntfs::Volume& volume, ntfs::VolumeData& out,
                     const BitmapObserver& observe = nullptr);
  // Lays the files of `scan`, made of the same volume, over the map of the last Query (if it
  // built one): each cell's layers and the files owning the most of it, with their paths.
  void AddFiles(const ntfs::MftScan& scan);
  // The map of the last Query, or nothing with the reason.
  std::optional<ClusterMap> Take(std::string& reason);

 private:
  // The query without a map, each chunk counted as the query counts it and shown to `observe`.
  static ntfs::Result CountObserved(ntfs::Volume& volume, ntfs::VolumeData& out, const BitmapObserver& observe);
  void Overlay(base::ByteSource& source, const ntfs::VolumeData& data);

  std::size_t requested_ = 0;  // 0: no map asked for
  std::optional<ClusterMap> map_;
  std::string reason_ = "no map was asked for";
};

}  // namespace morvel
