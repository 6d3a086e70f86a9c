#include <gtest/gtest.h>

#include <cerrno>

#include "platform/reader/VolumeLocation.h"
#include "tests/platform/reader/MemorySource.h"

namespace morvel {
namespace {

using testing::MemorySource;
using testing::NtfsBootSectorBytes;

TEST(VolumeLocation, ABareVolumeIsTheWholeSource) {
  MemorySource source(NtfsBootSectorBytes(8192));
  VolumeExtent extent{1, 1};
  EXPECT_TRUE(LocateVolume(source, {}, extent).ok());
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
    EXPECT_EQ(LocateVolume(source, {c.partition}, extent).code(), c.error) << c.what;
  }
}

// A disk of `sectors` sectors with an MBR: partition 1 (Linux) at sector 1, 4 sectors long;
// partition 2 (NTFS) at sector 8, `ntfsSectors` long, holding an NTFS boot sector.
std::vector<std::uint8_t> MbrDisk(std::size_t sectors, std::uint32_t ntfsSectors) {
  std::vector<std::uint8_t> disk(sectors * 512, 0);
  auto entry = [&](int index, std::uint8_t type, std::uint32_t first, std::uint32_t count) {
    std::uint8_t* e = disk.data() + 0x1BE + 16 * index;
    e[4] = type;  // 0x04: partition type
    for (int i = 0; i < 4; ++i) {
      e[8 + i] = static_cast<std::uint8_t>(first >> (8 * i));   // 0x08: first sector
      e[12 + i] = static_cast<std::uint8_t>(count >> (8 * i));  // 0x0C: sector count
    }
  };
  entry(0, 0x83, 1, 4);
  entry(1, 0x07, 8, ntfsSectors);
  disk[510] = 0x55;
  disk[511] = 0xAA;
  const auto boot = NtfsBootSectorBytes(512);
  std::copy(boot.begin(), boot.end(), disk.begin() + 8 * 512);
  return disk;
}

TEST(VolumeLocation, AWholeDiskGivesItsChosenPartition) {
  struct Case {
    int partition;
    std::uint32_t ntfsSectors;
    int error;
    VolumeExtent extent;
  };
  const Case cases[] = {
      {0, 16, 0, {8 * 512, 16 * 512}},  // the first NTFS partition
      {2, 16, 0, {8 * 512, 16 * 512}},  {1, 16, 0, {512, 4 * 512}}, {3, 16, ENXIO, {}},
      {0, 100, 0, {8 * 512, 24 * 512}},  // cut short by the end of the image
  };
  for (const auto& c : cases) {
    MemorySource disk(MbrDisk(32, c.ntfsSectors));
    VolumeExtent extent;
    EXPECT_EQ(LocateVolume(disk, {c.partition}, extent).code(), c.error) << c.partition;
    if (c.error != 0) continue;
    EXPECT_EQ(extent.offset, c.extent.offset) << c.partition;
    EXPECT_EQ(extent.length, c.extent.length) << c.partition;
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
