#pragma once
// Lays the files of a scanned volume over its cluster map: each cell's clusters of file data,
// directories and other indexes, and the files that own the most of it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/map/ClusterMap.h"

namespace morvel {

// What an extent of a file holds.
enum class ExtentKind : std::uint8_t {
  FileData,
  Directory,  // a directory's $I30 index
  Index,      // another index
  System,     // a system record's (0-15): drawn as the system areas, counted for its owner only
};

struct OwnedExtent {
  std::uint64_t lcn = 0;
  std::uint64_t length = 0;  // clusters
  ExtentKind kind = ExtentKind::FileData;
};

// The kind of a non-resident attribute's clusters, by its record, its type and its name (UTF-8):
// a system record's are System; an index's allocation or bitmap (0xA0, 0xB0) are a directory's
// when the index is $I30, else an index's; the rest are file data.
ExtentKind KindOfAttribute(std::uint64_t record, std::uint32_t type, std::string_view name);

// Takes the files one at a time, each with all of its extents, in ascending record order. Each
// file's clusters are summed cell by cell before it competes for the cells' owner places, and
// each file competes once for each cell it touches, so the few owners a cell keeps are exactly
// the ones with the most clusters there (ties to the lower record) of all files given. Memory
// is two words a cell; the work is the extents plus the cells they touch.
class MapFileBuilder {
 public:
  // Starts the map's file layer, dropping any before.
  explicit MapFileBuilder(ClusterMap& map);

  // False, and nothing counted, for a file not above the one before: its clusters could not be
  // summed with those it already competed with.
  bool AddFile(std::uint64_t record, std::span<const OwnedExtent> extents);

 private:
  ClusterMap& map_;
  std::vector<std::uint64_t> sums_;    // the current file's clusters in each cell; zero between files
  std::vector<std::size_t> touched_;   // the cells whose sums are not zero
  std::optional<std::uint64_t> last_;  // the record of the file before
};

}  // namespace morvel
