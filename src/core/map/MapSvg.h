#pragma once
// The cluster map as a self-contained SVG document.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "core/map/ClusterMap.h"

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

// Takes the next piece of a document; false stops the writing.
using TextSink = std::function<bool(std::string_view)>;

// The same document handed to `sink` in pieces of about kMapSvgPiece bytes, composed in one
// buffer reused for every piece. False when the sink stopped it.
inline constexpr std::size_t kMapSvgPiece = 64 * 1024;
bool WriteMapSvg(const ClusterMap& map, std::string_view title, const TextSink& sink, const SvgLayout& layout = {});

// `text` safe inside an XML element or attribute: control characters and malformed UTF-8 shown
// as escapes, markup characters as entities.
std::string XmlText(std::string_view text);

}  // namespace morvel
