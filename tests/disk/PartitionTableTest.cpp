// Partition tables written byte by byte: what is not a table, and chains that must not be
// followed.
#include <gtest/gtest.h>

#include <cstring>

#include "disk/Partitions.h"
#include "ntfs/BootSector.h"
#include "tests/ntfs/Sources.h"

namespace disk::testing {
namespace {

constexpr std::size_t kSector = 512;

void Put(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A table entry in the sector starting at `sector`.
void Entry(std::vector<std::uint8_t>& disk, std::uint64_t sector, int slot, std::uint8_t type, std::uint32_t start,
           std::uint32_t count) {
  const std::size_t e = sector * kSector + 0x1BE + 16u * static_cast<unsigned>(slot);
  disk[e + 4] = type;
  Put(disk, e + 8, start, 4);
  Put(disk, e + 12, count, 4);
  Put(disk, sector * kSector + 0x1FE, 0xAA55, 2);
}

void NtfsSignature(std::vector<std::uint8_t>& disk, std::uint64_t sector) {
  std::memcpy(disk.data() + sector * kSector + 3, "NTFS    ", 8);
}

std::vector<std::uint8_t> Disk() { return std::vector<std::uint8_t>(1024 * kSector); }

Status List(std::vector<std::uint8_t> bytes, std::vector<Partition>& out) {
  ntfs::testing::MemorySource source(std::move(bytes));
  return ListPartitions(source, &ntfs::HasNtfsSignature, out);
}

TEST(PartitionTable, ListsPrimariesAndLogicalsInTableOrder) {
  auto disk = Disk();
  Entry(disk, 0, 0, 0x07, 16, 100);
  Entry(disk, 0, 1, 0x0F, 200, 800);  // extended: 200..999
  Entry(disk, 0, 3, 0x83, 1000, 24);
  Entry(disk, 200, 0, 0x07, 8, 50);     // logical 5 at 208
  Entry(disk, 200, 1, 0x05, 100, 200);  // next EBR at 300
  Entry(disk, 300, 0, 0x07, 8, 50);     // logical 6 at 308
  NtfsSignature(disk, 16);
  NtfsSignature(disk, 308);
  std::vector<Partition> got;
  ASSERT_EQ(List(disk, got), Status::Ok);
  const Partition want[] = {{1, 16 * kSector, 100 * kSector, true},
                            {5, 208 * kSector, 50 * kSector, false},
                            {6, 308 * kSector, 50 * kSector, true},
                            {4, 1000 * kSector, 24 * kSector, false}};
  ASSERT_EQ(got.size(), std::size(want));
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].number, want[i].number);
    EXPECT_EQ(got[i].offset, want[i].offset);
    EXPECT_EQ(got[i].length, want[i].length);
    EXPECT_EQ(got[i].looksNtfs, want[i].looksNtfs);
  }
}

TEST(PartitionTable, NoTableMeansAnEmptyList) {
  auto bare = Disk();
  Entry(bare, 0, 0, 0x07, 16, 100);
  NtfsSignature(bare, 0);  // a volume's boot sector also ends in 55 AA
  auto unsigned_ = Disk();
  auto notATable = Disk();
  Entry(notATable, 0, 0, 0x07, 16, 100);
  notATable[0x1BE] = 0x12;  // boot indicator neither 0 nor 0x80
  for (const auto& bytes : {bare, unsigned_, notATable, std::vector<std::uint8_t>(100)}) {
    std::vector<Partition> got{{1, 2, 3, true}};
    EXPECT_EQ(List(bytes, got), Status::Ok);
    EXPECT_TRUE(got.empty());
  }
}

// A chain that loops or leaves its extended partition ends there, with a warning; the primary
// partition and the logicals before the break stay.
TEST(PartitionTable, ABrokenChainKeepsWhatCameBeforeIt) {
  struct Case {
    const char* what;
    std::uint32_t nextStart;
    std::uint8_t nextType;
    const char* why;
  } cases[] = {
      {"next EBR is the first one again", 0, 0x05, "its link leaves the extended partition"},
      {"next EBR outside the extended partition", 900, 0x05, "its link leaves the extended partition"},
      {"next link of a non-extended type", 100, 0x07, "its link is of partition type 7"},
      {"next EBR points at itself", 100, 0x05, "it links back to an earlier record"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto disk = Disk();
    Entry(disk, 0, 0, 0x07, 16, 100);
    Entry(disk, 0, 1, 0x05, 200, 800);
    Entry(disk, 200, 0, 0x07, 8, 50);
    Entry(disk, 200, 1, 0x05, 100, 50);
    Entry(disk, 300, 0, 0x07, 8, 1);
    Entry(disk, 300, 1, c.nextType, c.nextStart, 50);
    ntfs::testing::MemorySource source(disk);
    PartitionTable table;
    ASSERT_EQ(ReadPartitionTable(source, &ntfs::HasNtfsSignature, table), Status::Ok);
    ASSERT_EQ(table.partitions.size(), 3u);
    EXPECT_EQ(table.partitions[2].number, 6);
    ASSERT_EQ(table.warnings.size(), 1u);
    EXPECT_NE(table.warnings[0].find(c.why), std::string::npos) << table.warnings[0];
  }
}

TEST(PartitionTable, ProtectiveMbrWithoutGptHeaderIsCorrupt) {
  auto disk = Disk();
  Entry(disk, 0, 0, 0xEE, 1, 1023);
  std::vector<Partition> got;
  EXPECT_EQ(List(disk, got), Status::Corrupt);
}

TEST(PartitionTable, PartitionBeyondTheDiskIsListedButNotNtfs) {
  auto disk = Disk();
  Entry(disk, 0, 0, 0x07, 0xFFFFFFF0u, 0xFFFFFFFFu);
  std::vector<Partition> got;
  ASSERT_EQ(List(disk, got), Status::Ok);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].offset, 0xFFFFFFF0ull * kSector);
  EXPECT_FALSE(got[0].looksNtfs);
}

}  // namespace
}  // namespace disk::testing
