#include "app/cli/MapOptions.h"

#include <cmath>

#include "base/Text.h"
#include "core/map/MapSvg.h"
#include "core/map/MapText.h"
#include "platform/io/SystemIo.h"

namespace morvel::cli {
namespace {

bool ToTerminal(const Options& options) { return options.map == "-"; }

// Four decimals keep a 4,096-cell map near 30 KB; the exact counts are in the SVG's titles.
std::string Fraction(double f) { return JsonNumber(std::round(f * 10000.0) / 10000.0); }

// The runs of consecutive cells that hold something, as [first, last] pairs.
template <typename Holds>
void WriteCellRanges(JsonWriter& json, const ClusterMap& map, const Holds& holds) {
  json.BeginArray("cellRanges");
  for (std::size_t cell = 0; cell < map.CellCount(); ++cell) {
    if (!holds(cell)) continue;
    const std::size_t first = cell;
    while (cell + 1 < map.CellCount() && holds(cell + 1)) ++cell;
    json.Value({}, "[" + std::to_string(first) + ", " + std::to_string(cell) + "]");
  }
  json.EndArray();
}

// With a scan: the layers as the areas are written, and each cell's owners.
void WriteFilesJson(JsonWriter& json, const ClusterMap& map) {
  json.BeginArray("layers");
  for (std::size_t l = 0; l < kFileLayerCount; ++l) {
    const auto layer = static_cast<FileLayer>(l);
    if (map.LayerClusters(layer) == 0) continue;
    json.BeginObject();
    json.Value("name", JsonString(FileLayerName(layer)));
    json.Value("clusters", JsonNumber(static_cast<std::int64_t>(map.LayerClusters(layer))));
    WriteCellRanges(json, map, [&map, layer](std::size_t cell) { return map.CellLayerClusters(cell, layer) != 0; });
    json.EndObject();
  }
  json.EndArray();
  json.BeginArray("owners");
  for (std::size_t cell = 0; cell < map.CellCount(); ++cell) {
    json.BeginArray();
    for (const CellOwner& owner : map.CellOwners(cell)) {
      json.BeginObject();
      json.Value("record", JsonNumber(static_cast<std::int64_t>(owner.record)));
      if (const std::string_view path = map.OwnerPath(owner.record); !path.empty())
        json.Value("path", JsonString(path));
      json.Value("clusters", JsonNumber(static_cast<std::int64_t>(owner.clusters)));
      json.EndObject();
    }
    json.EndArray();
  }
  json.EndArray();
}

}  // namespace

OptionParse ParseMapOption(const std::vector<std::string>& args, std::size_t& i, Options& options) {
  const base::Result noName{base::Status::Usage, "--map needs a file name, or - for the terminal"};
  const std::string& arg = args[i];
  const bool map = arg == "--map" || arg.rfind("--map=", 0) == 0;
  // One map a run: a second --map would silently replace the first.
  if (map && !options.map.empty()) return {true, {base::Status::Usage, "--map may be given once"}};
  if (arg == "--map") {
    if (i + 1 == args.size()) return {true, noName};
    options.map = args[++i];
  } else if (arg.rfind("--map=", 0) == 0) {
    options.map = arg.substr(6);
  } else {
    return {};
  }
  return {true, options.map.empty() ? noName : base::Result()};
}

OptionParse ParseColorOption(const std::string& arg, Options& options) {
  if (arg == "--color") {
    options.color = ColorMode::Always;  // as --color=always, the convention of the option
    return {true, {}};
  }
  if (arg.rfind("--color=", 0) != 0) return {};
  const std::string when = arg.substr(8);
  if (when == "auto")
    options.color = ColorMode::Auto;
  else if (when == "always")
    options.color = ColorMode::Always;
  else if (when == "never")
    options.color = ColorMode::Never;
  else
    return {true, {base::Status::Usage, "--color takes auto, always or never, not: " + when}};
  return {true, {}};
}

bool MapInColour(ColorMode mode, const Terminal& terminal) {
  switch (mode) {
    case ColorMode::Always:
      return true;
    case ColorMode::Never:
      return false;
    case ColorMode::Auto:
      break;
  }
  return terminal.isTerminal && terminal.term != "dumb" && !terminal.noColor;
}

base::Result CheckMapTargets(const Options& options) {
  if (!options.map.empty() && !ToTerminal(options) && options.targets.size() > 1)
    return {base::Status::Usage, "--map FILE draws one target; give one target, or --map - for the terminal"};
  return {};
}

std::string MapUsageText() {
  return "  --map FILE.svg draw the volume's cluster map into FILE.svg; --map - draws it in the\n"
         "                 terminal. With --json, each report carries the map's cells instead.\n"
         "                 With --analyze, each cell also names the files owning most of it\n"
         "  --color=WHEN   draw the terminal map in colour: auto (the default: on a terminal, unless\n"
         "                 TERM is dumb or NO_COLOR is set), always (even into a pipe), never\n";
}

void RequestMap(OpenedVolume& volume, const Options& options) {
  if (!options.map.empty()) volume.RequestClusterMap(kDefaultMapCells);
}

void CollectMap(OpenedVolume& volume, const Options& options, std::optional<ClusterMap>& map, std::string& reason) {
  if (!options.map.empty()) map = volume.TakeClusterMap(reason);
}

bool DeliverMap(const Options& options, const Target& target, const std::optional<ClusterMap>& map,
                const std::string& reason, std::ostream& out, std::ostream& err, const Terminal& terminal) {
  if (options.map.empty()) return true;
  const std::string name = base::EscapeControls(target.text);
  if (!map) {
    err << "morvel: " << name << ": no cluster map: " << base::EscapeControls(reason) << '\n';
    return false;
  }
  if (ToTerminal(options)) {
    if (!options.json)
      out << '\n' << MapText(*map, target.text, terminal.columns, MapInColour(options.color, terminal));
    return true;
  }
  const auto produce = [&](const PieceWriter& write) { return WriteMapSvg(*map, target.text, write); };
  if (const base::Result saved = SaveFileWritten(options.map, produce); !saved.ok()) {
    err << "morvel: " << base::EscapeControls(options.map) << ": " << saved.reason() << '\n';
    return false;
  }
  return true;
}

void WriteMapJson(JsonWriter& json, const std::optional<ClusterMap>& map, const std::string& reason) {
  if (!map) {
    if (!reason.empty()) json.Value("mapError", JsonString(reason));
    return;
  }
  json.BeginObject("map");
  json.Value("totalClusters", JsonNumber(static_cast<std::int64_t>(map->TotalClusters())));
  json.Value("usedClusters", JsonNumber(static_cast<std::int64_t>(map->UsedClusters())));
  json.Value("cellCount", JsonNumber(static_cast<std::int64_t>(map->CellCount())));
  json.BeginArray("cells");
  for (std::size_t cell = 0; cell < map->CellCount(); ++cell) json.Value({}, Fraction(map->UsedFraction(cell)));
  json.EndArray();
  json.BeginArray("areas");
  for (std::size_t a = 0; a < kMapAreaCount; ++a) {
    const auto area = static_cast<MapArea>(a);
    if (map->AreaClusters(area) == 0) continue;
    json.BeginObject();
    json.Value("name", JsonString(MapAreaName(area)));
    json.Value("clusters", JsonNumber(static_cast<std::int64_t>(map->AreaClusters(area))));
    WriteCellRanges(json, *map, [&map, area](std::size_t cell) { return map->CellHas(cell, area); });
    json.EndObject();
  }
  json.EndArray();
  if (map->HasFiles()) WriteFilesJson(json, *map);
  json.EndObject();
}

}  // namespace morvel::cli
