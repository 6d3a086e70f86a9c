// The free extents counted from $Bitmap chunks, and the --analyze figures: what counts as a
// fragmented file, and the ranking of the most fragmented with its ties.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/scan/Analysis.h"
#include "core/scan/FreeExtents.h"
#include "core/scan/ScanText.h"

namespace morvel {
namespace {

// `bits` as '0' (free) and '1' (used), cluster 0 first, packed into bytes.
std::vector<std::uint8_t> Pack(const std::string& bits) {
  std::vector<std::uint8_t> bytes((bits.size() + 7) / 8 + 9, 0xA5);  // bytes past the clusters: noise
  for (std::size_t i = 0; i < bytes.size() * 8; ++i) {
    if (i >= bits.size()) break;
    const auto bit = static_cast<std::uint8_t>(1u << (i % 8));
    bytes[i / 8] = static_cast<std::uint8_t>(bits[i] == '1' ? bytes[i / 8] | bit : bytes[i / 8] & ~bit);
  }
  return bytes;
}

TEST(FreeExtents, RunsOfClearBitsAcrossWordsAndChunks) {
  const struct {
    std::string bits;
    std::size_t chunkBytes;  // the chunks the bitmap arrives in
    FreeExtents want;        // count, largest, clusters
  } cases[] = {
      {"", 8, {0, 0, 0}},
      {"0", 8, {1, 1, 1}},
      {"1111", 8, {0, 0, 0}},
      {"0110001", 8, {2, 3, 4}},
      {std::string(64, '0') + "1" + std::string(70, '0'), 8, {2, 70, 134}},
      {std::string(64, '0') + "1" + std::string(70, '0'), 1, {2, 70, 134}},
      {"1" + std::string(200, '0') + "1" + std::string(9, '0'), 3, {2, 200, 209}},
      {std::string(128, '1') + "0" + std::string(63, '1'), 16, {1, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bits.size());
    const std::vector<std::uint8_t> bytes = Pack(c.bits);
    FreeExtentCounter counter;
    for (std::size_t at = 0; at * 8 < c.bits.size(); at += c.chunkBytes) {
      const std::uint64_t clusters = std::min<std::uint64_t>(c.chunkBytes * 8, c.bits.size() - at * 8);
      counter.Add(at * 8, base::Bytes(bytes).subspan(at, c.chunkBytes), clusters);
    }
    const FreeExtents got = counter.Extents();
    EXPECT_EQ(got.count, c.want.count);
    EXPECT_EQ(got.largest, c.want.largest);
    EXPECT_EQ(got.clusters, c.want.clusters);
  }
}

TEST(Analysis, CountsFilesAndRanksTheMostFragmented) {
  AnalysisBuilder builder(100, 60, 59);
  const std::vector<StreamFacts> none;
  builder.AddFile(5, true, 0, std::vector<StreamFacts>{{0xA0, 0, 3}});  // a directory's index: not a file's data
  builder.AddFile(30, false, 10, std::vector<StreamFacts>{{0x80, 0, 1}});
  builder.AddFile(31, false, 10, std::vector<StreamFacts>{{0x80, kCompressedFlag, 9}});  // compressed: apart
  builder.AddFile(32, false, 0, none);                                                   // resident data
  // Two $DATA streams of one file add up.
  builder.AddFile(33, false, 500, std::vector<StreamFacts>{{0x80, 0, 2}, {0x80, 0, 2}});
  // 22 files of 3 fragments and the same size: the path decides which 20 are kept.
  for (std::uint64_t r = 40; r < 62; ++r) builder.AddFile(r, false, 700, std::vector<StreamFacts>{{0x80, 0, 3}});
  builder.AddFile(70, false, 900, std::vector<StreamFacts>{{0x80, 0, 3}});
  const VolumeAnalysis a = builder.Finish({4, 10, 20}, [](std::uint64_t record) {
    return "/f" + std::to_string(100 - record);  // later records sort first by path
  });
  EXPECT_EQ(a.files, 27u);
  EXPECT_EQ(a.directories, 1u);
  EXPECT_EQ(a.compressedFiles, 1u);
  EXPECT_EQ(a.fragmentedFiles, 24u);
  EXPECT_EQ(a.dataFiles, 25u);
  EXPECT_EQ(a.fragments, 1u + 4u + 23u * 3u);
  ASSERT_EQ(a.mostFragmented.size(), kMostFragmentedCount);
  EXPECT_EQ(a.mostFragmented[0].path, "/f67");  // 4 fragments
  EXPECT_EQ(a.mostFragmented[1].path, "/f30");  // 3 fragments, the largest
  EXPECT_EQ(a.mostFragmented[2].path, "/f39");  // then by path: records 61 down to 44
  EXPECT_EQ(a.mostFragmented[19].path, "/f56");
  ASSERT_EQ(a.streamTypes.size(), 2u);
  EXPECT_EQ(a.streamTypes[1].type, 0xA0u);
  EXPECT_EQ(a.streamTypes[1].fragmented, 1u);
}

TEST(ScanText, AnalysisLinesEscapeVolumeTexts) {
  VolumeAnalysis a;
  a.mftRecords = 1024;
  a.recordsInUseByBitmap = 611;
  a.recordsFound = 611;
  a.files = 1560;
  a.directories = 40;
  a.fragmentedFiles = 1;
  a.fragments = 12;
  a.dataFiles = 10;
  a.freeExtents = {7, 1234567, 1234570};
  a.mostFragmented = {{70, "/dir/a\x1b[2Jb", 1234, 3}};
  const std::vector<std::string> want = {
      "Analysis",
      "  MFT records            : 1,024 (in use 611 by $MFT's bitmap, 611 found)",
      "  Files / directories    : 1,560 / 40",
      "  Fragmented files       : 1 (fragments 12, 1.2 per file); compressed files 0",
      "  Free space extents     : 7 (largest 1,234,567 clusters, average 176,367 clusters)",
      "  Most fragmented files",
      "    fragments  size   path",
      "            3  1,234  /dir/a\\x1b[2Jb",
  };
  EXPECT_EQ(AnalysisLines(a, NumberSeparators{}), want);
}

}  // namespace
}  // namespace morvel
