// The consistency check: one fault patched into an mkntfs-made volume per case, found exactly
// and named; healthy volumes, made by mkntfs, filled through ntfs-3g and made by Windows, give no
// finding at all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "disk/Partitions.h"
#include "ntfs/BootSector.h"
#include "ntfs/Check.h"
#include "ntfs/Reason.h"
#include "ntfs/ScanCheck.h"
#include "tests/ntfs/ImageTools.h"
#include "tests/ntfs/RecordPatch.h"
#include "tests/ntfs/Sources.h"

namespace ntfs::testing {
namespace {

std::string Describe(const CheckFindings& findings) {
  std::string text;
  for (const CheckFinding& f : findings) {
    text += f.code + ": " + f.text;
    for (const std::string& note : f.notes) text += " [" + note + "]";
    text += "\n";
  }
  return text;
}

// The volume's bytes and the places of its records, found from the image's own bytes.
struct Image {
  Block bytes;
  BootSector boot;

  std::size_t RecordAt(std::uint64_t lcn, std::uint64_t n) const {
    return lcn * boot.bytesPerCluster + n * boot.recordSize;
  }
  Block Record(std::uint64_t n) const {
    const auto at = static_cast<std::ptrdiff_t>(RecordAt(boot.mftLcn, n));
    Block r(bytes.begin() + at, bytes.begin() + at + boot.recordSize);
    Unprotect(r);
    return r;
  }
  // Stores a record in $MFT, and in $MFTMirr for the records it mirrors, so that only the fault
  // patched in differs from a healthy volume.
  void Store(std::uint64_t n, Block r) {
    Protect(r);
    std::copy(r.begin(), r.end(), bytes.begin() + static_cast<std::ptrdiff_t>(RecordAt(boot.mftLcn, n)));
    if (n < 4)
      std::copy(r.begin(), r.end(), bytes.begin() + static_cast<std::ptrdiff_t>(RecordAt(boot.mftMirrorLcn, n)));
  }
  // Where the first attribute of `type` starts in an unprotected record.
  static std::size_t AttributeAt(const Block& r, std::uint32_t type) {
    for (std::size_t at = Get(r, 0x14, 2); at + 8 < r.size() && Get(r, at, 4) != 0xFFFFFFFF; at += Get(r, at + 4, 4))
      if (Get(r, at, 4) == type) return at;
    ADD_FAILURE() << "no attribute " << type;
    return 0;
  }
  // The first run of record n's first non-resident attribute of `type`: {lcn, length}.
  std::pair<std::uint64_t, std::uint64_t> FirstRun(std::uint64_t n, std::uint32_t type) const {
    const Block r = Record(n);
    const std::size_t a = AttributeAt(r, type);
    const std::size_t run = a + Get(r, a + 0x20, 2);  // +0x20: runlist offset
    const unsigned lengthBytes = r[run] & 0x0F, offsetBytes = r[run] >> 4;
    return {Get(r, run + 1 + lengthBytes, offsetBytes), Get(r, run + 1, lengthBytes)};
  }
  std::size_t BitmapByte(std::uint64_t cluster) const {
    return FirstRun(kBitmapRecord, 0x80).first * boot.bytesPerCluster + cluster / 8;
  }
  bool Used(std::uint64_t cluster) const { return (bytes[BitmapByte(cluster)] >> (cluster % 8)) & 1; }
  void Flip(std::uint64_t cluster) { bytes[BitmapByte(cluster)] ^= static_cast<std::uint8_t>(1u << (cluster % 8)); }
};

CheckFindings Check(Block bytes, std::uint64_t offset = 0) {
  MemorySource source(std::move(bytes));
  CheckFindings findings;
  EXPECT_EQ(CheckVolume(source, offset, findings), Status::Ok);
  return findings;
}

class CheckedVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("mkntfs")) GTEST_SKIP() << "mkntfs (ntfs-3g) is not installed";
    const std::string path = MakeVolume("check.img", "16M", 512, 4096);
    ASSERT_FALSE(path.empty());
    image_.bytes = ReadFile(path);
    ASSERT_EQ(ParseBootSector(image_.bytes, image_.boot), Status::Ok);
  }
  Image image_;
};

TEST_F(CheckedVolume, EachFaultFoundAndNamed) {
  const std::uint64_t total = image_.boot.totalClusters;
  const auto upcase = image_.FirstRun(10, 0x80);
  const auto attrDef = image_.FirstRun(4, 0x80);
  const auto bitmap = image_.FirstRun(kBitmapRecord, 0x80);
  // mkntfs lays $Bitmap right after $AttrDef: a longer $AttrDef run reaches into it.
  ASSERT_EQ(attrDef.first + attrDef.second, bitmap.first);
  const std::uint64_t unowned = total - 2;
  ASSERT_FALSE(image_.Used(unowned));
  const std::uint64_t backupAt = image_.boot.totalSectors * image_.boot.bytesPerSector;

  const struct {
    const char* fault;
    std::function<void(Image&)> patch;
    std::vector<std::pair<std::string, std::string>> findings;  // code, text
  } cases[] = {
      {"none", [](Image&) {}, {}},
      {"a $Bitmap bit cleared under $UpCase",
       [&](Image& i) { i.Flip(upcase.first); },
       {{"claimed-free",
         "clusters claimed but free in $Bitmap, where new data may overwrite them (1 cluster): cluster " +
             Dec(upcase.first) + " (record 10 $DATA)"}}},
      {"a $Bitmap bit set with no owner",
       [&](Image& i) { i.Flip(unowned); },
       {{"lost-clusters", "clusters in use in $Bitmap but claimed by nothing (1 cluster): cluster " + Dec(unowned)}}},
      {"$AttrDef's run one cluster longer, into $Bitmap's",
       [&](Image& i) {
         Block r = i.Record(4);
         const std::size_t a = Image::AttributeAt(r, 0x80);
         Put(r, a + 0x18, Get(r, a + 0x18, 8) + 1, 8);  // +0x18: last VCN
         ++r[a + Get(r, a + 0x20, 2) + 1];              // the run's length, its low byte
         i.Store(4, r);
       },
       {{"cross-linked", "clusters claimed by two attributes (1 cluster): cluster " + Dec(bitmap.first) +
                             " by record 4 $DATA and record 6 $DATA"}}},
      {"$Extend's in-use flag cleared",
       [](Image& i) {
         Block r = i.Record(11);
         Put(r, 0x16, Get(r, 0x16, 2) & ~1u, 2);  // 0x16: flags
         i.Store(11, r);
       },
       {{"record-not-flagged", "records in use in $MFT's $BITMAP but not flagged in use: 11"}}},
      {"$Extend's record torn",
       [](Image& i) { ++i.bytes[i.RecordAt(i.boot.mftLcn, 11) + 0x1FE]; },
       {{"record-damaged",
         "records that cannot be read as they should: $MFT record 11: update sequence mismatch at byte 0x1FE"}}},
      {"the backup boot sector's serial number",
       [&](Image& i) { ++i.bytes[backupAt + 0x48]; },
       {{"boot-backup-differs", "the backup boot sector at byte " + Hex(backupAt) +
                                    " differs from the boot sector at bytes 0x48-0x4F (serial number)"}}},
      {"$MFTMirr's copy of record 2",
       [](Image& i) { ++i.bytes[i.RecordAt(i.boot.mftMirrorLcn, 2) + 0x38]; },
       {{"mftmirr-differs", "$MFTMirr's copy of $MFT record 2 differs from $MFT's at bytes 0x38"}}},
      {"$Volume's dirty flag",
       [](Image& i) {
         Block r = i.Record(3);
         const std::size_t a = Image::AttributeAt(r, 0x70);
         const std::size_t flags = a + Get(r, a + 0x14, 2) + 0x0A;  // +0x14: value offset; value +0x0A: flags
         Put(r, flags, Get(r, flags, 2) | 1, 2);
         i.Store(3, r);
       },
       {{"volume-dirty", "$Volume's dirty flag is set (volume flags 0x01): it was not cleanly unmounted"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    Image patched = image_;
    c.patch(patched);
    const CheckFindings got = Check(patched.bytes);
    std::string want;
    for (const auto& [code, text] : c.findings) want += code + ": " + text + "\n";
    EXPECT_EQ(Describe(got), want);
    for (const CheckFinding& f : got)
      EXPECT_EQ(f.severity, f.code == "volume-dirty" ? CheckFinding::Severity::Warning : CheckFinding::Severity::Error);
  }
}

TEST_F(CheckedVolume, AllocationFaultsOnAnUncleanVolumeMayBeReplayed) {
  Block r = image_.Record(3);
  const std::size_t a = Image::AttributeAt(r, 0x70);
  const std::size_t flags = a + Get(r, a + 0x14, 2) + 0x0A;
  Put(r, flags, Get(r, flags, 2) | 1, 2);
  image_.Store(3, r);
  image_.Flip(image_.boot.totalClusters - 2);
  const CheckFindings got = Check(image_.bytes);
  ASSERT_EQ(got.size(), 2u) << Describe(got);
  EXPECT_TRUE(got[0].notes.empty());
  EXPECT_EQ(got[1].notes, std::vector<std::string>{kReplayNote});
}

// ---- The allocation check's own arithmetic ----

std::string Lines(const CheckFindings& findings) {
  std::string text;
  for (const CheckFinding& f : findings) text += f.code + ": " + f.text + "\n";
  return text;
}

// Overlaps of three claims, a claim past the end, runs that cross chunk boundaries and claims,
// and set bits past the clusters of the last chunk, which are not clusters.
TEST(AllocationCheck, ComparesClaimsWithTheBitmapAcrossChunks) {
  const Block streamName{'s', 0, '\n', 0};
  AllocationCheck check(20);
  check.Claim(0, 4, 30, AttributeLabel(0x80, ""));
  check.Claim(2, 4, 31, AttributeLabel(0x80, streamName));
  check.Claim(3, 1, 32, AttributeLabel(0xA0, Block{'$', 0, 'I', 0, '3', 0, '0', 0}));
  check.Claim(10, 2, 33, "$DATA");
  check.Claim(12, 1, 34, "$DATA");
  check.Claim(18, 4, 35, "$DATA");
  const Block bitmap{0xBF, 0x05, 0xF8};
  EXPECT_EQ(check.Feed(0, base::Bytes(bitmap).first(1), 8), 7u);
  EXPECT_EQ(check.Feed(8, base::Bytes(bitmap).subspan(1, 1), 8), 2u);
  EXPECT_EQ(check.Feed(16, base::Bytes(bitmap).subspan(2, 1), 4), 1u);
  EXPECT_EQ(
      Lines(check.Finish()),
      "claimed-outside: clusters claimed past the volume's 20 clusters (4 clusters): record 35 $DATA at cluster "
      "18 for 4\n"
      "cross-linked: clusters claimed by two attributes (2 clusters): clusters 2-3 by record 30 $DATA and record "
      "31 $DATA:s\\x0a; cluster 3 by record 31 $DATA:s\\x0a and record 32 $INDEX_ALLOCATION:$I30\n"
      "claimed-free: clusters claimed but free in $Bitmap, where new data may overwrite them (2 clusters): "
      "clusters 11-12 (record 33 $DATA)\n"
      "lost-clusters: clusters in use in $Bitmap but claimed by nothing (3 clusters): clusters 7-8, cluster 19\n");

  AllocationCheck many(24);  // every other cluster used and unclaimed: more extents than are listed
  const Block alternate{0x55, 0x55, 0x55};
  EXPECT_EQ(many.Feed(0, alternate, 24), 12u);
  EXPECT_EQ(Lines(many.Finish()),
            "lost-clusters: clusters in use in $Bitmap but claimed by nothing (12 clusters): cluster 0, cluster 2, "
            "cluster 4, cluster 6, cluster 8, cluster 10, cluster 12, cluster 14, cluster 16, cluster 18 and 2 more "
            "(12 in all)\n");
}

// ---- $LogFile's restart pages ----

// A restart page of 4 KiB with its update sequence applied: log version, current LSN, the first
// client in use and the restart area's flags.
Block RestartPage(unsigned major, unsigned minor, std::uint64_t lsn, std::uint16_t clients, std::uint16_t flags) {
  Block p(4096, 0);
  Put(p, 0x00, 0x52545352, 4);  // "RSTR"
  Put(p, 0x04, 0x1E, 2);
  Put(p, 0x06, 9, 2);
  Put(p, 0x10, 4096, 4);
  Put(p, 0x14, 4096, 4);
  Put(p, 0x18, 0x40, 2);
  Put(p, 0x1A, minor, 2);
  Put(p, 0x1C, major, 2);
  Put(p, 0x40, lsn, 8);
  Put(p, 0x40 + 0x0C, clients, 2);
  Put(p, 0x40 + 0x0E, flags, 2);
  Put(p, 0x1E, 7, 2);  // the sequence number
  Protect(p);
  return p;
}

TEST(LogRestart, CleanStateOfTheNewerPage) {
  using Kind = LogState::Kind;
  const auto pages = [](Block a, const Block& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  Block torn = RestartPage(2, 0, 9, 0, 0);
  torn[511] ^= 1;  // a stride whose tail no longer carries the sequence number
  const struct {
    const char* what;
    Block bytes;
    Kind kind;
    std::uint64_t page;
  } cases[] = {
      {"all 0xFF", Block(8192, 0xFF), Kind::Empty, 0},
      {"1.1, no client in use", pages(RestartPage(1, 1, 5, 0xFFFF, 0), RestartPage(1, 1, 4, 0xFFFF, 0)), Kind::Clean,
       0},
      {"2.0, open and clean", pages(RestartPage(2, 0, 5, 0, 2), RestartPage(2, 0, 4, 0, 2)), Kind::Clean, 0},
      {"2.0, open, newer page unclean", pages(RestartPage(2, 0, 5, 0, 2), RestartPage(2, 0, 6, 0, 0)), Kind::Unclean,
       4096},
      {"first page torn, second clean", pages(torn, RestartPage(2, 0, 4, 0, 2)), Kind::Clean, 4096},
      {"version 3.0", pages(RestartPage(3, 0, 5, 0, 2), RestartPage(3, 0, 5, 0, 2)), Kind::Unreadable, 0},
      {"zeros", Block(8192, 0), Kind::Unreadable, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const LogState state = ParseLogRestart(c.bytes);
    EXPECT_EQ(state.kind, c.kind);
    EXPECT_EQ(state.page, c.page);
    EXPECT_EQ(state.reason.empty(), c.kind != Kind::Unreadable);
  }
}

// ---- Healthy volumes ----

TEST(HealthyVolume, MkntfsMadeGiveNoFinding) {
  if (!HaveTool("mkntfs")) GTEST_SKIP() << "mkntfs (ntfs-3g) is not installed";
  const struct {
    const char* size;
    unsigned sector, cluster;
  } cases[] = {{"16M", 512, 512}, {"16M", 512, 4096}, {"24M", 4096, 8192}, {"64M", 512, 65536}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.cluster));
    const std::string path = MakeVolume("healthy.img", c.size, c.sector, c.cluster);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(Describe(Check(ReadFile(path))), "");
  }
}

// Files written through ntfs-3g's FUSE mount: small and large, fragmented by interleaved
// appends, sparse, compressed (with holes inside compression units), a directory large enough for
// an index allocation, some deleted again.
TEST(HealthyVolume, FilledThroughNtfs3gGivesNoFinding) {
  if (getuid() != 0 || !HaveTool("mkntfs") || !HaveTool("mount.ntfs-3g")) GTEST_SKIP() << "needs root and ntfs-3g";
  const std::string path = MakeVolume("filled.img", "32M", 512, 4096);
  ASSERT_FALSE(path.empty());
  const std::string dir = ImageDir() + "/filled.mnt." + std::to_string(getpid());
  if (!Shell("mkdir -p '" + dir + "' && mount -o loop,compression '" + path + "' '" + dir + "' 2>/dev/null"))
    GTEST_SKIP() << "mounting through ntfs-3g failed";
  const bool filled =
      Shell("cd '" + dir +
            "' && mkdir many && for i in $(seq 1 300); do echo $i > many/file$i; done && "
            "for i in $(seq 1 40); do head -c 8192 /dev/urandom >> a; head -c 4096 /dev/urandom >> b; done && "
            "dd if=/dev/urandom of=sparse bs=4096 count=2 seek=1000 status=none && head -c 3000000 /dev/zero > big && "
            "rm many/file1* b && mkdir z && setfattr -n system.ntfs_attrib_be -v 0x00000810 z && "
            "yes text | head -c 300000 > z/text && head -c 100000 /dev/urandom > z/mixed && "
            "yes text | head -c 70000 >> z/mixed");
  const bool unmounted = Shell("umount '" + dir + "' && rmdir '" + dir + "'");
  ASSERT_TRUE(filled);
  ASSERT_TRUE(unmounted);
  EXPECT_EQ(Describe(Check(ReadFile(path))), "");
}

// Volumes Windows made, shipped by Debian's forensics-samples-ntfs and -multiple: every NTFS
// partition of each disk.
TEST(HealthyVolume, WindowsMadeGiveNoFinding) {
  int checked = 0;
  for (const std::string name : {"fs.ntfs", "fs.multiple"}) {
    const std::string packed = "/usr/share/forensics-samples/" + name + ".xz";
    const std::string path = ImageDir() + "/" + name;
    if (!Shell("test -f '" + packed + "'")) continue;
    ASSERT_TRUE(Shell("test -f '" + path + "' || xz -dc '" + packed + "' > '" + path + "'"));
    FileSource source(path);
    std::vector<disk::Partition> partitions;
    ASSERT_EQ(disk::ListPartitions(source, &HasNtfsSignature, partitions), disk::Status::Ok);
    for (const disk::Partition& p : partitions) {
      if (!p.looksNtfs) continue;
      SCOPED_TRACE(name + " partition " + std::to_string(p.number));
      CheckFindings findings;
      EXPECT_EQ(CheckVolume(source, p.offset, findings), Status::Ok);
      EXPECT_EQ(Describe(findings), "");
      ++checked;
    }
  }
  if (checked == 0) GTEST_SKIP() << "forensics-samples-ntfs is not installed";
}

}  // namespace
}  // namespace ntfs::testing
