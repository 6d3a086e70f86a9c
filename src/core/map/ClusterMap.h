#pragma once
// The picture of a volume: its clusters divided into a fixed number of cells, each a
// contiguous cluster range with the count of its used clusters, overlaid with where the
// volume's own files lie. Built from $Bitmap's bytes as they stream past once; its memory is
// bounded by the cell count, not by the volume.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Bytes.h"

namespace morvel {

// What a cell may hold besides files. A cell shows the area with the most clusters in it; of
// areas with as many, the first of this order.
enum class MapArea : std::uint8_t {
  BadClusters,
  Mft,
  MftMirror,
  Boot,
  LogFile,
  Bitmap,
  Upcase,
  OtherSystem,
  MftZone,  // modelled, as the report's MFT zone: not stored on the disk
};
inline constexpr std::size_t kMapAreaCount = 9;
inline constexpr std::size_t kDefaultMapCells = 4096;
inline constexpr std::size_t kMaxMapCells = 1u << 16;

// The legend's name of an area ("$MFT", "MFT zone (modelled)").
const char* MapAreaName(MapArea area);

// What the other files hold, known once the volume's records were scanned (MapFiles.h): laid
// beneath the system areas, which still win every cell they are in.
enum class FileLayer : std::uint8_t {
  FileData,     // every non-resident attribute that is not an index's
  Directories,  // the $I30 index of a directory: its $INDEX_ALLOCATION and $BITMAP
  Indexes,      // the other indexes ($ObjId:$O, $Quota:$Q, $Reparse:$R, ...)
};
inline constexpr std::size_t kFileLayerCount = 3;
// "File data", "Directories", "Indexes".
const char* FileLayerName(FileLayer layer);

// One of the files holding the most of a cell's clusters, with its clusters there.
struct CellOwner {
  std::uint64_t record = 0;
  std::uint64_t clusters = 0;
  bool operator==(const CellOwner&) const = default;
};
inline constexpr std::size_t kCellOwners = 3;
// A path kept for an owner is cut to this many bytes (at a character's start), "..." added.
inline constexpr std::size_t kMaxOwnerPath = 1024;

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

class ClusterMap {
 public:
  // `cells` is clamped to 1..kMaxMapCells and to the cluster count; no cells for no clusters.
  ClusterMap(std::uint64_t totalClusters, std::uint32_t bytesPerCluster, std::size_t cells = kDefaultMapCells);

  std::uint64_t TotalClusters() const { return total_; }
  std::uint32_t BytesPerCluster() const { return bytesPerCluster_; }
  std::size_t CellCount() const { return cells_.size(); }
  // The cells split the clusters evenly: cell i starts at floor(i * total / cells); cell
  // CellCount() is the end.
  std::uint64_t CellStart(std::size_t cell) const { return starts_[cell]; }
  std::uint64_t CellClusters(std::size_t cell) const { return starts_[cell + 1] - starts_[cell]; }
  std::uint64_t CellUsed(std::size_t cell) const { return cells_[cell]; }
  double UsedFraction(std::size_t cell) const;
  bool CellHas(std::size_t cell, MapArea area) const { return CellAreaClusters(cell, area) != 0; }
  // The clusters of `area` in the cell.
  std::uint64_t CellAreaClusters(std::size_t cell, MapArea area) const {
    return areaCells_[cell * kMapAreaCount + static_cast<std::size_t>(area)];
  }
  // The cell holding cluster `lcn`, which must be below TotalClusters().
  std::size_t CellOf(std::uint64_t lcn) const;

  // Used clusters over all cells, and the clusters given to each area.
  std::uint64_t UsedClusters() const { return used_; }
  std::uint64_t AreaClusters(MapArea area) const { return areaClusters_[static_cast<std::size_t>(area)]; }

  // The set bits among the first `bits` bits of `bytes` (bit 0 of byte 0 first), at most
  // bytes.size() * 8 of them.
  using SetBitCounter = std::uint64_t (*)(base::Bytes bytes, std::uint64_t bits);
  // Counts the set bits of a stretch of $Bitmap: bit k of `bytes` (bit 0 of byte 0 first) is
  // cluster firstCluster + k, for `clusters` bits. Bits past the volume's end are ignored.
  // Returns the set bits counted, so that a reader can take its free clusters from this count
  // and read the bitmap once. `count` counts each cell's bytes; without one, the fastest
  // routine this CPU runs (base::CountSetBits).
  std::uint64_t AddBitmap(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters,
                          SetBitCounter count = nullptr);
  // Marks clusters lcn .. lcn + length - 1 as `area`, clipped to the volume: each cell they
  // overlap counts those of them it holds.
  void AddArea(MapArea area, std::uint64_t lcn, std::uint64_t length);

  // The files' layers and owners: none until BeginFiles, so a map drawn without a scan costs
  // and shows what it did before.
  bool HasFiles() const { return !layerCells_.empty(); }
  void BeginFiles();
  std::uint64_t CellLayerClusters(std::size_t cell, FileLayer layer) const {
    return HasFiles() ? layerCells_[cell * kFileLayerCount + static_cast<std::size_t>(layer)] : 0;
  }
  std::uint64_t LayerClusters(FileLayer layer) const { return layerClusters_[static_cast<std::size_t>(layer)]; }
  // Counts clusters lcn .. lcn + length - 1, clipped to the volume, in `layer`. Needs BeginFiles.
  void AddLayer(FileLayer layer, std::uint64_t lcn, std::uint64_t length);
  // The cell's owners, most clusters first, of equal clusters the lower record first.
  std::span<const CellOwner> CellOwners(std::size_t cell) const;
  // Lets `owner`, with all of its clusters in the cell, compete for the cell's kCellOwners
  // places. Needs BeginFiles.
  void OfferOwner(std::size_t cell, CellOwner owner);
  // Every record some cell names as an owner, ascending, once each.
  std::vector<std::uint64_t> OwnerRecords() const;
  // The path of an owner as the volume names it (raw: escaped where shown); empty when unknown.
  void SetOwnerPath(std::uint64_t record, std::string_view path);
  std::string_view OwnerPath(std::uint64_t record) const;

  // Calls inCell(cell, clusters) for each cell that clusters lcn .. lcn + length - 1 (already
  // clipped to the volume) overlap, with how many of them it holds.
  template <typename InCell>
  void ForEachCellOf(std::uint64_t lcn, std::uint64_t length, const InCell& inCell) const {
    const std::uint64_t end = lcn + length;
    for (std::size_t cell = CellOf(lcn); cell < cells_.size() && CellStart(cell) < end; ++cell)
      inCell(cell, std::min(end, CellStart(cell + 1)) - std::max(lcn, CellStart(cell)));
  }

 private:
  std::uint64_t total_;
  std::uint32_t bytesPerCluster_;
  std::vector<std::uint64_t> cells_;  // the used clusters of each cell
  // Each cell's clusters of each area, kMapAreaCount a cell: 72 bytes a cell, 4.5 MiB at most.
  std::vector<std::uint64_t> areaCells_;
  // Kept, as a map file or a window asks for each cell's range and a chunk for its first cell.
  std::vector<std::uint64_t> starts_;
  std::uint64_t used_ = 0;
  std::array<std::uint64_t, kMapAreaCount> areaClusters_{};
  // With files: each cell's clusters of each layer, kFileLayerCount a cell; kCellOwners owners
  // a cell, an empty place holding no clusters; the owners' paths, by record.
  std::vector<std::uint64_t> layerCells_;
  std::array<std::uint64_t, kFileLayerCount> layerClusters_{};
  std::vector<CellOwner> owners_;
  std::vector<std::pair<std::uint64_t, std::string>> paths_;
};

// The area with the most clusters in the cell, the first in MapArea's order of those with as
// many; none for a cell that holds no area. The MFT zone counts only as many of its clusters as
// the cell's files leave.
std::optional<MapArea> CellArea(const ClusterMap& map, std::size_t cell);
// The layer a cell shows where no system area wins it: directories or indexes when they hold
// more of it than the file data and than the MFT zone's clusters not held by files; none for a
// cell the used shading shows.
std::optional<FileLayer> CellLayer(const ClusterMap& map, std::size_t cell);
// The colour of an area in the legend and on the map.
Rgb AreaColour(MapArea area);
// The colour of a layer: the used colour for file data.
Rgb LayerColour(FileLayer layer);
// A cell's colour: its area's (CellArea), or a shade from free to used by its used fraction,
// from a paler free colour where the MFT zone is its area.
Rgb CellColour(const ClusterMap& map, std::size_t cell);
Rgb FreeColour();
Rgb UsedColour();
// "#rrggbb".
std::string HexColour(Rgb c);

// "clusters 0-511: 37.50% used; $MFT 16, MFT zone (modelled) 496": what a cell's tooltip says,
// each area it holds with its clusters there.
std::string CellDescription(const ClusterMap& map, std::size_t cell);
void AppendCellDescription(std::string& out, const ClusterMap& map, std::size_t cell);
// The most characters CellDescription can give for `cell`, and the text written at `out`, which
// has that room, returning its end: a map file writes thousands without a string each.
std::size_t CellDescriptionRoom(const ClusterMap& map, std::size_t cell);
char* WriteCellDescription(char* out, const ClusterMap& map, std::size_t cell);
// With files, what follows a cell's description: a line of its layers' clusters, then a line
// per owner, "12 clusters: PATH (record 64)", each path passed through `escape`. Empty for a
// map without files.
using TextEscaper = std::string (*)(std::string_view text);
std::string CellFilesText(const ClusterMap& map, std::size_t cell, TextEscaper escape);
// The description and the files' lines, paths with their controls escaped: a window's tooltip.
std::string CellTooltip(const ClusterMap& map, std::size_t cell);
// 1234567 -> "1234567" and "1,234,567", appended.
void AppendDecimal(std::string& out, std::uint64_t v);
void AppendGrouped(std::string& out, std::uint64_t v);

// One line of the legend: its colour, its name, the clusters it counts and their share.
struct LegendEntry {
  Rgb colour;
  std::string name;
  std::uint64_t clusters = 0;
  double percent = 0;
  std::optional<MapArea> area;  // none for used and free space and the files' layers
  bool visible = true;          // false for an area that colours no cell
  std::optional<FileLayer> layer;
};
// Used and free space, then each area that holds clusters, then each layer that does.
std::vector<LegendEntry> MapLegend(const ClusterMap& map);
// "$MFT: 1,234 clusters (12.34%)", and ", not visible at this scale" for an area no cell shows.
std::string LegendText(const LegendEntry& entry);
// "8.00 MiB, 2,048 clusters of 4,096 bytes".
std::string VolumeSizeText(const ClusterMap& map);

// Square cells laid out row by row in a rectangle of width x height pixels: the largest cells
// that fit, with the columns that give them (a resizable window's map).
struct MapGrid {
  std::size_t columns = 1;
  std::size_t rows = 0;
  int cell = 1;  // pixels a side, the gap included
};
MapGrid FitGrid(std::size_t cells, int width, int height);
// The cell under pixel (x, y) of the grid's rectangle, if any.
std::optional<std::size_t> GridCellAt(const MapGrid& grid, std::size_t cells, int x, int y);

}  // namespace morvel
