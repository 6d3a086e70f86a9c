#pragma once
// The cluster map drawn with characters, for a terminal or a plain text file.
#include <cstddef>
#include <string>
#include <string_view>

#include "core/map/ClusterMap.h"

namespace morvel {

// `width` characters a line. With `colour`, each character shows two cells (the upper half
// block in the upper cell's colour over the lower cell's), in 24-bit terminal colours; without,
// one ASCII character a cell: a letter for the volume's own files, '.', ':', '+', '#' by how
// full the cell is. A legend follows. `title` is escaped here.
std::string MapText(const ClusterMap& map, std::string_view title, std::size_t width, bool colour);

}  // namespace morvel
