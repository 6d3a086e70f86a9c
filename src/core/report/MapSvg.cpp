#include "core/report/MapSvg.h"

#include <algorithm>

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

// An unclosed <rect>: a cell's is followed by its title. Appended in place, as a map holds
// thousands.
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

}  // namespace

std::string XmlText(std::string_view text) {
  std::string out;
  AppendMarkupEscaped(out, base::EscapeControls(text));
  return out;
}

std::string MapSvg(const ClusterMap& map, std::string_view title, const SvgLayout& layout) {
  const std::size_t columns = std::max<std::size_t>(1, std::min(layout.columns, map.CellCount()));
  const std::size_t rows = (map.CellCount() + columns - 1) / columns;
  const std::vector<LegendEntry> legend = MapLegend(map);
  const long long pitch = layout.cellPitch;
  const long long legendTop = layout.gridTop + static_cast<long long>(rows) * pitch + 24;
  const long long width = std::max<long long>(2 * layout.margin + static_cast<long long>(columns) * pitch, 480);
  const long long height = legendTop + static_cast<long long>(legend.size()) * 20 + layout.margin;
  const std::string heading = "Cluster map of " + std::string(title);

  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"" +
                    Attr("width", width) + Attr("height", height) + " viewBox=\"0 0 " + std::to_string(width) + " " +
                    std::to_string(height) + "\" font-family=\"sans-serif\">\n";
  out += "<title>" + XmlText(heading) + "</title>\n";
  Rect(out, 0, 0, width, height, {0xFF, 0xFF, 0xFF});
  out += "/>\n";
  Text(out, layout.margin, 28, 16, heading, true);
  Text(out, layout.margin, 48, 12, VolumeSizeText(map));
  out.reserve(out.size() + map.CellCount() * 160 + legend.size() * 200);
  out += "<g>\n";
  for (std::size_t cell = 0; cell < map.CellCount(); ++cell) {
    const long long x = layout.margin + static_cast<long long>(cell % columns) * pitch;
    const long long y = layout.gridTop + static_cast<long long>(cell / columns) * pitch;
    Rect(out, x, y, pitch - 1, pitch - 1, CellColour(map, cell));
    out += "><title>";
    AppendCellDescription(out, map, cell);  // digits, signs and the areas' names: nothing to escape
    out += "</title></rect>\n";
  }
  out += "</g>\n";
  for (std::size_t i = 0; i < legend.size(); ++i) {
    const long long y = legendTop + static_cast<long long>(i) * 20;
    Rect(out, layout.margin, y, 14, 14, legend[i].colour);
    out += " stroke=\"#888888\"/>\n";
    Text(out, layout.margin + 22, y + 12, 12, legend[i].name + ": " + LegendFigures(legend[i]));
  }
  out += "</svg>\n";
  return out;
}

}  // namespace morvel
