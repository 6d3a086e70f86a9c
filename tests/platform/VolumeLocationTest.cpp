#include "VolumeLocation.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "MemorySource.h"

namespace morvel {
namespace {

using testing::MemorySource;
using testing::NtfsBootSectorBytes;

TEST(VolumeLocation, ABareVolumeIsTheWholeSource) {
  MemorySource source(NtfsBootSectorBytes(8192));
  VolumeExtent extent{1, 1};
  EXPECT_EQ(LocateVolume(source, {}, extent), 0);
  EXPECT_EQ(extent.offset, 0u);
  EXPECT_EQ(extent.length, 8192u);
}

TEST(VolumeLocation, SourcesWithoutTheChosenVolume) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool readsFail;
    int partition;
    int error;
  };
  const Case cases[] = {
      {"no NTFS, no table: left to the query", std::vector<std::uint8_t>(4096, 0), false, 0, 0},
      {"shorter than a sector", std::vector<std::uint8_t>(100, 0), false, 0, 0},
      {"unreadable", NtfsBootSectorBytes(), true, 0, EIO},
      {"a partition of a bare volume", NtfsBootSectorBytes(), false, 1, ENXIO},
  };
  for (const auto& c : cases) {
    MemorySource source(c.bytes, c.readsFail);
    VolumeExtent extent;
    EXPECT_EQ(LocateVolume(source, {c.partition}, extent), c.error) << c.what;
  }
}

TEST(VolumeLocation, ASliceReadsOnlyInsideItsWindow) {
  std::vector<std::uint8_t> bytes(64);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  MemorySource whole(bytes);
  SliceByteSource slice(whole, 16, 32);
  std::array<std::uint8_t, 4> out{};
  EXPECT_EQ(slice.Size(), 32u);
  ASSERT_TRUE(slice.ReadAt(28, out));
  EXPECT_EQ(out, (std::array<std::uint8_t, 4>{44, 45, 46, 47}));
  EXPECT_FALSE(slice.ReadAt(29, out));
  EXPECT_FALSE(slice.ReadAt(~std::uint64_t{0}, out));
}

}  // namespace
}  // namespace morvel
