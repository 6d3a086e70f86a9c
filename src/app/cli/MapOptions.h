#pragma once
// The console program's --map option: its parsing, its usage text, and the map it delivers.
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"
#include "app/cli/Json.h"
#include "base/Result.h"
#include "core/map/ClusterMap.h"
#include "platform/io/SystemIo.h"
#include "platform/reader/OpenedVolume.h"

namespace morvel::cli {

struct Findings;

// What an option's parser made of the argument it was shown.
struct OptionParse {
  bool mine = false;    // the argument is the parser's option
  base::Result result;  // a usage error when it is but its value is wrong
};

// Parses --map FILE / --map=FILE at args[i], advancing i past the value.
OptionParse ParseMapOption(const std::vector<std::string>& args, std::size_t& i, Options& options);
// Parses --color / --color=WHEN at args[i].
OptionParse ParseColorOption(const std::string& arg, Options& options);
// Whether the terminal map is drawn in colour: --color=always, or by default on a terminal
// whose TERM is not "dumb" while NO_COLOR is unset or empty.
bool MapInColour(ColorMode mode, const Terminal& terminal);
// A map file holds one volume: --map FILE with several targets is a usage error.
base::Result CheckMapTargets(const Options& options);
std::string MapUsageText();

// Asks `volume` to build the map in the report's own pass, when --map was given.
void RequestMap(OpenedVolume& volume, const Options& options);
// The map the report built, or why there is none, into `map` and `reason`.
void CollectMap(OpenedVolume& volume, const Options& options, std::optional<ClusterMap>& map, std::string& reason);

// Writes the map of one target as --map asks: the SVG file (to a temporary name, then renamed)
// or the terminal drawing on `out`; with --json the drawing is left to the JSON document.
// Returns false, having said why on `err`, when there is no map to deliver or writing failed.
bool DeliverMap(const Options& options, const Target& target, const std::optional<ClusterMap>& map,
                const std::string& reason, std::ostream& out, std::ostream& err, const Terminal& terminal);

// The "map" member of a report in --json: the cells' used fractions and each area's cells.
void WriteMapJson(JsonWriter& json, const std::optional<ClusterMap>& map, const std::string& reason);

}  // namespace morvel::cli
