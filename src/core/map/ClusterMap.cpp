#include "core/map/ClusterMap.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/BitCount.h"
#include "base/Text.h"

namespace morvel {
namespace {

unsigned Bit(base::Bytes bytes, std::uint64_t bit) {
  return (static_cast<unsigned>(bytes[static_cast<std::size_t>(bit / 8)]) >> (bit % 8)) & 1u;
}

// Set bits among bits from..to-1 of `bytes`: the bits before the first whole byte one by one,
// the rest by `count`.
std::uint64_t CountRange(base::Bytes bytes, std::uint64_t from, std::uint64_t to, ClusterMap::SetBitCounter count) {
  std::uint64_t set = 0;
  for (; from < to && from % 8 != 0; ++from) set += Bit(bytes, from);
  if (from < to) set += count(bytes.subspan(static_cast<std::size_t>(from / 8)), to - from);
  return set;
}

Rgb Mix(Rgb from, Rgb to, double t) {
  auto channel = [t](std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>(std::lround(a + (b - a) * t));
  };
  return {channel(from.r, to.r), channel(from.g, to.g), channel(from.b, to.b)};
}

// 1234567 -> "1,234,567".
std::string Grouped(std::uint64_t v) {
  std::string digits;
  AppendGrouped(digits, v);
  return digits;
}

std::string Fixed2(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

double Percent(std::uint64_t part, std::uint64_t whole) {
  return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

char* Put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// At least the digits and thousands separators of v: log10(2) is a little under 1233 / 4096, so
// the bits give the digits or one more, without a division.
std::size_t GroupedRoom(std::uint64_t v) {
  const std::size_t digits = (static_cast<std::size_t>(std::bit_width(v)) * 1233 >> 12) + 1;
  return digits + (digits - 1) / 3;
}

// Written from the last digit backwards, a separator before every third.
char* WriteGrouped(char* out, std::uint64_t v) {
  char text[32];
  char* at = text + sizeof text;
  for (int digits = 0; digits == 0 || v != 0; ++digits, v /= 10) {
    if (digits > 0 && digits % 3 == 0) *--at = ',';
    *--at = static_cast<char>('0' + v % 10);
  }
  return Put(out, std::string_view(at, static_cast<std::size_t>(text + sizeof text - at)));
}

// The used share in hundredths of a percent, rounded, in whole numbers: exact for every count.
std::uint64_t Hundredths(std::uint64_t used, std::uint64_t clusters) {
  if (used == 0 || used == clusters) return used == 0 ? 0 : 10000;  // most cells: no division
  if (used < (~std::uint64_t{0} >> 15)) return (used * 10000 + clusters / 2) / clusters;
  return static_cast<std::uint64_t>(std::llround(10000.0 * static_cast<double>(used) / static_cast<double>(clusters)));
}

// 1234 -> "12.34".
char* WriteHundredths(char* out, std::uint64_t hundredths) {
  out = std::to_chars(out, out + 24, hundredths / 100).ptr;
  *out++ = '.';
  *out++ = static_cast<char>('0' + hundredths / 10 % 10);
  *out++ = static_cast<char>('0' + hundredths % 10);
  return out;
}

}  // namespace

void AppendDecimal(std::string& out, std::uint64_t v) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, v);
  out.append(digits, result.ptr);
}

void AppendGrouped(std::string& out, std::uint64_t v) {
  char digits[32];
  out.append(digits, WriteGrouped(digits, v));
}

const char* MapAreaName(MapArea area) {
  switch (area) {
    case MapArea::BadClusters:
      return "Bad clusters ($BadClus:$Bad)";
    case MapArea::Mft:
      return "$MFT";
    case MapArea::MftMirror:
      return "$MFTMirr";
    case MapArea::Boot:
      return "$Boot";
    case MapArea::LogFile:
      return "$LogFile";
    case MapArea::Bitmap:
      return "$Bitmap";
    case MapArea::Upcase:
      return "$UpCase";
    case MapArea::OtherSystem:
      return "Other system files";
    case MapArea::MftZone:
      return "MFT zone (modelled)";
  }
  return "";
}

const char* FileLayerName(FileLayer layer) {
  switch (layer) {
    case FileLayer::FileData:
      return "File data";
    case FileLayer::Directories:
      return "Directories";
    case FileLayer::Indexes:
      return "Indexes";
  }
  return "";
}

ClusterMap::ClusterMap(std::uint64_t totalClusters, std::uint32_t bytesPerCluster, std::size_t cells)
    : total_(totalClusters), bytesPerCluster_(bytesPerCluster) {
  const std::uint64_t count = std::min<std::uint64_t>(std::clamp<std::size_t>(cells, 1, kMaxMapCells), total_);
  const auto n = static_cast<std::size_t>(count);
  cells_.resize(n);
  areaCells_.resize(n * kMapAreaCount);
  starts_.resize(n + 1);
  if (n == 0) return;
  // floor(i * total / n) as q * i + floor(r * i / n), with total = q * n + r: no product that
  // could overflow, and the second term carried from cell to cell, without a division each.
  const std::uint64_t q = total_ / n, r = total_ % n;
  std::uint64_t whole = 0, rest = 0;  // floor(r * i / n) and r * i mod n
  for (std::size_t i = 1; i <= n; ++i) {
    rest += r;
    if (rest >= n) {
      rest -= n;
      ++whole;
    }
    starts_[i] = q * i + whole;
  }
}

double ClusterMap::UsedFraction(std::size_t cell) const {
  return static_cast<double>(cells_[cell]) / static_cast<double>(CellClusters(cell));
}

std::size_t ClusterMap::CellOf(std::uint64_t lcn) const {
  // The last cell starting at or before lcn.
  return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end() - 1, lcn) - starts_.begin()) - 1;
}

std::uint64_t ClusterMap::AddBitmap(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters,
                                    SetBitCounter count) {
  if (firstCluster >= total_) return 0;
  clusters = std::min({clusters, std::uint64_t{bytes.size()} * 8, total_ - firstCluster});
  const std::uint64_t end = firstCluster + clusters;
  std::uint64_t counted = 0;
  std::size_t cell = CellOf(firstCluster);
  for (std::uint64_t at = firstCluster; at < end; ++cell) {
    const std::uint64_t cellEnd = std::min(CellStart(cell + 1), end);
    const std::uint64_t set = CountRange(bytes, at - firstCluster, cellEnd - firstCluster,
                                         count != nullptr ? count : static_cast<SetBitCounter>(&base::CountSetBits));
    cells_[cell] += set;
    counted += set;
    at = cellEnd;
  }
  used_ += counted;
  return counted;
}

void ClusterMap::AddArea(MapArea area, std::uint64_t lcn, std::uint64_t length) {
  if (lcn >= total_ || length == 0) return;
  length = std::min(length, total_ - lcn);
  areaClusters_[static_cast<std::size_t>(area)] += length;
  ForEachCellOf(lcn, length, [this, area](std::size_t cell, std::uint64_t inside) {
    areaCells_[cell * kMapAreaCount + static_cast<std::size_t>(area)] += inside;
  });
}

void ClusterMap::BeginFiles() {
  layerCells_.assign(cells_.size() * kFileLayerCount, 0);
  layerClusters_ = {};
  owners_.assign(cells_.size() * kCellOwners, CellOwner{});
  paths_.clear();
}

void ClusterMap::AddLayer(FileLayer layer, std::uint64_t lcn, std::uint64_t length) {
  if (!HasFiles() || lcn >= total_ || length == 0) return;
  length = std::min(length, total_ - lcn);
  layerClusters_[static_cast<std::size_t>(layer)] += length;
  ForEachCellOf(lcn, length, [this, layer](std::size_t cell, std::uint64_t inside) {
    layerCells_[cell * kFileLayerCount + static_cast<std::size_t>(layer)] += inside;
  });
}

std::span<const CellOwner> ClusterMap::CellOwners(std::size_t cell) const {
  if (!HasFiles()) return {};
  const std::span<const CellOwner> places(owners_.data() + cell * kCellOwners, kCellOwners);
  std::size_t held = 0;
  while (held < kCellOwners && places[held].clusters != 0) ++held;
  return places.first(held);
}

void ClusterMap::OfferOwner(std::size_t cell, CellOwner owner) {
  if (!HasFiles() || owner.clusters == 0) return;
  CellOwner* places = owners_.data() + cell * kCellOwners;
  const auto ahead = [](const CellOwner& a, const CellOwner& b) {
    return b.clusters == 0 || a.clusters > b.clusters || (a.clusters == b.clusters && a.record < b.record);
  };
  // Sorted insertion into the few places: the owner either takes the last place or none, then
  // moves up past each it is ahead of.
  if (!ahead(owner, places[kCellOwners - 1])) return;
  std::size_t at = kCellOwners - 1;
  for (; at > 0 && ahead(owner, places[at - 1]); --at) places[at] = places[at - 1];
  places[at] = owner;
}

std::vector<std::uint64_t> ClusterMap::OwnerRecords() const {
  std::vector<std::uint64_t> records;
  for (const CellOwner& owner : owners_)
    if (owner.clusters != 0) records.push_back(owner.record);
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  return records;
}

void ClusterMap::SetOwnerPath(std::uint64_t record, std::string_view path) {
  std::string kept(path.substr(0, kMaxOwnerPath));
  if (path.size() > kMaxOwnerPath) {
    // Cut where a character starts, not inside a UTF-8 sequence.
    while (!kept.empty() && (static_cast<unsigned char>(path[kept.size()]) & 0xC0) == 0x80) kept.pop_back();
    kept += "...";
  }
  const auto at = std::lower_bound(paths_.begin(), paths_.end(), record,
                                   [](const auto& entry, std::uint64_t r) { return entry.first < r; });
  if (at != paths_.end() && at->first == record)
    at->second = std::move(kept);
  else
    paths_.insert(at, {record, std::move(kept)});
}

std::string_view ClusterMap::OwnerPath(std::uint64_t record) const {
  const auto at = std::lower_bound(paths_.begin(), paths_.end(), record,
                                   [](const auto& entry, std::uint64_t r) { return entry.first < r; });
  return at != paths_.end() && at->first == record ? std::string_view(at->second) : std::string_view();
}

namespace {

// The zone is modelled, not stored: a cluster a file holds is the file's. So the zone weighs no
// more than the clusters the files leave, the system files' and the layers': exact for a cell
// inside the zone.
std::uint64_t ZoneWeight(const ClusterMap& map, std::size_t cell) {
  std::uint64_t files = 0;
  for (std::size_t a = 0; a + 1 < kMapAreaCount; ++a) files += map.CellAreaClusters(cell, static_cast<MapArea>(a));
  for (std::size_t l = 0; l < kFileLayerCount; ++l) files += map.CellLayerClusters(cell, static_cast<FileLayer>(l));
  const std::uint64_t left = map.CellClusters(cell) - std::min(files, map.CellClusters(cell));
  return std::min(map.CellAreaClusters(cell, MapArea::MftZone), left);
}

}  // namespace

std::optional<MapArea> CellArea(const ClusterMap& map, std::size_t cell) {
  static_assert(static_cast<std::size_t>(MapArea::MftZone) == kMapAreaCount - 1, "the zone is weighed last");
  std::optional<MapArea> most;
  std::uint64_t mostClusters = 0;
  for (std::size_t a = 0; a + 1 < kMapAreaCount; ++a) {
    const std::uint64_t clusters = map.CellAreaClusters(cell, static_cast<MapArea>(a));
    if (clusters > mostClusters) {
      most = static_cast<MapArea>(a);
      mostClusters = clusters;
    }
  }
  if (ZoneWeight(map, cell) > mostClusters) most = MapArea::MftZone;
  return most;
}

std::optional<FileLayer> CellLayer(const ClusterMap& map, std::size_t cell) {
  if (!map.HasFiles()) return std::nullopt;
  const auto area = CellArea(map, cell);
  if (area && *area != MapArea::MftZone) return std::nullopt;
  FileLayer most = FileLayer::FileData;
  for (const FileLayer layer : {FileLayer::Directories, FileLayer::Indexes})
    if (map.CellLayerClusters(cell, layer) > map.CellLayerClusters(cell, most)) most = layer;
  if (most == FileLayer::FileData) return std::nullopt;
  if (area && ZoneWeight(map, cell) >= map.CellLayerClusters(cell, most)) return std::nullopt;
  return most;
}

Rgb AreaColour(MapArea area) {
  switch (area) {
    case MapArea::BadClusters:
      return {0x00, 0x00, 0x00};
    case MapArea::Mft:
      return {0xD6, 0x27, 0x28};
    case MapArea::MftMirror:
      return {0xFF, 0x7F, 0x0E};
    case MapArea::Boot:
      return {0x8C, 0x56, 0x4B};
    case MapArea::LogFile:
      return {0x2C, 0xA0, 0x2C};
    case MapArea::Bitmap:
      return {0x94, 0x67, 0xBD};
    case MapArea::Upcase:
      return {0x17, 0xBE, 0xCF};
    case MapArea::OtherSystem:
      return {0xE3, 0x77, 0xC2};
    case MapArea::MftZone:
      return {0xF5, 0xE0, 0x8C};
  }
  return {};
}

Rgb LayerColour(FileLayer layer) {
  switch (layer) {
    case FileLayer::FileData:
      return UsedColour();
    case FileLayer::Directories:
      return {0xBC, 0xBD, 0x22};
    case FileLayer::Indexes:
      return {0x7F, 0x7F, 0x7F};
  }
  return {};
}

Rgb FreeColour() { return {0xEC, 0xEF, 0xF4}; }
Rgb UsedColour() { return {0x2B, 0x57, 0x97}; }

Rgb CellColour(const ClusterMap& map, std::size_t cell) {
  const auto area = CellArea(map, cell);
  if (area && *area != MapArea::MftZone) return AreaColour(*area);
  if (const auto layer = CellLayer(map, cell)) return LayerColour(*layer);
  const Rgb free = area ? AreaColour(MapArea::MftZone) : FreeColour();
  // A cell with any used cluster is shaded at least a little, so a few files on a large volume
  // still show.
  if (map.CellUsed(cell) == 0) return free;  // most cells of most volumes
  return Mix(free, UsedColour(), 0.15 + 0.85 * map.UsedFraction(cell));
}

std::string HexColour(Rgb c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
  return text;
}

std::size_t CellDescriptionRoom(const ClusterMap& map, std::size_t cell) {
  // "clusters A-B: 100.00% used", the last cluster's digits bounding the first's, then "; " or
  // ", " before each area's name and a space before its clusters.
  std::size_t room = 27 + 2 * GroupedRoom(map.CellStart(cell + 1) - 1);
  for (std::size_t a = 0; a < kMapAreaCount; ++a) {
    const auto area = static_cast<MapArea>(a);
    if (const std::uint64_t clusters = map.CellAreaClusters(cell, area); clusters != 0)
      room += 3 + std::strlen(MapAreaName(area)) + GroupedRoom(clusters);
  }
  return room;
}

char* WriteCellDescription(char* out, const ClusterMap& map, std::size_t cell) {
  const std::uint64_t first = map.CellStart(cell), clusters = map.CellClusters(cell), used = map.CellUsed(cell);
  out = Put(out, "clusters ");
  out = WriteGrouped(out, first);
  *out++ = '-';
  out = WriteGrouped(out, first + clusters - 1);
  out = Put(out, ": ");
  out = WriteHundredths(out, Hundredths(used, clusters));
  out = Put(out, "% used");
  const char* separator = "; ";
  for (std::size_t a = 0; a < kMapAreaCount; ++a) {
    const std::uint64_t inCell = map.CellAreaClusters(cell, static_cast<MapArea>(a));
    if (inCell == 0) continue;
    out = Put(out, separator);
    out = Put(out, MapAreaName(static_cast<MapArea>(a)));
    *out++ = ' ';
    out = WriteGrouped(out, inCell);
    separator = ", ";
  }
  return out;
}

void AppendCellDescription(std::string& out, const ClusterMap& map, std::size_t cell) {
  const std::size_t at = out.size();
  out.resize(at + CellDescriptionRoom(map, cell));
  out.resize(static_cast<std::size_t>(WriteCellDescription(out.data() + at, map, cell) - out.data()));
}

std::string CellDescription(const ClusterMap& map, std::size_t cell) {
  std::string text;
  AppendCellDescription(text, map, cell);
  return text;
}

std::string CellFilesText(const ClusterMap& map, std::size_t cell, TextEscaper escape) {
  std::string text;
  if (!map.HasFiles()) return text;
  const char* separator = "\nfiles: ";
  for (std::size_t l = 0; l < kFileLayerCount; ++l) {
    const auto layer = static_cast<FileLayer>(l);
    if (const std::uint64_t clusters = map.CellLayerClusters(cell, layer); clusters != 0) {
      text += separator;
      text += layer == FileLayer::FileData ? "file data" : layer == FileLayer::Directories ? "directories" : "indexes";
      text += ' ';
      AppendGrouped(text, clusters);
      separator = ", ";
    }
  }
  for (const CellOwner& owner : map.CellOwners(cell)) {
    text += '\n';
    AppendGrouped(text, owner.clusters);
    text += owner.clusters == 1 ? " cluster: " : " clusters: ";
    const std::string_view path = map.OwnerPath(owner.record);
    if (!path.empty()) text += escape(path) + " (";
    text += "record ";
    AppendDecimal(text, owner.record);
    if (!path.empty()) text += ')';
  }
  return text;
}

std::string CellTooltip(const ClusterMap& map, std::size_t cell) {
  return CellDescription(map, cell) +
         CellFilesText(map, cell, [](std::string_view text) { return base::EscapeControls(text); });
}

std::vector<LegendEntry> MapLegend(const ClusterMap& map) {
  const std::uint64_t total = map.TotalClusters();
  std::vector<LegendEntry> legend{
      {UsedColour(), "Used", map.UsedClusters(), Percent(map.UsedClusters(), total), std::nullopt, true, std::nullopt},
      {FreeColour(), "Free", total - map.UsedClusters(), Percent(total - map.UsedClusters(), total), std::nullopt, true,
       std::nullopt},
  };
  // The areas some cell shows; the MFT zone shows only in a cell with free clusters, as its
  // colour is then the free end of the shading.
  std::array<bool, kMapAreaCount> shown{};
  for (std::size_t cell = 0; cell < map.CellCount(); ++cell) {
    const auto area = CellArea(map, cell);
    if (area && (*area != MapArea::MftZone || map.CellUsed(cell) < map.CellClusters(cell)))
      shown[static_cast<std::size_t>(*area)] = true;
  }
  for (std::size_t a = 0; a < kMapAreaCount; ++a) {
    const auto area = static_cast<MapArea>(a);
    if (map.AreaClusters(area) == 0) continue;
    legend.push_back({AreaColour(area), MapAreaName(area), map.AreaClusters(area),
                      Percent(map.AreaClusters(area), total), area, shown[a], std::nullopt});
  }
  std::array<bool, kFileLayerCount> layerShown{true, false, false};  // file data: the used shading
  for (std::size_t cell = 0; map.HasFiles() && cell < map.CellCount(); ++cell)
    if (const auto layer = CellLayer(map, cell)) layerShown[static_cast<std::size_t>(*layer)] = true;
  for (std::size_t l = 0; l < kFileLayerCount; ++l) {
    const auto layer = static_cast<FileLayer>(l);
    if (map.LayerClusters(layer) == 0) continue;
    legend.push_back({LayerColour(layer), FileLayerName(layer), map.LayerClusters(layer),
                      Percent(map.LayerClusters(layer), total), std::nullopt, layerShown[l], layer});
  }
  return legend;
}

std::string LegendText(const LegendEntry& entry) {
  return entry.name + ": " + Grouped(entry.clusters) + (entry.clusters == 1 ? " cluster (" : " clusters (") +
         Fixed2(entry.percent) + "%)" + (entry.visible ? "" : ", not visible at this scale");
}

std::string VolumeSizeText(const ClusterMap& map) {
  static constexpr std::array<const char*, 5> kUnits{"bytes", "KiB", "MiB", "GiB", "TiB"};
  double size = static_cast<double>(map.TotalClusters()) * map.BytesPerCluster();
  std::size_t unit = 0;
  for (; size >= 1024.0 && unit + 1 < kUnits.size(); ++unit) size /= 1024.0;
  return Fixed2(size) + " " + kUnits[unit] + ", " + Grouped(map.TotalClusters()) + " clusters of " +
         Grouped(map.BytesPerCluster()) + " bytes";
}

MapGrid FitGrid(std::size_t cells, int width, int height) {
  MapGrid best{std::max<std::size_t>(1, cells), 1, 1};
  if (cells == 0 || width <= 0 || height <= 0) return best;
  // Few columns give large cells in a tall window, many in a wide one: try each row count up to
  // where a cell would be under one pixel.
  for (std::size_t rows = 1; rows <= cells && rows <= static_cast<std::size_t>(height); ++rows) {
    const std::size_t columns = (cells + rows - 1) / rows;
    const auto side =
        static_cast<int>(std::min(static_cast<std::size_t>(width) / columns, static_cast<std::size_t>(height) / rows));
    if (side > best.cell || (side == best.cell && best.rows * best.columns > rows * columns))
      best = {columns, rows, side};
  }
  best.rows = (cells + best.columns - 1) / best.columns;
  return best;
}

std::optional<std::size_t> GridCellAt(const MapGrid& grid, std::size_t cells, int x, int y) {
  if (x < 0 || y < 0 || grid.cell <= 0) return std::nullopt;
  const auto column = static_cast<std::size_t>(x / grid.cell), row = static_cast<std::size_t>(y / grid.cell);
  if (column >= grid.columns || row >= grid.rows) return std::nullopt;
  const std::size_t cell = row * grid.columns + column;
  return cell < cells ? std::optional(cell) : std::nullopt;
}

}  // namespace morvel
