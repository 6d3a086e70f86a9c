#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/map/ClusterMap.h"
#include "core/map/MapFiles.h"
#include "core/map/MapSvg.h"
#include "core/map/MapText.h"

namespace morvel {
namespace {

struct File {
  std::uint64_t record;
  std::vector<OwnedExtent> extents;
};

// 1,000 clusters in 8 cells of 125.
ClusterMap MapWith(const std::vector<File>& files) {
  ClusterMap map(1000, 4096, 8);
  MapFileBuilder builder(map);
  for (const File& f : files) EXPECT_TRUE(builder.AddFile(f.record, f.extents)) << "record " << f.record;
  return map;
}

std::vector<CellOwner> Owners(const ClusterMap& map, std::size_t cell) {
  const auto owners = map.CellOwners(cell);
  return {owners.begin(), owners.end()};
}

TEST(MapFiles, EachCellKeepsTheFilesWithTheMostClustersTiesToTheLowerRecord) {
  constexpr auto kData = ExtentKind::FileData;
  const ClusterMap map = MapWith({
      {20, {{0, 25, kData}, {100, 25, kData}}},  // 50 in cell 0, from two runs summed
      {21, {{25, 50, kData}}},                   // 50: as many, a higher record
      {30, {{75, 10, kData}}},                   // 10: pushed out by record 31
      {31, {{85, 15, kData}}},
      {40, {{120, 140, kData}}},                 // 5 in cell 0, all of cell 1, 10 in cell 2
      {41, {{255, 1, kData}, {300, 5, kData}}},  // 6 in cell 2, from two runs
      {42, {{990, 50, kData}}},                  // clipped at the volume's end: 10 in cell 7
  });
  struct Case {
    std::size_t cell;
    std::vector<CellOwner> owners;
  };
  const Case cases[] = {
      {0, {{20, 50}, {21, 50}, {31, 15}}}, {1, {{40, 125}}}, {2, {{40, 10}, {41, 6}}}, {3, {}}, {7, {{42, 10}}},
  };
  for (const Case& c : cases) EXPECT_EQ(Owners(map, c.cell), c.owners) << "cell " << c.cell;
  EXPECT_EQ(map.OwnerRecords(), (std::vector<std::uint64_t>{20, 21, 31, 40, 41, 42}));
  EXPECT_EQ(map.LayerClusters(FileLayer::FileData), 50u + 50 + 10 + 15 + 140 + 6 + 10);
}

TEST(MapFiles, AFileGivenAgainOrOutOfOrderIsRefused) {
  ClusterMap map(1000, 4096, 8);
  MapFileBuilder builder(map);
  EXPECT_TRUE(builder.AddFile(30, std::vector<OwnedExtent>{{0, 10, ExtentKind::FileData}}));
  EXPECT_FALSE(builder.AddFile(30, std::vector<OwnedExtent>{{10, 100, ExtentKind::FileData}}));
  EXPECT_FALSE(builder.AddFile(12, std::vector<OwnedExtent>{{10, 100, ExtentKind::FileData}}));
  EXPECT_EQ(Owners(map, 0), (std::vector<CellOwner>{{30, 10}}));
  EXPECT_EQ(map.LayerClusters(FileLayer::FileData), 10u);
}

TEST(MapFiles, LayersLieBeneathTheSystemAreasAndOverTheZone) {
  ClusterMap map = MapWith({
      {5, {{0, 125, ExtentKind::System}}},  // owns cell 0, in no layer
      {36, {{125, 100, ExtentKind::Directory}, {250, 20, ExtentKind::Directory}}},
      {37, {{270, 30, ExtentKind::Index}, {375, 125, ExtentKind::FileData}}},
  });
  map.AddArea(MapArea::OtherSystem, 0, 125);
  map.AddArea(MapArea::LogFile, 124, 2);    // two clusters of cell 1 still give it to $LogFile
  map.AddArea(MapArea::MftZone, 250, 125);  // cell 2: 50 of files, 75 of zone left
  struct Case {
    std::size_t cell;
    std::optional<MapArea> area;
    std::optional<FileLayer> layer;
  };
  const Case cases[] = {
      {0, MapArea::OtherSystem, std::nullopt},
      {1, MapArea::LogFile, std::nullopt},
      {2, MapArea::MftZone, std::nullopt},
      {3, std::nullopt, std::nullopt},  // file data: the used shading
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CellArea(map, c.cell), c.area) << "cell " << c.cell;
    EXPECT_EQ(CellLayer(map, c.cell), c.layer) << "cell " << c.cell;
  }
  EXPECT_EQ(Owners(map, 0), (std::vector<CellOwner>{{5, 125}}));
  EXPECT_EQ(map.LayerClusters(FileLayer::Directories), 120u);
  EXPECT_EQ(map.LayerClusters(FileLayer::Indexes), 30u);

  ClusterMap directories = MapWith({{36, {{125, 125, ExtentKind::Directory}}}});
  directories.AddArea(MapArea::MftZone, 125, 125);  // held wholly by the directory: not the zone's
  EXPECT_EQ(CellArea(directories, 1), std::nullopt);
  EXPECT_EQ(CellLayer(directories, 1), FileLayer::Directories);
  EXPECT_EQ(CellColour(directories, 1), LayerColour(FileLayer::Directories));
  const std::string legend = MapText(directories, "v", 8, false);
  EXPECT_NE(legend.find("d  Directories: 125 clusters (12.50%)\n"), std::string::npos) << legend;
}

TEST(MapFiles, TooltipsNameTheOwnersWithTheirPathsEscaped) {
  ClusterMap map = MapWith({{64, {{0, 100, ExtentKind::FileData}}}, {65, {{100, 1, ExtentKind::Index}}}});
  map.SetOwnerPath(64, "/a<b>&\x01\xff.txt");
  EXPECT_EQ(
      CellTooltip(map, 0),
      "clusters 0-124: 0.00% used\nfiles: file data 100, indexes 1\n100 clusters: /a<b>&\\x01\\xff.txt (record 64)\n"
      "1 cluster: record 65");
  const std::string svg = MapSvg(map, "v");
  EXPECT_NE(svg.find("<title>clusters 0-124: 0.00% used\nfiles: file data 100, indexes 1\n100 clusters: "
                     "/a&lt;b&gt;&amp;\\x01\\xff.txt (record 64)\n1 cluster: record 65</title>"),
            std::string::npos);
  // A path that grows most when escaped fits the room its cell is written in.
  map.SetOwnerPath(65, std::string(3 * kMaxOwnerPath, '"'));
  std::string quotes;
  for (std::size_t i = 0; i < kMaxOwnerPath; ++i) quotes += "&quot;";
  EXPECT_NE(MapSvg(map, "v").find("1 cluster: " + quotes + "... (record 65)</title>"), std::string::npos);
  // A long path is cut where a character starts.
  map.SetOwnerPath(64, std::string(kMaxOwnerPath - 1, 'a') + "\xc3\xa9");
  EXPECT_EQ(map.OwnerPath(64), std::string(kMaxOwnerPath - 1, 'a') + "...");
}

TEST(MapFiles, AttributesAreSortedIntoLayersByRecordTypeAndName) {
  struct Case {
    std::uint64_t record;
    std::uint32_t type;
    const char* name;
    ExtentKind kind;
  };
  const Case cases[] = {
      {5, 0xA0, "$I30", ExtentKind::System},     {9, 0x80, "$SDS", ExtentKind::System},
      {40, 0xA0, "$I30", ExtentKind::Directory}, {40, 0xB0, "$I30", ExtentKind::Directory},
      {25, 0xA0, "$O", ExtentKind::Index},       {26, 0xB0, "$R", ExtentKind::Index},
      {70, 0x80, "", ExtentKind::FileData},      {70, 0x80, "$I30", ExtentKind::FileData},
      {70, 0x20, "", ExtentKind::FileData},
  };
  for (const Case& c : cases)
    EXPECT_EQ(KindOfAttribute(c.record, c.type, c.name), c.kind) << c.record << " " << c.type << " " << c.name;
}

}  // namespace
}  // namespace morvel
