#pragma once
// The cluster map as a self-contained SVG document.
#include <cstddef>
#include <string>
#include <string_view>

#include "core/report/ClusterMap.h"

namespace morvel {

// Where the SVG places things, so tests can find a cell's pixels.
struct SvgLayout {
  int margin = 16;
  int gridTop = 64;    // below the title and the size line
  int cellPitch = 10;  // a cell is cellPitch - 1 pixels square, with a one-pixel gap
  std::size_t columns = 64;
};

// `title` names the volume (a drive or a path, escaped here). Every text is XML-escaped; each
// cell carries a <title> with its cluster range, used share and what lies there.
std::string MapSvg(const ClusterMap& map, std::string_view title, const SvgLayout& layout = {});

// `text` safe inside an XML element or attribute: control characters and malformed UTF-8 shown
// as escapes, markup characters as entities.
std::string XmlText(std::string_view text);

}  // namespace morvel
