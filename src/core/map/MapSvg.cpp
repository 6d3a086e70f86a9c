#include "core/map/MapSvg.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "base/Text.h"

namespace morvel {
namespace {

// Markup characters as entities; for the texts this program composes, which hold no controls.
void AppendMarkupEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
}

std::string Attr(const char* name, long long value) {
  return std::string(" ") + name + "=\"" + std::to_string(value) + "\"";
}

void AppendAttr(std::string& out, const char* name, long long value) {
  out += ' ';
  out += name;
  out += "=\"";
  if (value < 0) out += '-';
  AppendDecimal(out, static_cast<std::uint64_t>(value < 0 ? -value : value));
  out += '"';
}

// An unclosed <rect>, for the background and the legend's swatches.
void Rect(std::string& out, long long x, long long y, long long w, long long h, Rgb fill) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "<rect";
  AppendAttr(out, "x", x);
  AppendAttr(out, "y", y);
  AppendAttr(out, "width", w);
  AppendAttr(out, "height", h);
  out += " fill=\"#";
  for (const std::uint8_t channel : {fill.r, fill.g, fill.b}) {
    out += kHex[channel >> 4];
    out += kHex[channel & 0xF];
  }
  out += '"';
}

void Text(std::string& out, long long x, long long y, int size, std::string_view text, bool bold = false) {
  out += "<text" + Attr("x", x) + Attr("y", y) + Attr("font-size", size) + (bold ? " font-weight=\"bold\"" : "") + ">" +
         XmlText(text) + "</text>\n";
}

char* Put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

char* PutHex(char* out, Rgb c) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const std::uint8_t channel : {c.r, c.g, c.b}) {
    *out++ = kHex[channel >> 4];
    *out++ = kHex[channel & 0xF];
  }
  return out;
}

// The colour most cells share, given to the grid's group so that those cells need no fill of
// their own: the free colour, or the used one on a fuller volume.
Rgb CommonColour(const std::vector<Rgb>& colours) {
  const auto used = static_cast<std::size_t>(std::count(colours.begin(), colours.end(), UsedColour()));
  const auto free = static_cast<std::size_t>(std::count(colours.begin(), colours.end(), FreeColour()));
  return used > free ? UsedColour() : FreeColour();
}

// The grid: a square per cell, row by row, each with its <title>. The map's largest part, so it
// is written through a cursor into room reserved for as many cells as fit in a piece, every
// cell's text bounded.
class CellWriter {
 public:
  CellWriter(const ClusterMap& map, const SvgLayout& layout, std::size_t columns)
      : map_(map), layout_(layout), columns_(columns) {
    // Each column's and each row's text, written once: "<rect x=\"16\" y=\"" and
    // "64\" width=\"9\" height=\"9\"".
    const std::string side = std::to_string(layout.cellPitch - 1);
    for (std::size_t column = 0; column < columns; ++column)
      columnTexts_.push_back("<rect x=\"" + std::to_string(X(column)) + "\" y=\"");
    for (std::size_t row = 0; row * columns < map.CellCount(); ++row)
      rowTexts_.push_back(std::to_string(Y(row * columns)) + "\" width=\"" + side + "\" height=\"" + side + "\"");
    colours_.reserve(map.CellCount());
    for (std::size_t cell = 0; cell < map.CellCount(); ++cell) colours_.push_back(CellColour(map, cell));
    common_ = CommonColour(colours_);
    markup_ = Longest(columnTexts_) + Longest(rowTexts_) + kClose.size();
  }

  Rgb Common() const { return common_; }

  // Appends the cells to `out`, handing `out` to `flush` first whenever the next cell would take
  // it past kMapSvgPiece; false when `flush` did.
  template <typename Flush>
  bool Append(std::string& out, const Flush& flush) const {
    for (std::size_t cell = 0; cell < map_.CellCount();) {
      if (!out.empty() && out.size() + CellRoom(cell) > kMapSvgPiece && !flush()) return false;
      // As many cells as fit in the piece's room (one at least), written through a cursor.
      const std::size_t start = out.size();
      std::size_t room = CellRoom(cell);
      std::size_t end = cell + 1;
      for (; end < map_.CellCount() && start + room + CellRoom(end) <= kMapSvgPiece; ++end) room += CellRoom(end);
      out.resize(start + room);
      char* at = out.data() + start;
      for (; cell < end; ++cell) at = Cell(at, cell);
      out.resize(static_cast<std::size_t>(at - out.data()));
    }
    return true;
  }

 private:
  long long X(std::size_t cell) const {
    return layout_.margin + static_cast<long long>(cell % columns_) * layout_.cellPitch;
  }
  long long Y(std::size_t cell) const {
    return layout_.gridTop + static_cast<long long>(cell / columns_) * layout_.cellPitch;
  }

  std::size_t CellRoom(std::size_t cell) const {
    // Tight, as every byte of room is a byte of memory the process touches.
    return markup_ + (colours_[cell] != common_ ? kFill.size() + 7 : 0) + CellDescriptionRoom(map_, cell) +
           FilesRoom(cell);
  }

  // At least the characters of CellFilesText with XmlText: a line of three layers, and each
  // owner's line, whose path grows at most six times when escaped ('"' as "&quot;").
  std::size_t FilesRoom(std::size_t cell) const {
    if (!map_.HasFiles()) return 0;
    std::size_t room = 160;
    for (const CellOwner& owner : map_.CellOwners(cell)) room += 80 + 6 * map_.OwnerPath(owner.record).size();
    return room;
  }

  static std::size_t Longest(const std::vector<std::string>& texts) {
    std::size_t longest = 0;
    for (const std::string& text : texts) longest = std::max(longest, text.size());
    return longest;
  }

  char* Cell(char* at, std::size_t cell) const {
    at = Put(at, columnTexts_[cell % columns_]);
    at = Put(at, rowTexts_[cell / columns_]);
    if (colours_[cell] != common_) {
      at = Put(at, kFill);
      at = PutHex(at, colours_[cell]);
      *at++ = '"';
    }
    at = Put(at, "><title>");
    at = WriteCellDescription(at, map_, cell);  // digits, signs and the areas' names: nothing to escape
    // With files, the cell's layers and owners: paths from the volume, escaped for XML.
    if (map_.HasFiles()) at = Put(at, CellFilesText(map_, cell, &XmlText));
    return Put(at, "</title></rect>\n");
  }

  static constexpr std::string_view kFill = " fill=\"#";
  static constexpr std::string_view kClose = "><title></title></rect>\n";

  const ClusterMap& map_;
  const SvgLayout& layout_;
  std::size_t columns_;
  std::vector<std::string> columnTexts_, rowTexts_;
  std::vector<Rgb> colours_;
  Rgb common_;
  std::size_t markup_ = 0;
};

}  // namespace

std::string XmlText(std::string_view text) {
  std::string out;
  AppendMarkupEscaped(out, base::EscapeControls(text));
  return out;
}

std::string MapSvg(const ClusterMap& map, std::string_view title, const SvgLayout& layout) {
  std::string document;
  WriteMapSvg(
      map, title,
      [&document](std::string_view piece) {
        document += piece;
        return true;
      },
      layout);
  return document;
}

bool WriteMapSvg(const ClusterMap& map, std::string_view title, const TextSink& sink, const SvgLayout& layout) {
  const std::size_t columns = std::max<std::size_t>(1, std::min(layout.columns, map.CellCount()));
  const std::size_t rows = (map.CellCount() + columns - 1) / columns;
  const std::vector<LegendEntry> legend = MapLegend(map);
  const long long pitch = layout.cellPitch;
  const long long legendTop = layout.gridTop + static_cast<long long>(rows) * pitch + 24;
  const long long width = std::max<long long>(2 * layout.margin + static_cast<long long>(columns) * pitch, 480);
  const long long height = legendTop + static_cast<long long>(legend.size()) * 20 + layout.margin;
  const std::string heading = "Cluster map of " + std::string(title);

  // The one buffer every piece is composed in; a piece leaves when it reaches kMapSvgPiece.
  std::string out;
  out.reserve(kMapSvgPiece);
  const auto flush = [&out, &sink] {
    const bool taken = sink(out);
    out.clear();
    return taken;
  };
  const auto flushFull = [&out, &flush] { return out.size() < kMapSvgPiece || flush(); };

  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"" +
         Attr("width", width) + Attr("height", height) + " viewBox=\"0 0 " + std::to_string(width) + " " +
         std::to_string(height) + "\" font-family=\"sans-serif\">\n";
  out += "<title>" + XmlText(heading) + "</title>\n";
  Rect(out, 0, 0, width, height, {0xFF, 0xFF, 0xFF});
  out += "/>\n";
  Text(out, layout.margin, 28, 16, heading, true);
  Text(out, layout.margin, 48, 12, VolumeSizeText(map));
  if (map.CellCount() > 0) {
    const CellWriter cells(map, layout, columns);
    out += "<g fill=\"" + HexColour(cells.Common()) + "\">\n";
    if (!cells.Append(out, flush)) return false;
  } else {
    out += "<g>\n";
  }
  out += "</g>\n";
  for (std::size_t i = 0; i < legend.size(); ++i) {
    const long long y = legendTop + static_cast<long long>(i) * 20;
    Rect(out, layout.margin, y, 14, 14, legend[i].colour);
    out += " stroke=\"#888888\"/>\n";
    Text(out, layout.margin + 22, y + 12, 12, LegendText(legend[i]));
    if (!flushFull()) return false;
  }
  out += "</svg>\n";
  return flush();
}

}  // namespace morvel
