// The reader against volumes formatted by mkntfs, checked against ntfs-3g's own view of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>

#include "ntfs/Ntfs.h"
#include "tests/ntfs/ImageTools.h"
#include "tests/ntfs/Sources.h"

namespace ntfs::testing {
namespace {

struct VolumeCase {
  const char* image;
  const char* size;
  unsigned sector;
  unsigned cluster;
};

// Cluster sizes from 512 B to 2 MiB, both sector sizes, and sizes that leave a partial last
// bitmap word.
const VolumeCase kVolumes[] = {
    {"c512.img", "64M", 512, 512},
    {"c1k-odd.img", "100000256", 512, 1024},
    {"c4k.img", "256M", 512, 4096},
    {"s4k-c4k.img", "200M", 4096, 4096},
    {"s4k-c8k-odd.img", "300003328", 4096, 8192},
    {"c64k.img", "1G", 512, 65536},
    {"c128k.img", "2G", 512, 131072},
    {"c2m.img", "4G", 512, 2097152},
    {"s4k-c2m.img", "3G", 4096, 2097152},
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::uint64_t Le(const std::vector<std::uint8_t>& b, std::size_t at, unsigned bytes) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < bytes; ++i) v |= std::uint64_t{b[at + i]} << (8 * i);
  return v;
}

// The figures a boot sector states, decoded here independently of the reader.
VolumeData FromBootSector(const std::vector<std::uint8_t>& s) {
  VolumeData d;
  const auto spcByte = static_cast<unsigned>(s[0x0D]);
  const std::uint64_t spc = spcByte > 0x80 ? (std::uint64_t{1} << (256 - spcByte)) : spcByte;
  d.BytesPerSector = static_cast<std::uint32_t>(Le(s, 0x0B, 2));
  d.BytesPerCluster = static_cast<std::uint32_t>(d.BytesPerSector * spc);
  d.NumberSectors = static_cast<std::int64_t>(Le(s, 0x28, 8));
  d.TotalClusters = d.NumberSectors / static_cast<std::int64_t>(spc);
  d.MftStartLcn = static_cast<std::int64_t>(Le(s, 0x30, 8));
  d.Mft2StartLcn = static_cast<std::int64_t>(Le(s, 0x38, 8));
  const auto rec = static_cast<std::int8_t>(s[0x40]);
  d.BytesPerFileRecordSegment = rec < 0 ? (1u << -rec) : static_cast<std::uint32_t>(rec) * d.BytesPerCluster;
  d.ClustersPerFileRecordSegment = d.BytesPerFileRecordSegment / d.BytesPerCluster;
  d.VolumeSerialNumber = static_cast<std::int64_t>(Le(s, 0x48, 8));
  return d;
}

// Zero bits among the first `clusters` bits of the $Bitmap that ntfscat extracts.
std::int64_t FreeClustersByNtfsCat(const std::string& image, std::int64_t clusters) {
  const std::string out = image + ".bitmap";
  if (!Shell("ntfscat '" + image + "' '$Bitmap' > '" + out + "'")) return -1;
  const auto bitmap = ReadFile(out);
  std::int64_t free = 0;
  for (std::int64_t c = 0; c < clusters; ++c)
    if (((bitmap.at(static_cast<std::size_t>(c / 8)) >> (c % 8)) & 1) == 0) ++free;
  return free;
}

class ImageTest : public ::testing::TestWithParam<VolumeCase> {
 protected:
  void SetUp() override {
    for (const char* tool : {"mkntfs", "ntfscat", "ntfscluster", "ntfsls"})
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " (Debian package ntfs-3g) is not installed";
    const VolumeCase& c = GetParam();
    path_ = MakeVolume(c.image, c.size, c.sector, c.cluster);
    ASSERT_FALSE(path_.empty()) << "mkntfs failed for " << c.image;
    source_ = std::make_unique<FileSource>(path_);
    ASSERT_TRUE(source_->ok());
    boot_.resize(512);
    ASSERT_TRUE(source_->ReadAt(0, boot_));
    source_->reads = 0;
  }

  std::string path_;
  std::unique_ptr<FileSource> source_;
  std::vector<std::uint8_t> boot_;
};

TEST_P(ImageTest, VolumeDataMatchesBootSectorBitmapAndMft) {
  VolumeData want = FromBootSector(boot_);
  ASSERT_EQ(want.BytesPerSector, GetParam().sector);
  ASSERT_EQ(want.BytesPerCluster, GetParam().cluster);
  want.FreeClusters = FreeClustersByNtfsCat(path_, want.TotalClusters);
  const MftFigures mft = MftFromTools(path_);
  ASSERT_GT(mft.runEnd, 0u);
  want.MftValidDataLength = static_cast<std::int64_t>(mft.initialized);
  want.MftZoneStart = static_cast<std::int64_t>(mft.runEnd);
  want.MftZoneEnd = std::min<std::int64_t>(want.MftZoneStart + (200 << 20) / want.BytesPerCluster, want.TotalClusters);

  std::unique_ptr<Volume> volume;
  ASSERT_EQ(Volume::Open(*source_, 0, volume), Status::Ok);
  EXPECT_LE(source_->reads, 4) << "opening reads the boot sector and $MFT's record only";
  VolumeData got;
  ASSERT_EQ(volume->QueryVolumeData(got), Status::Ok);
  EXPECT_EQ(got.VolumeSerialNumber, want.VolumeSerialNumber);
  EXPECT_EQ(got.NumberSectors, want.NumberSectors);
  EXPECT_EQ(got.TotalClusters, want.TotalClusters);
  EXPECT_EQ(got.FreeClusters, want.FreeClusters);
  EXPECT_EQ(got.TotalReserved, 0);
  EXPECT_EQ(got.BytesPerSector, want.BytesPerSector);
  EXPECT_EQ(got.BytesPerCluster, want.BytesPerCluster);
  EXPECT_EQ(got.BytesPerFileRecordSegment, want.BytesPerFileRecordSegment);
  EXPECT_EQ(got.ClustersPerFileRecordSegment, want.ClustersPerFileRecordSegment);
  EXPECT_EQ(got.MftValidDataLength, want.MftValidDataLength);
  EXPECT_EQ(got.MftStartLcn, want.MftStartLcn);
  EXPECT_EQ(got.Mft2StartLcn, want.Mft2StartLcn);
  EXPECT_EQ(got.MftZoneStart, want.MftZoneStart);
  EXPECT_EQ(got.MftZoneEnd, want.MftZoneEnd);
}

TEST_P(ImageTest, RootEntriesFoundIgnoringCaseWithTheirIndexedSizes) {
  const auto indexed = IndexSizes(path_);
  ASSERT_TRUE(indexed.contains("$MFT")) << "ntfsls and ntfscat showed no root index entries";
  std::unique_ptr<Volume> volume;
  ASSERT_EQ(Volume::Open(*source_, 0, volume), Status::Ok);
  for (const char* stored : {"$MFT", "$MFTMirr", "$LogFile", "$Volume", "$AttrDef", "$Bitmap", "$Boot", "$BadClus",
                             "$UpCase", "$Extend", "$Secure"}) {
    SCOPED_TRACE(stored);
    std::optional<RootEntry> entry;
    ASSERT_EQ(volume->FindRootEntry(Lower(stored), entry), Status::Ok);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, stored);
    EXPECT_EQ(entry->size, indexed.at(stored));
  }
  for (const char* absent : {"$quota", "$badclust", "$mf", "$mftx", "nothing", "\xff", ""}) {
    SCOPED_TRACE(absent);
    std::optional<RootEntry> entry{RootEntry{"stale", 1}};
    ASSERT_EQ(volume->FindRootEntry(absent, entry), Status::Ok);
    EXPECT_FALSE(entry.has_value());
  }
}

std::string CaseName(const ::testing::TestParamInfo<VolumeCase>& param) {
  std::string name = param.param.image;
  name = name.substr(0, name.find('.'));
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Mkntfs, ImageTest, ::testing::ValuesIn(kVolumes), CaseName);

}  // namespace
}  // namespace ntfs::testing
