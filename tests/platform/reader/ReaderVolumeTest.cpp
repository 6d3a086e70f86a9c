#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <utility>

#include "core/report/VolumeQuery.h"
#include "platform/reader/CachedByteSource.h"
#include "platform/reader/ReaderVolume.h"
#include "tests/platform/reader/MemorySource.h"

namespace morvel {
namespace {

using testing::MemorySource;
using testing::NtfsBootSectorBytes;
using testing::ScriptedNtfs;

class ReaderVolumeTest : public ::testing::Test {
 protected:
  void SetUp() override { ScriptedNtfs::Reset(); }

  static ReaderVolume Readable(bool failReads = false, ContentDescriber describe = nullptr) {
    SourceOpening opening;
    opening.source = std::make_unique<MemorySource>(NtfsBootSectorBytes(), failReads);
    return ReaderVolume(std::move(opening), {}, std::move(describe), &ScriptedNtfs::Open);
  }
};

TEST_F(ReaderVolumeTest, ReaderResultsBecomeTheStatusesWindowsUsesWithTheirReasons) {
  const struct {
    ntfs::Status open, query;
    std::uint32_t status;
    const char* reason;
  } cases[] = {
      {ntfs::Status::Ok, ntfs::Status::Ok, 0, ""},
      {ntfs::Status::NotNtfs, ntfs::Status::Ok, 0xC0000010u, "boot sector torn"},
      {ntfs::Status::Corrupt, ntfs::Status::Ok, 0xC0000102u, "boot sector torn"},
      {ntfs::Status::IoError, ntfs::Status::Ok, 0xC0000185u, "boot sector torn"},
      {ntfs::Status::Ok, ntfs::Status::Corrupt, 0xC0000102u, "query refused"},
      {ntfs::Status::Ok, ntfs::Status::IoError, 0xC0000185u, "query refused"},
  };
  for (const auto& c : cases) {
    ScriptedNtfs::openStatus = c.open;
    ScriptedNtfs::queryStatus = c.query;
    ScriptedNtfs::data.NumberSectors = 0x0102030405060708;
    ReaderVolume volume = Readable();
    const VolumeQuery query = volume.QueryVolumeData();
    EXPECT_EQ(static_cast<std::uint32_t>(query.status), c.status);
    EXPECT_EQ(query.reason, c.reason);
    EXPECT_EQ(query.ok(), c.status == 0);
    if (query.ok()) {
      EXPECT_EQ(query.data.NumberSectors, 0x0102030405060708);
    }
  }
}

TEST_F(ReaderVolumeTest, OpenFailuresCarryTheErrnoTextWhereTheProgramLookedAndWhatWasFound) {
  SourceOpening missing;
  missing.result = base::ErrnoFailure(ENOENT);
  missing.where = "no link x::";
  int described = 0;
  ReaderVolume volume(std::move(missing), {}, [&](base::ByteSource* source, int) {
    ++described;
    return source == nullptr ? "nothing to read" : "?";
  });
  const VolumeQuery query = QueryNtfsVolumeData(volume);
  EXPECT_EQ(query.ErrorLine(), "Error opening volume:No such file or directory");
  EXPECT_EQ(query.where, "no link x::");
  EXPECT_EQ(query.detected, "nothing to read");
  // A partition that does not exist is an open failure too.
  SourceOpening whole;
  whole.source = std::make_unique<MemorySource>(NtfsBootSectorBytes());
  ReaderVolume partition(std::move(whole), PartitionChoice{9}, nullptr, &ScriptedNtfs::Open);
  EXPECT_EQ(partition.QueryVolumeData().outcome, VolumeQuery::Outcome::OpenFailed);
  EXPECT_EQ(described, 1);
}

TEST_F(ReaderVolumeTest, OnlyAVolumeThatIsNotNtfsIsDescribed) {
  for (const auto status : {ntfs::Status::NotNtfs, ntfs::Status::Corrupt, ntfs::Status::Ok}) {
    ScriptedNtfs::openStatus = status;
    ReaderVolume volume =
        Readable(false, [](base::ByteSource* source, int) { return source != nullptr ? "exFAT file system" : ""; });
    EXPECT_EQ(volume.QueryVolumeData().detected, status == ntfs::Status::NotNtfs ? "exFAT file system" : "");
  }
}

TEST_F(ReaderVolumeTest, LookupsShareOneParseAndSayWhyTheyCouldNotLook) {
  ScriptedNtfs::entries["$mft"] = {"$MFT", 0x123456789ull};
  ReaderVolume volume = Readable();
  ASSERT_TRUE(volume.QueryVolumeData().ok());
  const MetaDataListing listing = FindMetaDataFiles(volume);
  ASSERT_EQ(listing.files.size(), 1u);
  EXPECT_EQ(listing.files[0].name, "$MFT");
  EXPECT_EQ(listing.files[0].size, 0x123456789);
  EXPECT_EQ(ScriptedNtfs::opens, 1);

  ScriptedNtfs::findStatus = ntfs::Status::Corrupt;
  EXPECT_EQ(FindMetaDataFiles(volume).failure, "$mft: index torn");
  SourceOpening unreadable;
  unreadable.result = base::ErrnoFailure(EIO);
  ReaderVolume absent(std::move(unreadable), {});
  EXPECT_EQ(absent.FindMetaDataFile("$mft").reason, "opening the drive: Input/output error");
}

// Reads of another source, counted byte by byte.
class RecordingSource final : public base::ByteSource {
 public:
  RecordingSource(base::ByteSource& source, std::vector<std::uint8_t>& reads) : source_(source), reads_(reads) {}
  std::uint64_t Size() const override { return source_.Size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    for (std::size_t i = 0; i < out.size() && offset + i < reads_.size(); ++i) ++reads_[offset + i];
    return source_.ReadAt(offset, out);
  }

 private:
  base::ByteSource& source_;
  std::vector<std::uint8_t>& reads_;
};

// One report with its listing, map, analysis and details reads every byte of the volume at most
// once: the MFT scan shares what the query read, and the bitmap pass counts the free extents.
TEST(ReaderVolumeReads, AReportWithItsMapAnalysisAndDetailsReadsNoByteTwice) {
  std::ifstream file(MORVEL_SAMPLE_IMAGE, std::ios::binary);
  MemorySource image(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {}));
  ASSERT_GT(image.Size(), 1u << 20);
  std::vector<std::uint8_t> reads(image.Size());
  SourceOpening opening;
  opening.source = std::make_unique<RecordingSource>(image, reads);
  ReaderVolume volume(std::move(opening), {});
  ASSERT_TRUE(volume.RequestClusterMap(256));
  ASSERT_TRUE(volume.RequestScan({.analyze = true}));
  const VolumeQuery query = QueryNtfsVolumeData(volume);
  ASSERT_TRUE(query.ok());
  EXPECT_EQ(FindMetaDataFiles(volume).files.size(), 9u);
  std::string reason;
  EXPECT_TRUE(volume.TakeClusterMap(reason)) << reason;
  const std::optional<VolumeScan> scan = volume.TakeScan(reason);
  ASSERT_TRUE(scan && scan->analysis) << reason;
  EXPECT_EQ(scan->analysis->freeExtents.clusters, static_cast<std::uint64_t>(query.data.FreeClusters));
  EXPECT_EQ(scan->analysis->files + scan->analysis->directories, scan->analysis->recordsFound);
  EXPECT_EQ(scan->analysis->problemCount, 0u);
  VolumeDetails details;
  EXPECT_TRUE(volume.ReadDetails(details).ok());
  for (std::size_t at = 0; at < reads.size(); ++at) ASSERT_LE(reads[at], 1) << "byte " << at << " read again";
}

// The cache reads the blocks of one read that it does not keep with one read of its source, and
// keeps them: reads that overlap cost the source only the blocks not read before.
TEST(ReaderVolumeReads, TheCacheReadsTheBlocksItLacksTogether) {
  std::vector<std::uint8_t> bytes(10 * 4096 + 100);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
  struct Counted final : base::ByteSource {
    explicit Counted(std::vector<std::uint8_t> b) : memory(std::move(b)) {}
    std::uint64_t Size() const override { return memory.Size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
      reads.emplace_back(offset, out.size());
      return memory.ReadAt(offset, out);
    }
    MemorySource memory;
    std::vector<std::pair<std::uint64_t, std::size_t>> reads;
  };
  auto counted = std::make_unique<Counted>(bytes);
  const Counted& source = *counted;
  CachedByteSource cache(std::move(counted));
  const struct {
    std::uint64_t offset;
    std::size_t size;
    std::pair<std::uint64_t, std::size_t> read;  // of the source
  } cases[] = {{5000, 7000, {4096, 8192}}, {8000, 9000, {12288, 8192}}, {40800, 200, {36864, 4196}}};
  for (const auto& c : cases) {
    std::vector<std::uint8_t> out(c.size);
    ASSERT_TRUE(cache.ReadAt(c.offset, out));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(c.offset)));
    ASSERT_FALSE(source.reads.empty());
    EXPECT_EQ(source.reads.back(), c.read) << c.offset;
  }
  EXPECT_EQ(source.reads.size(), 3u);
}

}  // namespace
}  // namespace morvel
