#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/map/ClusterMap.h"
#include "core/map/MapSvg.h"
#include "core/map/MapText.h"

namespace morvel {
namespace {

using Pattern = std::function<bool(std::uint64_t cluster, std::uint64_t total)>;

std::vector<std::uint8_t> Bitmap(std::uint64_t total, const Pattern& used) {
  std::vector<std::uint8_t> bytes((total + 7) / 8 + 5, 0xA5);  // bits past the end are noise
  for (std::uint64_t c = 0; c < total; ++c) {
    const auto bit = static_cast<std::uint8_t>(1u << (c % 8));
    bytes[c / 8] = static_cast<std::uint8_t>(used(c, total) ? bytes[c / 8] | bit : bytes[c / 8] & ~bit);
  }
  return bytes;
}

// Bit by bit, as a reader's counting routine is given the bytes: from a byte's first bit.
std::uint64_t CountNaively(base::Bytes bytes, std::uint64_t bits) {
  std::uint64_t set = 0;
  for (std::uint64_t bit = 0; bit < bits; ++bit) set += static_cast<unsigned>(bytes[bit / 8] >> (bit % 8)) & 1u;
  return set;
}

// Feeds the bitmap as the volume query does, in chunks of `chunkBytes`; each chunk's count must
// be its set bits, as the query takes its free clusters from it.
ClusterMap MapOf(std::uint64_t total, std::size_t cells, const Pattern& used, std::size_t chunkBytes,
                 ClusterMap::SetBitCounter count = nullptr) {
  ClusterMap map(total, 4096, cells);
  const std::vector<std::uint8_t> bytes = Bitmap(total, used);
  for (std::uint64_t at = 0; at * 8 < total; at += chunkBytes) {
    const base::Bytes chunk = base::Bytes(bytes).subspan(at, std::min<std::size_t>(chunkBytes, bytes.size() - at));
    const std::uint64_t clusters = std::min<std::uint64_t>(chunk.size() * 8, total - at * 8);
    EXPECT_EQ(map.AddBitmap(at * 8, chunk, clusters, count), CountNaively(chunk, clusters)) << "chunk at " << at;
  }
  return map;
}

std::vector<std::uint64_t> CellsUsed(const ClusterMap& map) {
  std::vector<std::uint64_t> used;
  for (std::size_t i = 0; i < map.CellCount(); ++i) used.push_back(map.CellUsed(i));
  return used;
}

const Pattern kFirstHalf = [](std::uint64_t c, std::uint64_t total) { return c < total / 2; };
const Pattern kEveryOther = [](std::uint64_t c, std::uint64_t) { return c % 2 == 0; };
const Pattern kLastOnly = [](std::uint64_t c, std::uint64_t total) { return c == total - 1; };

TEST(ClusterMap, CellsCountTheirUsedClustersWhateverTheChunks) {
  struct Case {
    const char* name;
    Pattern used;
    std::vector<std::uint64_t> expected;  // 1,000 clusters in 8 cells of 125
  };
  const Case cases[] = {
      {"first half used", kFirstHalf, {125, 125, 125, 125, 0, 0, 0, 0}},
      {"every other cluster", kEveryOther, {63, 62, 63, 62, 63, 62, 63, 62}},
      {"one cluster at the end", kLastOnly, {0, 0, 0, 0, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    for (const std::size_t chunk : {std::size_t{3}, std::size_t{16}, std::size_t{1} << 20}) {
      const ClusterMap map = MapOf(1000, 8, c.used, chunk);
      EXPECT_EQ(CellsUsed(map), c.expected) << c.name << ", chunks of " << chunk;
      EXPECT_EQ(CellsUsed(MapOf(1000, 8, c.used, chunk, CountNaively)), c.expected) << c.name << ", given a counter";
      std::uint64_t sum = 0;
      for (const std::uint64_t u : c.expected) sum += u;
      EXPECT_EQ(map.UsedClusters(), sum) << c.name;
    }
  }
}

TEST(ClusterMap, LargeBitmapsSplitEvenlyAndAddUp) {
  // 5,000,003 clusters: cells of 1,220 or 1,221 clusters, starting at odd bit positions, read
  // in 1 MiB chunks as the volume query reads them.
  const std::uint64_t total = 5'000'003;
  const ClusterMap half = MapOf(total, 4096, kFirstHalf, std::size_t{1} << 20);
  ASSERT_EQ(half.CellCount(), 4096u);
  EXPECT_EQ(half.CellStart(4096), total);
  EXPECT_EQ(half.UsedClusters(), total / 2);
  const std::size_t middle = half.CellOf(total / 2);
  EXPECT_EQ(half.UsedFraction(middle - 1), 1.0);
  EXPECT_EQ(half.UsedFraction(middle + 1), 0.0);
  EXPECT_EQ(half.CellUsed(middle), total / 2 - half.CellStart(middle));
  const ClusterMap other = MapOf(total, 4096, kEveryOther, std::size_t{1} << 20);
  EXPECT_EQ(other.UsedClusters(), (total + 1) / 2);
  for (std::size_t i = 0; i < other.CellCount(); ++i)
    ASSERT_LE(other.CellUsed(i) * 2 - other.CellClusters(i) + 1, 2u) << "cell " << i;
}

TEST(ClusterMap, CellCountIsClampedToTheClusters) {
  EXPECT_EQ(ClusterMap(3, 4096, 4096).CellCount(), 3u);
  EXPECT_EQ(ClusterMap(0, 4096, 4096).CellCount(), 0u);
  EXPECT_EQ(ClusterMap(1u << 30, 4096, 1u << 30).CellCount(), kMaxMapCells);
  EXPECT_EQ(ClusterMap(100, 4096, 0).CellCount(), 1u);
}

TEST(ClusterMap, AreasMarkTheirCellsAndAreClippedToTheVolume) {
  ClusterMap map = MapOf(1000, 8, kFirstHalf, 16);
  map.AddArea(MapArea::Mft, 130, 300);          // clusters 130-429: cells 1-3
  map.AddArea(MapArea::BadClusters, 990, 100);  // only 990-999 lie inside
  map.AddArea(MapArea::MftZone, 500, 250);      // cells 4 and 5
  map.AddArea(MapArea::Upcase, 5000, 10);       // outside: ignored
  EXPECT_EQ(map.AreaClusters(MapArea::Mft), 300u);
  EXPECT_EQ(map.AreaClusters(MapArea::BadClusters), 10u);
  EXPECT_EQ(map.AreaClusters(MapArea::Upcase), 0u);
  std::vector<std::size_t> mft, zone;
  for (std::size_t i = 0; i < map.CellCount(); ++i) {
    if (map.CellHas(i, MapArea::Mft)) mft.push_back(i);
    if (map.CellHas(i, MapArea::MftZone)) zone.push_back(i);
  }
  EXPECT_EQ(mft, (std::vector<std::size_t>{1, 2, 3}));
  EXPECT_EQ(zone, (std::vector<std::size_t>{4, 5}));
  EXPECT_EQ(CellColour(map, 0), UsedColour());
  EXPECT_EQ(CellColour(map, 2), AreaColour(MapArea::Mft));
  EXPECT_EQ(CellColour(map, 4), AreaColour(MapArea::MftZone));  // free, in the zone
  EXPECT_EQ(CellColour(map, 6), FreeColour());
  EXPECT_EQ(CellColour(map, 7), AreaColour(MapArea::BadClusters));
  EXPECT_EQ(CellDescription(map, 1), "clusters 125-249: 100.00% used; $MFT 120");
  EXPECT_EQ(CellDescription(map, 4), "clusters 500-624: 0.00% used; MFT zone (modelled) 125");
}

TEST(ClusterMap, ACellShowsTheAreaWithTheMostClustersInIt) {
  struct Placed {
    MapArea area;
    std::uint64_t lcn, length;
  };
  struct Case {
    const char* name;
    std::vector<Placed> areas;  // on 1,000 clusters in 8 cells of 125, the first four used
    std::size_t cell;
    Rgb colour;
    const char* description;
    const char* letters;              // the terminal's, a cell each
    std::vector<std::string> hidden;  // the legend's "not visible at this scale"
  };
  const Case cases[] = {
      {"one $MFTMirr cluster among many $LogFile ones, the extent counted in each cell it crosses",
       {{MapArea::MftMirror, 125, 1}, {MapArea::LogFile, 100, 149}},
       1,
       AreaColour(MapArea::LogFile),
       "clusters 125-249: 100.00% used; $MFTMirr 1, $LogFile 124",
       "LL##....",
       {"$MFTMirr: 1 cluster (0.10%), not visible at this scale"}},
      {"a tie goes to the earlier area",
       {{MapArea::LogFile, 0, 3}, {MapArea::MftMirror, 3, 3}},
       0,
       AreaColour(MapArea::MftMirror),
       "clusters 0-124: 100.00% used; $MFTMirr 3, $LogFile 3",
       "m###....",
       {"$LogFile: 3 clusters (0.30%), not visible at this scale"}},
      {"the MFT zone outweighs a few $MFT clusters, not the files inside it",
       {{MapArea::Mft, 495, 10}, {MapArea::MftZone, 505, 245}, {MapArea::Upcase, 625, 70}},
       5,
       AreaColour(MapArea::Upcase),
       "clusters 625-749: 0.00% used; $UpCase 70, MFT zone (modelled) 125",
       "###MzU..",
       {}},
      {"the MFT zone over used clusters shows their shade, so no cell its colour",
       {{MapArea::MftZone, 0, 250}},
       1,
       UsedColour(),
       "clusters 125-249: 100.00% used; MFT zone (modelled) 125",
       "####....",
       {"MFT zone (modelled): 250 clusters (25.00%), not visible at this scale"}},
  };
  for (const Case& c : cases) {
    ClusterMap map = MapOf(1000, 8, kFirstHalf, 16);
    for (const Placed& p : c.areas) map.AddArea(p.area, p.lcn, p.length);
    EXPECT_EQ(CellColour(map, c.cell), c.colour) << c.name;
    EXPECT_EQ(CellDescription(map, c.cell), c.description) << c.name;
    EXPECT_NE(MapText(map, "v", 8, false).find(std::string("\n") + c.letters + "\n"), std::string::npos) << c.name;
    std::vector<std::string> hidden;
    for (const LegendEntry& entry : MapLegend(map))
      if (!entry.visible) hidden.push_back(LegendText(entry));
    EXPECT_EQ(hidden, c.hidden) << c.name;
  }
}

TEST(MapText, PlainCharactersOnAFixedWidth) {
  ClusterMap map = MapOf(1000, 8, kEveryOther, 16);
  map.AddArea(MapArea::Mft, 0, 10);
  map.AddArea(MapArea::MftZone, 875, 125);  // a used cell shows its fill, not the zone
  EXPECT_EQ(MapText(map, "img\x1b", 3, false),
            "Cluster map of img\\x1b: 3.91 MiB, 1,000 clusters of 4,096 bytes\n"
            "One character a cell of about 125 clusters\n"
            "M:+\n"  // 63 of 125 used is more than half, 62 less
            ":+:\n"
            "+:\n"
            "#  Used: 500 clusters (50.00%)\n"
            ".  Free: 500 clusters (50.00%)\n"
            "M  $MFT: 10 clusters (1.00%)\n"
            "z  MFT zone (modelled): 125 clusters (12.50%)\n");
}

TEST(MapText, ColourDrawsTwoCellsACharacter) {
  const ClusterMap map = MapOf(3, 3, kFirstHalf, 16);  // cells: used, free, free
  const std::string text = MapText(map, "v", 2, true);
  EXPECT_NE(text.find("\x1b[38;2;43;87;151m\x1b[48;2;236;239;244m\u2580"  // used over free
                      "\x1b[38;2;236;239;244m\x1b[49m\u2580\x1b[0m\n"),   // free over nothing
            std::string::npos)
      << text;
  // A colour is sent again only where it changes from the cell before.
  const std::string runs = MapText(MapOf(8, 8, kFirstHalf, 16), "v", 2, true);
  EXPECT_NE(runs.find("\n\x1b[38;2;43;87;151m\x1b[48;2;43;87;151m\u2580\u2580\x1b[0m\n"
                      "\x1b[38;2;236;239;244m\x1b[48;2;236;239;244m\u2580\u2580\x1b[0m\n"),
            std::string::npos)
      << runs;
}

TEST(MapSvg, TextsAreEscapedAndEveryCellHasATitle) {
  ClusterMap map = MapOf(1000, 8, kFirstHalf, 16);
  const std::string svg = MapSvg(map, "a<b>&\"'\x01\xff");
  EXPECT_NE(svg.find("<title>Cluster map of a&lt;b&gt;&amp;&quot;&apos;\\x01\\xff</title>"), std::string::npos) << svg;
  EXPECT_EQ(svg.find("a<b"), std::string::npos);
  std::size_t titled = 0;
  for (std::size_t at = 0; (at = svg.find("><title>clusters ", at)) != std::string::npos; ++at) ++titled;
  EXPECT_EQ(titled, 8u);
  EXPECT_NE(svg.find("<title>clusters 875-999: 0.00% used</title>"), std::string::npos);
  EXPECT_NE(svg.find(">Used: 500 clusters (50.00%)</text>"), std::string::npos);
}

// Each cell's fill (its own, else its group's) and title, in order.
std::vector<std::pair<std::string, std::string>> SvgCells(const std::string& svg) {
  const std::size_t group = svg.find("<g fill=\"") + 9;
  const std::string common = svg.substr(group, 7);
  std::vector<std::pair<std::string, std::string>> cells;
  for (std::size_t at = group; (at = svg.find("><title>", at)) != std::string::npos; ++at) {
    const std::size_t rect = svg.rfind("<rect ", at), fill = svg.find(" fill=\"", rect);
    const std::size_t end = svg.find("</title>", at);
    cells.emplace_back(fill < at ? svg.substr(fill + 7, 7) : common, svg.substr(at + 8, end - at - 8));
  }
  return cells;
}

TEST(MapSvg, EachCellShowsItsColourAndDescription) {
  // A volume mostly free and one mostly used, so that either colour is the group's; then one
  // with numbers as long as they come and every area in one cell.
  ClusterMap mostlyFree = MapOf(1000, 8, kLastOnly, 16);
  mostlyFree.AddArea(MapArea::MftZone, 0, 300);
  const ClusterMap mostlyUsed = MapOf(
      5'000'003, 300, [](std::uint64_t c, std::uint64_t total) { return c < total / 10 * 9 || c % 3 == 0; }, 1 << 20);
  ClusterMap huge(~std::uint64_t{0} >> 1, 512, 5);
  for (std::size_t a = 0; a < kMapAreaCount; ++a) huge.AddArea(static_cast<MapArea>(a), huge.CellStart(4), 1);
  EXPECT_NE(MapSvg(mostlyFree, "v").find("<g fill=\"#eceff4\">"), std::string::npos);
  EXPECT_NE(MapSvg(mostlyUsed, "v").find("<g fill=\"#2b5797\">"), std::string::npos);
  for (const ClusterMap* map : std::initializer_list<const ClusterMap*>{&mostlyFree, &mostlyUsed, &huge}) {
    const auto cells = SvgCells(MapSvg(*map, "v"));
    ASSERT_EQ(cells.size(), map->CellCount());
    for (std::size_t i = 0; i < cells.size(); ++i) {
      ASSERT_EQ(cells[i].first, HexColour(CellColour(*map, i))) << "cell " << i;
      ASSERT_EQ(cells[i].second, CellDescription(*map, i)) << "cell " << i;
    }
  }
  EXPECT_NE(MapSvg(huge, "v").find(">$MFT: 1 cluster (0.00%), not visible at this scale</text>"), std::string::npos);
  EXPECT_EQ(
      CellDescription(huge, 4),
      "clusters 7,378,697,629,483,820,645-9,223,372,036,854,775,806: 0.00% used; Bad clusters ($BadClus:$Bad) 1, "
      "$MFT 1, $MFTMirr 1, $Boot 1, $LogFile 1, $Bitmap 1, $UpCase 1, Other system files 1, MFT zone (modelled) 1");
}

TEST(MapSvg, IsWrittenInBoundedPiecesAndStopsWhenTheSinkDoes) {
  const ClusterMap map = MapOf(1 << 20, 4096, kFirstHalf, 1 << 16);
  std::string joined;
  std::size_t pieces = 0;
  EXPECT_TRUE(WriteMapSvg(map, "v", [&](std::string_view piece) {
    EXPECT_LE(piece.size(), kMapSvgPiece);
    joined += piece;
    return ++pieces > 0;
  }));
  EXPECT_EQ(joined, MapSvg(map, "v"));
  EXPECT_GT(pieces, 2u);
  pieces = 0;
  EXPECT_FALSE(WriteMapSvg(map, "v", [&](std::string_view) { return ++pieces < 2; }));
  EXPECT_EQ(pieces, 2u);
}

}  // namespace
}  // namespace morvel
