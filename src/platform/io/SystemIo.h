#pragma once
// What the programs ask of the operating system's files and terminal: whether standard output
// is a terminal and how wide, and a file replaced whole.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace morvel {

// Standard output as the terminal map needs it.
struct Terminal {
  bool isTerminal = false;
  std::size_t columns = 80;
  std::string term;      // TERM; empty when unset
  bool noColor = false;  // NO_COLOR is set and not empty: the user wants no colour
};

// Standard output: a terminal or not, and its width from the terminal itself, else COLUMNS,
// else 80; TERM and NO_COLOR as the environment has them.
Terminal StandardOutput();

// Writes `contents` to `path` through a new file beside it, checked to the last flush, then
// renamed over `path`: a reader never sees half a file, and a link planted at `path` is
// replaced, never followed. A failure says which step failed and the system's word for it.
base::Result SaveFileWhole(const std::string& path, std::string_view contents);

// The same, the contents given by `produce` in pieces through the writer it is handed (which
// says false once a write failed, and `produce` should then stop). The new file is created
// before `produce` runs.
using PieceWriter = std::function<bool(std::string_view)>;
base::Result SaveFileWritten(const std::string& path, const std::function<bool(const PieceWriter&)>& produce);

}  // namespace morvel
