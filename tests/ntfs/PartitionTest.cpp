// Partition tables written by sfdisk and sgdisk, with mkntfs-made volumes copied into their
// partitions; the expected layout is what the partitioning tool itself dumps.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "disk/Partitions.h"
#include "ntfs/BootSector.h"
#include "ntfs/Ntfs.h"
#include "tests/ntfs/ImageTools.h"
#include "tests/ntfs/Sources.h"

namespace ntfs::testing {
namespace {

struct Expected {
  int number;
  std::uint64_t startSector, sectors;
  bool ntfs;
};

// Formats a volume of `sectors` sectors and copies it into the disk image at `startSector`.
bool PutVolume(const std::string& disk, std::uint64_t startSector, std::uint64_t sectors) {
  const std::string volume = disk + ".part";
  return !MakeVolume(volume.substr(ImageDir().size() + 1), std::to_string(sectors * 512), 512, 4096).empty() &&
         Shell("dd if='" + volume + "' of='" + disk + "' bs=1M oflag=seek_bytes seek=" +
               std::to_string(startSector * 512) + " conv=notrunc,sparse status=none");
}

void ExpectPartitions(const std::string& disk, const std::vector<Expected>& want) {
  FileSource source(disk);
  ASSERT_TRUE(source.ok());
  std::vector<disk::Partition> got;
  ASSERT_EQ(disk::ListPartitions(source, &HasNtfsSignature, got), disk::Status::Ok);
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(want[i].number);
    EXPECT_EQ(got[i].number, want[i].number);
    EXPECT_EQ(got[i].offset, want[i].startSector * 512);
    EXPECT_EQ(got[i].length, want[i].sectors * 512);
    EXPECT_EQ(got[i].looksNtfs, want[i].ntfs);
    if (!want[i].ntfs) continue;
    std::unique_ptr<Volume> volume;
    ASSERT_EQ(Volume::Open(source, got[i].offset, volume), Status::Ok);
    VolumeData data;
    EXPECT_EQ(volume->QueryVolumeData(data), Status::Ok);
    EXPECT_EQ(data.NumberSectors, static_cast<std::int64_t>(want[i].sectors - 1));  // the backup boot sector follows
  }
}

TEST(Partitions, MbrWithLogicalPartitionsInAnExtendedOne) {
  if (!HaveTool("sfdisk") || !HaveTool("mkntfs")) GTEST_SKIP() << "sfdisk (fdisk) or mkntfs (ntfs-3g) is not installed";
  const std::string disk = ImageDir() + "/mbr.img";
  ASSERT_TRUE(Shell("rm -f '" + disk + "' && truncate -s 120M '" + disk + "'"));
  ASSERT_TRUE(
      Shell("printf 'start=2048, size=40960, type=7\\nstart=43008, size=200704, type=5\\n"
            "start=45056, size=40960, type=7\\nstart=88064, size=20480, type=83\\n' | sfdisk -q '" +
            disk + "' >/dev/null"));
  // sfdisk's own dump: "<disk>N : start= S, size= L, type=T".
  std::vector<Expected> want;
  std::istringstream dump(Capture("sfdisk -d '" + disk + "'"));
  for (std::string line; std::getline(dump, line);) {
    const auto colon = line.find(" : start=");
    if (colon == std::string::npos) continue;
    Expected e{std::stoi(line.substr(disk.size(), colon - disk.size())), std::stoull(line.substr(colon + 9)),
               std::stoull(line.substr(line.find("size=") + 5)), line.find("type=7") != std::string::npos};
    if (line.find("type=5") == std::string::npos) want.push_back(e);  // the container is no volume
  }
  ASSERT_EQ(want.size(), 3u);
  ASSERT_TRUE(PutVolume(disk, want[0].startSector, want[0].sectors));
  ASSERT_TRUE(PutVolume(disk, want[1].startSector, want[1].sectors));
  ExpectPartitions(disk, want);
}

TEST(Partitions, GptWithItsCrcsChecked) {
  if (!HaveTool("sgdisk") || !HaveTool("mkntfs")) GTEST_SKIP() << "sgdisk (gdisk) or mkntfs (ntfs-3g) is not installed";
  const std::string disk = ImageDir() + "/gpt.img";
  ASSERT_TRUE(Shell("rm -f '" + disk + "' && truncate -s 100M '" + disk + "'"));
  ASSERT_TRUE(Shell("sgdisk -n 1:2048:+40M -t 1:0700 -n 2:0:+20M -t 2:8300 '" + disk + "' >/dev/null 2>&1"));
  // sgdisk's table: "   N   first   last   size unit   code".
  std::vector<Expected> want;
  std::istringstream table(Capture("sgdisk -p '" + disk + "'"));
  for (std::string line; std::getline(table, line);) {
    std::istringstream row(line);
    int number = 0;
    std::uint64_t first = 0, last = 0;
    if (row >> number >> first >> last) want.push_back({number, first, last - first + 1, number == 1});
  }
  ASSERT_EQ(want.size(), 2u);
  ASSERT_TRUE(PutVolume(disk, want[0].startSector, want[0].sectors));
  ExpectPartitions(disk, want);

  // One byte changed in the header, then in an entry: the CRCs no longer match, and the table
  // is read from the backup header at the disk's end; without that, it is damaged.
  for (std::uint64_t at : {512u + 0x50u, 1024u + 0x20u}) {
    const std::string copy = ImageDir() + "/gpt-damaged.img";
    ASSERT_TRUE(Shell("cp --sparse=always '" + disk + "' '" + copy + "'"));
    auto bytes = ReadFile(copy, 1u << 20);
    bytes[at] ^= 1;
    {
      std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    FileSource damaged(copy);
    disk::PartitionTable read;
    ASSERT_EQ(disk::ReadPartitionTable(damaged, &HasNtfsSignature, read), disk::Status::Ok) << "byte " << at;
    EXPECT_EQ(read.partitions.size(), 2u);
    ASSERT_EQ(read.warnings.size(), 1u);
    EXPECT_NE(read.warnings[0].find("read from the backup header"), std::string::npos) << read.warnings[0];
    bytes.resize(1u << 20);
    MemorySource cut(bytes);
    std::vector<disk::Partition> got;
    EXPECT_EQ(disk::ListPartitions(cut, &HasNtfsSignature, got), disk::Status::Corrupt) << "byte " << at;
    EXPECT_TRUE(got.empty());
  }
}

TEST(Partitions, BareVolumeHasNoTable) {
  if (!HaveTool("mkntfs")) GTEST_SKIP() << "mkntfs (ntfs-3g) is not installed";
  const std::string volume = MakeVolume("bare.img", "16M", 512, 4096);
  ASSERT_FALSE(volume.empty());
  ExpectPartitions(volume, {});
}

}  // namespace
}  // namespace ntfs::testing
