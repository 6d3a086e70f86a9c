#include "core/map/MapText.h"

#include <algorithm>
#include <optional>

#include "base/Text.h"

namespace morvel {
namespace {

char AreaLetter(MapArea area) {
  switch (area) {
    case MapArea::BadClusters:
      return 'X';
    case MapArea::Mft:
      return 'M';
    case MapArea::MftMirror:
      return 'm';
    case MapArea::Boot:
      return 'o';
    case MapArea::LogFile:
      return 'L';
    case MapArea::Bitmap:
      return 'B';
    case MapArea::Upcase:
      return 'U';
    case MapArea::OtherSystem:
      return 'S';
    case MapArea::MftZone:
      return 'z';
  }
  return '?';
}

char LayerLetter(FileLayer layer) {
  switch (layer) {
    case FileLayer::FileData:
      return '#';
    case FileLayer::Directories:
      return 'd';
    case FileLayer::Indexes:
      return 'i';
  }
  return '?';
}

char CellLetter(const ClusterMap& map, std::size_t cell) {
  const auto area = CellArea(map, cell);
  if (area && *area != MapArea::MftZone) return AreaLetter(*area);
  if (const auto layer = CellLayer(map, cell)) return LayerLetter(*layer);
  const std::uint64_t used = map.CellUsed(cell);
  if (used == 0) return area ? 'z' : '.';
  if (used == map.CellClusters(cell)) return '#';
  return used * 2 <= map.CellClusters(cell) ? ':' : '+';
}

std::string Sgr(const char* which, Rgb c) {
  return std::string("\x1b[") + which + ";2;" + std::to_string(c.r) + ";" + std::to_string(c.g) + ";" +
         std::to_string(c.b) + "m";
}

// Each row starts from the terminal's own colours (the row before ended with a reset); a colour
// is sent only when it differs from the cell before, so runs of like cells cost one character
// each.
void ColourRows(const ClusterMap& map, std::size_t columns, std::string& out) {
  const std::size_t rows = (map.CellCount() + columns - 1) / columns;
  for (std::size_t row = 0; row < rows; row += 2) {
    std::optional<Rgb> foreground, background;  // as the terminal has them now; none: its default
    for (std::size_t col = 0; col < columns; ++col) {
      const std::size_t upper = row * columns + col, lower = upper + columns;
      if (upper >= map.CellCount()) break;
      const Rgb top = CellColour(map, upper);
      if (foreground != top) out += Sgr("38", *(foreground = top));
      if (lower < map.CellCount()) {
        const Rgb bottom = CellColour(map, lower);
        if (background != bottom) out += Sgr("48", *(background = bottom));
      } else if (background) {
        out += "\x1b[49m";  // no cell below: the terminal's own background
        background.reset();
      }
      out += "\u2580";  // upper half block
    }
    out += "\x1b[0m\n";
  }
}

void PlainRows(const ClusterMap& map, std::size_t columns, std::string& out) {
  for (std::size_t cell = 0; cell < map.CellCount(); ++cell) {
    out += CellLetter(map, cell);
    if ((cell + 1) % columns == 0 || cell + 1 == map.CellCount()) out += '\n';
  }
}

}  // namespace

std::string MapText(const ClusterMap& map, std::string_view title, std::size_t width, bool colour) {
  const std::size_t columns = std::max<std::size_t>(1, std::min(width, map.CellCount()));
  std::string out = "Cluster map of " + base::EscapeControls(title) + ": " + VolumeSizeText(map) + "\n";
  if (map.CellCount() > 0) {
    out += "One " + std::string(colour ? "half character" : "character") + " a cell of about " +
           std::to_string(map.CellClusters(0)) + (map.CellClusters(0) == 1 ? " cluster" : " clusters") + "\n";
  }
  if (colour)
    ColourRows(map, columns, out);
  else
    PlainRows(map, columns, out);
  for (const LegendEntry& entry : MapLegend(map)) {
    std::string key;
    if (colour)
      key = Sgr("38", entry.colour) + "\u2588\u2588\x1b[0m";
    else
      key = std::string(1, entry.area             ? AreaLetter(*entry.area)
                           : entry.layer          ? LayerLetter(*entry.layer)
                           : entry.name == "Used" ? '#'
                                                  : '.') +
            " ";
    out += key + " " + LegendText(entry) + "\n";
  }
  return out;
}

}  // namespace morvel
