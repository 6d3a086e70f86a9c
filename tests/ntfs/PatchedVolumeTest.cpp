// mkntfs-made volumes patched into shapes mkntfs does not make: $MFT described through an
// attribute list, its data split into two extents with the second kept in an extension record
// (as once $MFT is too fragmented for its own record); a root entry under a DOS name only.
#include <gtest/gtest.h>

#include <functional>

#include "ntfs/BootSector.h"
#include "ntfs/MftScan.h"
#include "ntfs/Ntfs.h"
#include "ntfs/VolumeReader.h"
#include "tests/ntfs/ImageTools.h"
#include "tests/ntfs/RecordPatch.h"
#include "tests/ntfs/Sources.h"

namespace ntfs::testing {
namespace {

std::size_t Align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

// A one-run runlist: `length` clusters at `lcn`.
Block OneRun(std::uint64_t length, std::uint64_t lcn) {
  return {0x41,
          static_cast<std::uint8_t>(length),
          static_cast<std::uint8_t>(lcn),
          static_cast<std::uint8_t>(lcn >> 8),
          static_cast<std::uint8_t>(lcn >> 16),
          static_cast<std::uint8_t>(lcn >> 24),
          0};
}

Block DataExtent(const Block& original, std::uint64_t lowest, std::uint64_t highest, const Block& runs) {
  Block a(Align8(0x40 + runs.size()));
  std::copy(original.begin(), original.begin() + 0x40, a.begin());
  Put(a, 0x04, a.size(), 4);
  Put(a, 0x09, 0, 1);
  Put(a, 0x0A, 0x40, 2);
  Put(a, 0x10, lowest, 8);
  Put(a, 0x18, highest, 8);
  Put(a, 0x20, 0x40, 2);
  if (lowest != 0)  // sizes live in the first extent only
    for (std::size_t at : {0x28u, 0x30u, 0x38u}) Put(a, at, 0, 8);
  std::copy(runs.begin(), runs.end(), a.begin() + 0x40);
  return a;
}

struct ListEntry {
  std::uint32_t type;
  std::uint64_t vcn, record;
};

Block AttributeList(const std::vector<ListEntry>& entries) {
  Block value;
  for (const ListEntry& e : entries) {
    Block entry(0x20);
    Put(entry, 0x00, e.type, 4);
    Put(entry, 0x04, entry.size(), 2);
    Put(entry, 0x07, 0x1A, 1);
    Put(entry, 0x08, e.vcn, 8);
    Put(entry, 0x10, e.record | (std::uint64_t{1} << 48), 8);
    value.insert(value.end(), entry.begin(), entry.end());
  }
  Block a(0x18 + value.size());
  Put(a, 0x00, 0x20, 4);
  Put(a, 0x04, a.size(), 4);
  Put(a, 0x0A, 0x18, 2);
  Put(a, 0x10, value.size(), 4);
  Put(a, 0x14, 0x18, 2);
  std::copy(value.begin(), value.end(), a.begin() + 0x18);
  return a;
}

// Replaces the attributes of an unprotected record.
void SetAttributes(Block& r, const std::vector<Block>& attrs) {
  std::size_t at = Get(r, 0x14, 2);
  for (const Block& a : attrs) {
    std::copy(a.begin(), a.end(), r.begin() + static_cast<std::ptrdiff_t>(at));
    at += a.size();
  }
  Put(r, at, 0xFFFFFFFF, 4);
  Put(r, 0x18, at + 8, 4);
}

struct Split {
  std::uint64_t extensionRecord = 12;  // inside the first extent
  std::uint64_t baseOfExtension = 0;
  std::uint64_t secondVcn = 4;
  std::uint64_t gap = 0;  // clusters missing between the two extents
};

class PatchedVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("mkntfs")) GTEST_SKIP() << "mkntfs (ntfs-3g) is not installed";
    const std::string path = MakeVolume("mftlist.img", "16M", 512, 4096);
    ASSERT_FALSE(path.empty());
    original_ = ReadFile(path);
    ASSERT_EQ(original_.size(), 16u << 20);
    ASSERT_EQ(ParseBootSector(original_, boot_), Status::Ok);
    ASSERT_EQ(boot_.recordSize, 1024u);
  }

  Block Record(const Block& image, std::uint64_t n) const {
    const auto at = static_cast<std::ptrdiff_t>(boot_.mftLcn * boot_.bytesPerCluster + n * boot_.recordSize);
    Block r(image.begin() + at, image.begin() + at + boot_.recordSize);
    Unprotect(r);
    return r;
  }
  void Store(Block& image, std::uint64_t n, Block r) const {
    Protect(r);
    std::copy(r.begin(), r.end(),
              image.begin() + static_cast<std::ptrdiff_t>(boot_.mftLcn * boot_.bytesPerCluster + n * boot_.recordSize));
  }

  // The volume with $MFT's data split at `split.secondVcn`.
  Block SplitMft(const Split& split) const {
    Block image = original_;
    Block base = Record(image, 0);
    std::vector<Block> attrs;
    Block data;
    for (std::size_t at = Get(base, 0x14, 2); Get(base, at, 4) != 0xFFFFFFFF; at += Get(base, at + 4, 4)) {
      Block a(base.begin() + static_cast<std::ptrdiff_t>(at),
              base.begin() + static_cast<std::ptrdiff_t>(at + Get(base, at + 4, 4)));
      if (Get(a, 0, 4) == 0x80) data = a;
      attrs.push_back(a);
    }
    const std::uint64_t highest = Get(data, 0x18, 8);
    EXPECT_GE(highest, 5u);
    const std::uint64_t lcn = boot_.mftLcn;
    for (Block& a : attrs)
      if (Get(a, 0, 4) == 0x80) a = DataExtent(data, 0, split.secondVcn - 1, OneRun(split.secondVcn, lcn));
    const std::uint64_t second = split.secondVcn + split.gap;
    attrs.insert(
        attrs.begin() + 1,
        AttributeList({{0x10, 0, 0}, {0x30, 0, 0}, {0x80, 0, 0}, {0x80, second, split.extensionRecord}, {0xB0, 0, 0}}));
    SetAttributes(base, attrs);
    Store(image, 0, base);
    Block extension = Record(image, split.extensionRecord);
    Put(extension, 0x14, 0x38, 2);
    Put(extension, 0x16, 1, 2);                                                 // in use
    Put(extension, 0x20, split.baseOfExtension | (std::uint64_t{1} << 48), 8);  // base record
    SetAttributes(extension, {DataExtent(data, second, highest, OneRun(highest + 1 - second, lcn + second))});
    Store(image, split.extensionRecord, extension);
    return image;
  }

  // Record `n` made an in-use extension record of `baseReference` holding one $DATA extent.
  void MakeExtension(Block& image, std::uint64_t n, std::uint64_t baseReference) const {
    Block r = Record(image, n);
    Block data(0x48);
    Put(data, 0x00, 0x80, 4);
    Put(data, 0x08, 1, 1);  // non-resident
    Block extension = DataExtent(data, 4, 5, OneRun(2, 100));
    Put(r, 0x14, 0x38, 2);
    Put(r, 0x16, 1, 2);  // in use
    Put(r, 0x20, baseReference, 8);
    SetAttributes(r, {extension});
    Store(image, n, r);
  }

  // The scan of `image`, which must open.
  void Scan(const Block& image, MftScan& scan) const {
    MemorySource source(image);
    VolumeReader reader(source, 0, boot_);
    ASSERT_EQ(reader.LoadMft(), Status::Ok);
    ASSERT_EQ(MftScan::Run(reader, scan), Status::Ok);
  }

  Block original_;
  BootSector boot_;
};

TEST_F(PatchedVolume, MftListFollowedToTheSecondExtent) {
  MemorySource plain(original_);
  std::unique_ptr<Volume> volume;
  ASSERT_EQ(Volume::Open(plain, 0, volume), Status::Ok);
  VolumeData want;
  ASSERT_EQ(volume->QueryVolumeData(want), Status::Ok);

  MemorySource split(SplitMft({}));
  ASSERT_EQ(Volume::Open(split, 0, volume), Status::Ok);
  VolumeData got;
  ASSERT_EQ(volume->QueryVolumeData(got), Status::Ok);
  EXPECT_EQ(got.MftValidDataLength, want.MftValidDataLength);
  EXPECT_EQ(got.MftZoneStart, want.MftZoneStart);
  EXPECT_EQ(got.FreeClusters, want.FreeClusters);
  std::optional<RootEntry> entry;
  ASSERT_EQ(volume->FindRootEntry("$upcase", entry), Status::Ok);
  EXPECT_TRUE(entry.has_value());

  // A record mapped by the second extent only reads back as it is on disk.
  VolumeReader reader(split, 0, boot_);
  ASSERT_EQ(reader.LoadMft(), Status::Ok);
  ASSERT_EQ(reader.mft().runs.size(), 2u);
  Block record;
  ASSERT_EQ(reader.ReadRecord(20, record), Status::Ok);
  EXPECT_EQ(record, Record(original_, 20));
}

TEST_F(PatchedVolume, MftListExtentsOutOfReachOrOutOfLineRejected) {
  const struct {
    const char* what;
    Split split;
    const char* reason;
  } cases[] = {
      {"extension record beyond the first extent",
       {.extensionRecord = 20},
       "$MFT record 20: 1024 bytes at byte 0x5000 lie past the 16384 bytes of its runs"},
      {"extension record of another file",
       {.baseOfExtension = 5},
       "$MFT record 12: extension of record 5, not of 0 (byte 0x20)"},
      {"second extent leaves a gap", {.gap = 1}, "extent starts at VCN 5, not 4 where the one before ends"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Block image = SplitMft(c.split);
    MemorySource source(image);
    std::unique_ptr<Volume> volume;
    const Result r = Volume::Open(source, 0, volume);
    EXPECT_EQ(r.status(), Status::Corrupt);
    EXPECT_NE(r.reason().find(c.reason), std::string::npos) << r.reason();
  }
}

// A file found by its DOS name is reported under its Win32 name, as a directory listing
// shows it. The root index entry of $Boot is marked DOS-only and the name in record 7 is
// changed to "$BOOT", so the two sources of the name can be told apart.
TEST_F(PatchedVolume, DosOnlyEntryReportsTheWin32Name) {
  const Block name = {0x05, 0x03, '$', 0, 'B', 0, 'o', 0, 'o', 0, 't', 0};  // length, namespace, UTF-16
  const std::uint64_t record7 = boot_.mftLcn * boot_.bytesPerCluster + 7 * boot_.recordSize;
  Block image = original_;
  int patched = 0;
  for (auto it = image.begin(); (it = std::search(it, image.end(), name.begin(), name.end())) != image.end(); ++it) {
    const auto at = static_cast<std::uint64_t>(it - image.begin());
    for (std::uint64_t k = 1; k < name.size(); ++k)
      ASSERT_LT((at + k) % 512, 510u) << "a patch would touch an update sequence slot";
    if (at >= record7 && at < record7 + boot_.recordSize) {
      std::copy_n("$\0B\0O\0O\0T\0", 10, it + 2);
    } else {
      it[1] = 0x02;  // DOS namespace
    }
    ++patched;
  }
  ASSERT_GE(patched, 2);
  MemorySource source(image);
  std::unique_ptr<Volume> volume;
  ASSERT_EQ(Volume::Open(source, 0, volume), Status::Ok);
  std::optional<RootEntry> entry;
  ASSERT_EQ(volume->FindRootEntry("$boot", entry), Status::Ok);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->name, "$BOOT");
  EXPECT_EQ(entry->size, 8192u);
}

// The root's index block made to name itself as the child of its last entry: a lookup that
// sorts after every name descends into the same block again and again, and must stop.
TEST_F(PatchedVolume, IndexBlockThatIsItsOwnChildEndsTheLookup) {
  Block image = original_;
  const std::size_t cluster = boot_.bytesPerCluster;
  const Block mftName = {'$', 0, 'M', 0, 'F', 0, 'T', 0};
  std::size_t at = 0;
  for (std::size_t c = 0; c < image.size(); c += cluster) {
    const auto block = image.begin() + static_cast<std::ptrdiff_t>(c);
    if (std::equal(block, block + 4, "INDX") &&
        std::search(block, block + 4096, mftName.begin(), mftName.end()) != block + 4096)
      at = c;
  }
  ASSERT_NE(at, 0u) << "no index block of the root found";
  Block block(image.begin() + static_cast<std::ptrdiff_t>(at), image.begin() + static_cast<std::ptrdiff_t>(at + 4096));
  Unprotect(block);
  ASSERT_EQ(Get(block, 0x10, 8), 0u);  // VCN 0
  const std::size_t header = 0x18;
  std::size_t entry = header + Get(block, header, 4);
  while ((Get(block, entry + 0x0C, 4) & 2) == 0) entry += Get(block, entry + 0x08, 2);
  ASSERT_EQ(Get(block, entry + 0x08, 2), 16u);  // the last entry, without a child
  Put(block, entry + 0x08, 24, 2);
  Put(block, entry + 0x0C, 3, 4);  // last, has a child
  Put(block, entry + 0x10, 0, 8);  // child VCN 0: this very block
  Put(block, header + 0x04, Get(block, header + 0x04, 4) + 8, 4);
  Put(block, header + 0x0C, 1, 1);  // the node has children
  Protect(block);
  std::copy(block.begin(), block.end(), image.begin() + static_cast<std::ptrdiff_t>(at));

  MemorySource source(image);
  std::unique_ptr<Volume> volume;
  ASSERT_EQ(Volume::Open(source, 0, volume), Status::Ok);
  std::optional<RootEntry> entryFound;
  EXPECT_EQ(volume->FindRootEntry("zzz", entryFound).reason(), "root directory's index: deeper than 32 levels");
  EXPECT_FALSE(entryFound.has_value());
  ASSERT_EQ(volume->FindRootEntry("$mft", entryFound), Status::Ok);
  EXPECT_TRUE(entryFound.has_value());
}

// $MFT's second extent, kept in extension record 12, joins $MFT's own stream: the scan's runs
// of $MFT are those the reader loads, and record 12 is no file of its own.
TEST_F(PatchedVolume, ScanJoinsAnExtensionToItsBase) {
  const Block image = SplitMft({});
  MftScan scan;
  Scan(image, scan);
  EXPECT_EQ(scan.ProblemCount(), 0u) << scan.Problems().front().reason;
  const ScannedFile* mft = scan.File(0);
  ASSERT_NE(mft, nullptr);
  EXPECT_EQ(mft->name, "$MFT");
  const auto data = std::ranges::find_if(mft->streams, [](const ScannedStream& s) { return s.type == 0x80; });
  ASSERT_NE(data, mft->streams.end());
  ASSERT_EQ(data->runs.size(), 2u);
  EXPECT_EQ(data->runs[1].vcn, 4u);
  EXPECT_EQ(CountFragments(data->runs), 1u);  // the two runs lie back to back
  EXPECT_EQ(scan.File(12), nullptr);
  EXPECT_TRUE(scan.FlaggedInUse(12));
  EXPECT_EQ(scan.PathOf(0), "/$MFT");
}

// One damage per case: the scan keeps it as a problem of its record and goes on.
TEST_F(PatchedVolume, ScanReportsDamagedRecordsAndGoesOn) {
  const std::uint64_t mftAt = boot_.mftLcn * boot_.bytesPerCluster;
  const struct {
    const char* what;
    std::function<void(Block&)> damage;
    std::uint64_t record;
    const char* reason;
  } cases[] = {
      {"torn update sequence", [&](Block& image) { image[mftAt + 3 * 1024 + 510] ^= 0xFF; }, 3,
       "update sequence mismatch at byte 0x1FE"},
      {"record in use without a signature",
       [&](Block& image) { std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(mftAt + 8 * 1024), 4, 0); }, 8,
       "no FILE signature (byte 0x00), but $MFT's $BITMAP says it is in use"},
      {"runlist outside the volume",
       [&](Block& image) {
         Block r = Record(image, 2);
         for (std::size_t at = Get(r, 0x14, 2); Get(r, at, 4) != 0xFFFFFFFF; at += Get(r, at + 4, 4))
           if (Get(r, at, 4) == 0x80) {
             const std::size_t run = at + Get(r, at + 0x20, 2);  // the first run: its offset's top byte
             r[run + (r[run] & 0x0Fu) + (r[run] >> 4)] = 0x7F;
           }
         Store(image, 2, r);
       },
       2, "lies outside the volume's"},
      {"extension of a record not in use", [&](Block& image) { MakeExtension(image, 12, 20 | (1ull << 48)); }, 12,
       "extension of record 20, which is no base record in use (byte 0x20)"},
      {"extension with another sequence number", [&](Block& image) { MakeExtension(image, 12, 7 | (9ull << 48)); }, 12,
       "extension of record 7 with sequence number 9, but that record has 7 (byte 0x20)"},
  };
  MftScan clean;
  Scan(original_, clean);
  ASSERT_EQ(clean.ProblemCount(), 0u);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Block image = original_;
    c.damage(image);
    MftScan scan;
    Scan(image, scan);
    ASSERT_EQ(scan.Problems().size(), 1u);
    EXPECT_EQ(scan.Problems()[0].record, c.record);
    EXPECT_NE(scan.Problems()[0].reason.find(c.reason), std::string::npos) << scan.Problems()[0].reason;
    EXPECT_NE(scan.File(5), nullptr);  // the scan went on past the damage
    EXPECT_GE(scan.FileCount() + 1, clean.FileCount());
  }
}

// Paths follow the names' parent links: a link to an unknown record or a cycle is shown as such.
TEST_F(PatchedVolume, ScanPathsCutUnknownParentsAndCycles) {
  const struct {
    std::uint64_t parent;  // of $Secure's name
    const char* path;
  } cases[] = {
      {5, "/$Secure"}, {300, "<record 300?>/$Secure"}, {9, "<cycle>/$Secure"}, {8, "<cycle>/$Secure/$BadClus/$Secure"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Block image = original_;
    for (const auto& [record, parent] : {std::pair{9u, c.parent}, std::pair{8u, std::uint64_t{9}}}) {
      if (record == 8 && c.parent != 8) continue;  // $BadClus under $Secure closes a cycle of two
      Block r = Record(image, record);
      for (std::size_t at = Get(r, 0x14, 2); Get(r, at, 4) != 0xFFFFFFFF; at += Get(r, at + 4, 4))
        if (Get(r, at, 4) == 0x30) Put(r, at + Get(r, at + 0x14, 2), parent | (std::uint64_t{1} << 48), 8);
      Store(image, record, r);
    }
    MftScan scan;
    Scan(image, scan);
    EXPECT_EQ(scan.PathOf(9), c.path);
  }
}

TEST(MftScanFragments, AdjacentRunsJoinAndHolesCountForNothing) {
  const struct {
    std::vector<ntfs::Run> runs;
    std::uint64_t fragments;
  } cases[] = {
      {{}, 0},
      {{{0, 10, 5}}, 1},
      {{{0, 10, 5}, {5, 15, 3}}, 1},
      {{{0, 10, 5}, {5, 16, 3}}, 2},
      {{{0, 10, 5}, {5, kSparse, 4}, {9, 15, 1}}, 1},
      {{{0, kSparse, 4}}, 0},
      {{{0, 20, 2}, {2, 10, 2}, {4, 22, 1}}, 3},
  };
  for (const auto& c : cases) EXPECT_EQ(CountFragments(c.runs), c.fragments);
}

}  // namespace
}  // namespace ntfs::testing
