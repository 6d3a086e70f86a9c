#include "core/map/MapFiles.h"

#include <algorithm>
#include <limits>

namespace morvel {

ExtentKind KindOfAttribute(std::uint64_t record, std::uint32_t type, std::string_view name) {
  constexpr std::uint64_t kFirstUserRecord = 16;  // records 0-15 are the system's
  constexpr std::uint32_t kIndexAllocation = 0xA0, kBitmap = 0xB0;
  if (record < kFirstUserRecord) return ExtentKind::System;
  if (type == kIndexAllocation || type == kBitmap) return name == "$I30" ? ExtentKind::Directory : ExtentKind::Index;
  return ExtentKind::FileData;
}

MapFileBuilder::MapFileBuilder(ClusterMap& map) : map_(map), sums_(map.CellCount(), 0) { map_.BeginFiles(); }

bool MapFileBuilder::AddFile(std::uint64_t record, std::span<const OwnedExtent> extents) {
  if (last_ && record <= *last_) return false;
  last_ = record;
  const std::uint64_t total = map_.TotalClusters();
  for (const OwnedExtent& e : extents) {
    if (e.lcn >= total || e.length == 0) continue;
    const std::uint64_t length = std::min(e.length, total - e.lcn);
    switch (e.kind) {
      case ExtentKind::FileData:
        map_.AddLayer(FileLayer::FileData, e.lcn, length);
        break;
      case ExtentKind::Directory:
        map_.AddLayer(FileLayer::Directories, e.lcn, length);
        break;
      case ExtentKind::Index:
        map_.AddLayer(FileLayer::Indexes, e.lcn, length);
        break;
      case ExtentKind::System:
        break;
    }
    map_.ForEachCellOf(e.lcn, length, [this](std::size_t cell, std::uint64_t inside) {
      if (sums_[cell] == 0) touched_.push_back(cell);
      // Runs that cross-link the same clusters again may add up past a cell: saturate.
      constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
      sums_[cell] = inside > kMost - sums_[cell] ? kMost : sums_[cell] + inside;
    });
  }
  for (const std::size_t cell : touched_) {
    map_.OfferOwner(cell, {record, sums_[cell]});
    sums_[cell] = 0;
  }
  touched_.clear();
  return true;
}

}  // namespace morvel
