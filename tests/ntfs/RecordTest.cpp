// File records, update sequences, attributes, runlists, the reads of a stream through its runs
// and the bit counting of $Bitmap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>

#include "ntfs/Index.h"
#include "ntfs/Record.h"
#include "ntfs/Runlist.h"
#include "ntfs/Stream.h"
#include "tests/ntfs/Sources.h"

namespace ntfs::testing {
namespace {

void Put(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr std::size_t kUsa = 0x30, kFirst = 0x38, kData = 0x98, kEnd = 0xE0;

// A 1 KiB record as written to disk: a resident $STANDARD_INFORMATION at 0x38, a
// non-resident unnamed $DATA of 8 clusters at LCN 4 at 0x98, the end marker at 0xE0, and
// update sequence number 7 in the last two bytes of both 512-byte strides.
std::vector<std::uint8_t> ValidRecord() {
  std::vector<std::uint8_t> r(1024);
  std::memcpy(r.data(), "FILE", 4);
  Put(r, 0x04, kUsa, 2);
  Put(r, 0x06, 3, 2);
  Put(r, 0x14, kFirst, 2);
  Put(r, 0x16, 1, 2);
  Put(r, 0x18, kEnd + 8, 4);
  Put(r, 0x1C, 1024, 4);
  Put(r, kUsa, 7, 2);
  Put(r, kUsa + 2, 0xAAAA, 2);  // the original bytes of both stride ends
  Put(r, kUsa + 4, 0xBBBB, 2);
  Put(r, 510, 7, 2);
  Put(r, 1022, 7, 2);
  Put(r, kFirst + 0x00, 0x10, 4);  // $STANDARD_INFORMATION
  Put(r, kFirst + 0x04, 0x60, 4);
  Put(r, kFirst + 0x10, 0x48, 4);
  Put(r, kFirst + 0x14, 0x18, 2);
  Put(r, kData + 0x00, 0x80, 4);  // $DATA
  Put(r, kData + 0x04, 0x48, 4);
  r[kData + 0x08] = 1;
  Put(r, kData + 0x0A, 0x40, 2);
  Put(r, kData + 0x18, 7, 8);  // VCNs 0..7
  Put(r, kData + 0x20, 0x40, 2);
  Put(r, kData + 0x28, 8 * 4096, 8);
  Put(r, kData + 0x30, 30000, 8);
  Put(r, kData + 0x38, 20000, 8);
  Put(r, kData + 0x40, 0x00040811, 4);  // one run: 8 clusters at LCN 4
  Put(r, kEnd, 0xFFFFFFFF, 4);
  return r;
}

Result Parse(std::vector<std::uint8_t> r, std::vector<Attribute>& attrs) {
  if (Result s = ApplyFixups(r, kFileMagic); !s.ok()) return s;
  FileRecordHeader header;
  if (Result s = ParseFileRecord(r, header, attrs); !s.ok()) return s;
  for (const Attribute& a : attrs) {
    std::vector<ntfs::Run> runs;
    if (a.nonResident)
      if (Result s = DecodeRunlist(a.runlist, a.lowestVcn, a.highestVcn, 1000, runs, a.runlistOffset); !s.ok())
        return s;
  }
  return {};
}

TEST(FileRecord, ParsesTheValidRecord) {
  auto r = ValidRecord();
  ASSERT_EQ(ApplyFixups(r, kFileMagic), Status::Ok);
  EXPECT_EQ(base::Le16(r, 510), 0xAAAA);
  EXPECT_EQ(base::Le16(r, 1022), 0xBBBB);
  FileRecordHeader header;
  std::vector<Attribute> attrs;
  ASSERT_EQ(ParseFileRecord(r, header, attrs), Status::Ok);
  ASSERT_EQ(attrs.size(), 2u);
  EXPECT_EQ(attrs[0].type, 0x10u);
  EXPECT_EQ(attrs[0].value.size(), 0x48u);
  EXPECT_TRUE(attrs[1].nonResident);
  EXPECT_TRUE(NameIs(attrs[1].name, ""));
  EXPECT_EQ(attrs[1].highestVcn, 7);
  EXPECT_EQ(attrs[1].dataSize, 30000u);
  EXPECT_EQ(attrs[1].initializedSize, 20000u);
}

struct RecordMutation {
  const char* what;
  std::size_t at;
  std::uint64_t value;
  unsigned bytes;
  const char* reason;  // a part of it
};

TEST(FileRecord, RejectsEveryInconsistentFieldAndSaysWhich) {
  const RecordMutation cases[] = {
      {"signature", 0x00, 'X', 1, "no FILE signature (byte 0x00)"},
      {"sequence number torn in stride 1", 510, 8, 2, "update sequence mismatch at byte 0x1FE"},
      {"sequence number torn in stride 2", 1022, 6, 2, "update sequence mismatch at byte 0x3FE"},
      {"update sequence too short", 0x06, 2, 2, "update sequence of 2 entries, not 3 (byte 0x06)"},
      {"update sequence too long", 0x06, 4, 2, "update sequence of 4 entries, not 3"},
      {"update sequence offset odd", 0x04, kUsa + 1, 2, "update sequence offset 0x31 is out of place (byte 0x04)"},
      {"update sequence inside the header", 0x04, 6, 2, "update sequence offset 0x06 is out of place"},
      {"update sequence over the stride end", 0x04, 506, 2, "update sequence offset 0x1FA is out of place"},
      {"allocated size not the record size", 0x1C, 2048, 4,
       "allocated size 2048 is not the record size 1024 (byte 0x1C)"},
      {"used size past the record", 0x18, 1028, 4, "used size 1028 exceeds the record (byte 0x18)"},
      {"used size cuts the end marker", 0x18, kEnd + 2, 4, "no end marker before the used size 0xE2"},
      {"first attribute inside the header", 0x14, 0x10, 2, "first attribute offset 0x10 is out of place (byte 0x14)"},
      {"first attribute misaligned", 0x14, kFirst + 4, 2, "first attribute offset 0x3C is out of place"},
      {"first attribute past used size", 0x14, kEnd + 8, 2, "first attribute offset 0xE8 is out of place"},
      {"attribute length 0", kFirst + 0x04, 0, 4, "attribute length 0 at byte 0x3C is invalid"},
      {"attribute length misaligned", kFirst + 0x04, 0x5C, 4, "attribute length 92 at byte 0x3C is invalid"},
      {"attribute past the used size", kData + 0x04, 0x200, 4, "attribute length 512 at byte 0x9C"},
      {"attribute length 2^32 - 8", kData + 0x04, 0xFFFFFFF8, 4, "attribute length 4294967288 at byte 0x9C"},
      {"resident value past the attribute", kFirst + 0x10, 0x49, 4,
       "attribute at byte 0x38: value of 73 bytes at offset 0x18 runs past the attribute's 96 bytes (byte 0x48)"},
      {"resident value offset past the attribute", kFirst + 0x14, 0x68, 2,
       "value of 72 bytes at offset 0x68 runs past"},
      {"name past the attribute", kData + 0x09, 20, 1,
       "attribute at byte 0x98: name of 20 units at offset 0x40 runs past the attribute (byte 0xA1)"},
      {"runlist offset past the attribute", kData + 0x20, 0x50, 2,
       "runlist offset 0x50 lies outside the attribute (byte 0xB8)"},
      {"runlist offset inside the header", kData + 0x20, 0x38, 2, "runlist offset 0x38 lies outside the attribute"},
      {"highest VCN before lowest", kData + 0x10, 9, 8,
       "highest VCN 0x07 is before the lowest 9 or beyond 2^62 (byte 0xB0)"},
      {"VCN of 2^62", kData + 0x18, 1ull << 62, 8, "highest VCN 0x4000000000000000 is before"},
      {"runlist shorter than its VCNs", kData + 0x18, 8, 8, "runlist at byte 0xD8 covers VCNs to 8, not to 9"},
      {"runlist longer than its VCNs", kData + 0x18, 6, 8,
       "run at byte 0xD8: length 8 is not within the 7 clusters left of the extent"},
      {"run past the volume", kData + 0x40, 0x03E60821, 4, "run at byte 0xD8 lies outside the volume's 1000 clusters"},
      {"run length field past the attribute", kData + 0x40, 0x00000018, 4, "run at byte 0xD8 runs past the attribute"},
  };
  std::vector<Attribute> attrs;
  ASSERT_EQ(Parse(ValidRecord(), attrs), Status::Ok);
  for (const RecordMutation& m : cases) {
    SCOPED_TRACE(m.what);
    auto r = ValidRecord();
    Put(r, m.at, m.value, m.bytes);
    const Result got = Parse(r, attrs);
    EXPECT_EQ(got.status(), Status::Corrupt);
    EXPECT_NE(got.reason().find(m.reason), std::string::npos) << got.reason();
  }
}

struct RunCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
  std::int64_t highestVcn;
  Status expected;
  const char* reason;  // a part of it
  std::vector<ntfs::Run> runs;
};

TEST(Runlist, DecodesAndBoundsEveryRun) {
  const std::uint64_t total = 1000;
  const RunCase cases[] = {
      {"one run", {0x11, 0x08, 0x04, 0x00}, 7, Status::Ok, "", {{0, 4, 8}}},
      {"backwards offset", {0x11, 0x04, 0x20, 0x11, 0x04, 0xF0, 0x00}, 7, Status::Ok, "", {{0, 32, 4}, {4, 16, 4}}},
      {"hole between runs",
       {0x11, 0x02, 0x10, 0x01, 0x03, 0x11, 0x01, 0x01, 0x00},
       5,
       Status::Ok,
       "",
       {{0, 16, 2}, {2, kSparse, 3}, {5, 17, 1}}},
      {"two-byte length and offset", {0x22, 0xE8, 0x03, 0x00, 0x00, 0x00}, 999, Status::Ok, "", {{0, 0, 1000}}},
      {"ends with the attribute, no terminator", {0x11, 0x08, 0x04}, 7, Status::Ok, "", {{0, 4, 8}}},
      {"empty extent", {0x00}, -1, Status::Ok, "", {}},
      {"offset field cut off", {0x21, 0x08, 0x04}, 7, Status::Corrupt, "run at byte 0x00 runs past the attribute", {}},
      {"length field cut off", {0x18, 0x08}, 7, Status::Corrupt, "run at byte 0x00 runs past the attribute", {}},
      {"length of 9 bytes",
       {0x19, 1, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0},
       0,
       Status::Corrupt,
       "run at byte 0x00: header 0x19 gives no valid field sizes",
       {}},
      {"offset of 9 bytes",
       {0x91, 1, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       0,
       Status::Corrupt,
       "header 0x91 gives no valid field sizes",
       {}},
      {"length 0",
       {0x11, 0x00, 0x04, 0x00},
       7,
       Status::Corrupt,
       "run at byte 0x00: length 0 is not within the 8 clusters left of the extent",
       {}},
      {"negative length", {0x11, 0xF8, 0x04, 0x00}, 7, Status::Corrupt, "length -8 is not within", {}},
      {"no length nibble", {0x10, 0x04, 0x00}, 7, Status::Corrupt, "header 0x10 gives no valid field sizes", {}},
      {"before cluster 0",
       {0x11, 0x04, 0x02, 0x11, 0x04, 0xFD, 0x00},
       7,
       Status::Corrupt,
       "run at byte 0x03 lies outside the volume's 1000 clusters",
       {}},
      {"most negative offset",
       {0x11, 0x04, 0x02, 0x81, 0x04, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00},
       7,
       Status::Corrupt,
       "run at byte 0x03 lies outside",
       {}},
      {"at the last cluster + 1",
       {0x21, 0x01, 0xE8, 0x03, 0x00},
       0,
       Status::Corrupt,
       "run at byte 0x00 lies outside",
       {}},
      {"over the volume's end",
       {0x21, 0x02, 0xE7, 0x03, 0x00},
       1,
       Status::Corrupt,
       "run at byte 0x00 lies outside",
       {}},
      {"huge offset",
       {0x81, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x00},
       0,
       Status::Corrupt,
       "lies outside the volume's 1000 clusters",
       {}},
      {"more clusters than VCNs",
       {0x11, 0x09, 0x04, 0x00},
       7,
       Status::Corrupt,
       "length 9 is not within the 8 clusters",
       {}},
      {"fewer clusters than VCNs",
       {0x11, 0x07, 0x04, 0x00},
       7,
       Status::Corrupt,
       "runlist at byte 0x00 covers VCNs to 7, not to 8",
       {}},
      {"huge hole",
       {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00},
       7,
       Status::Corrupt,
       "length 9223372036854775807 is not within the 8 clusters",
       {}},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<ntfs::Run> runs;
    const Result r = DecodeRunlist(c.bytes, 0, c.highestVcn, total, runs, 0);
    ASSERT_EQ(r.status(), c.expected) << r;
    EXPECT_NE(r.reason().find(c.reason), std::string::npos) << r.reason();
    if (c.expected != Status::Ok) continue;
    ASSERT_EQ(runs.size(), c.runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].vcn, c.runs[i].vcn);
      EXPECT_EQ(runs[i].lcn, c.runs[i].lcn);
      EXPECT_EQ(runs[i].length, c.runs[i].length);
    }
  }
}

TEST(Runlist, StopsAtTheRunLimit) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i <= kMaxRuns; ++i) bytes.insert(bytes.end(), {0x01, 0x01});  // one-cluster holes
  std::vector<ntfs::Run> runs;
  EXPECT_EQ(DecodeRunlist(bytes, 0, static_cast<std::int64_t>(kMaxRuns), 10, runs, 0).reason(),
            "run at byte 0x20000: the stream has more than 65536 runs");
}

constexpr std::uint32_t kShift = 9;  // 512-byte clusters

// 64 clusters, each byte telling its place.
std::vector<std::uint8_t> PatternedDisk() {
  std::vector<std::uint8_t> disk(64 * 512);
  for (std::size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
  return disk;
}

// Two runs, a hole between them and a run read past its valid data.
Stream StreamOfRunsAndAHole() {
  Stream stream;
  stream.runs = {{0, 3, 2}, {2, kSparse, 3}, {5, 40, 4}, {9, 11, 5}};
  stream.dataSize = 14 * 512;
  stream.initializedSize = 7 * 512 + 100;  // inside the run at LCN 40
  return stream;
}

// A stream of runs on the disk, a hole and a run read past its valid data, in chunks of every
// kind of size: the chunks come in order, each inside one run and no longer than asked, and
// together they are the bytes ReadStream reads.
TEST(Stream, ChunksAreTheBytesOfTheRunsInOrder) {
  const std::vector<std::uint8_t> disk = PatternedDisk();
  MemorySource source(disk);
  Disk volume(source, 0, disk.size());
  const Stream stream = StreamOfRunsAndAHole();
  const std::uint64_t runStarts[] = {0, 2 * 512, 5 * 512, 9 * 512, 14 * 512};
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{300}, std::size_t{512}, std::size_t{4096}}) {
    for (const std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{77}, std::uint64_t{2 * 512}}) {
      const std::uint64_t length = stream.dataSize - offset - 5;
      std::vector<std::uint8_t> want(static_cast<std::size_t>(length)), got;
      ASSERT_TRUE(ReadStream(volume, stream, kShift, offset, want).ok());
      std::uint64_t next = offset;
      const Result r =
          ReadStreamChunks(volume, stream, kShift, offset, length, chunk, [&](std::uint64_t at, base::Bytes bytes) {
            EXPECT_EQ(at, next);
            EXPECT_LE(bytes.size(), chunk);
            const auto run = std::upper_bound(std::begin(runStarts), std::end(runStarts), at);
            EXPECT_LE(at + bytes.size(), *run) << "a chunk crosses a run's end";
            got.insert(got.end(), bytes.begin(), bytes.end());
            next = at + bytes.size();
          });
      ASSERT_TRUE(r.ok()) << r;
      EXPECT_EQ(got, want) << "chunks of " << chunk << " from " << offset;
    }
  }
  EXPECT_EQ(ReadStreamChunks(volume, stream, kShift, 0, 14 * 512 + 1, 512, [](std::uint64_t, base::Bytes) {}).reason(),
            "7169 bytes at byte 0x00 lie past the 7168 bytes of its runs");
  MemorySource unreadable({});
  Disk broken(unreadable, 0, disk.size());
  EXPECT_EQ(ReadStreamChunks(broken, stream, kShift, 0, 1024, 512, [](std::uint64_t, base::Bytes) {}).status(),
            Status::IoError);
}

// Read ahead on another thread, the chunks are still the stream's bytes in order, each at
// offset + k * chunk; a read that fails ends the call after the chunks before it, and a
// consumer that throws stops the reader.
TEST(Stream, ChunksReadAheadAreTheBytesOfTheRunsInOrder) {
  const std::vector<std::uint8_t> disk = PatternedDisk();
  MemorySource source(disk);
  Disk volume(source, 0, disk.size());
  const Stream stream = StreamOfRunsAndAHole();
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{300}, std::size_t{512}, std::size_t{4096}}) {
    const std::uint64_t offset = 77, length = stream.dataSize - offset - 5;
    std::vector<std::uint8_t> want(static_cast<std::size_t>(length)), got;
    ASSERT_TRUE(ReadStream(volume, stream, kShift, offset, want).ok());
    const Result r = ReadStreamAhead(volume, stream, kShift, offset, length, chunk,
                                     [&](std::uint64_t at, std::span<std::uint8_t> b) {
                                       EXPECT_EQ(at, offset + got.size());
                                       EXPECT_EQ(b.size(), std::min<std::uint64_t>(chunk, length - got.size()));
                                       got.insert(got.end(), b.begin(), b.end());
                                     });
    ASSERT_TRUE(r.ok()) << r;
    EXPECT_EQ(got, want) << "chunks of " << chunk;
  }
  MemorySource shortened(std::vector<std::uint8_t>(disk.begin(), disk.begin() + 41 * 512));
  Disk cut(shortened, 0, disk.size());  // the run at LCN 40 cannot be read whole
  std::uint64_t consumed = 0;
  const Result failed = ReadStreamAhead(cut, stream, kShift, 0, stream.dataSize, 512,
                                        [&](std::uint64_t, std::span<std::uint8_t> b) { consumed += b.size(); });
  EXPECT_EQ(failed.status(), Status::IoError);
  EXPECT_EQ(consumed, 6u * 512);  // the first run, the hole and the run's first cluster
  EXPECT_THROW((void)ReadStreamAhead(volume, stream, kShift, 0, stream.dataSize, 512,
                                     [](std::uint64_t, std::span<std::uint8_t>) { throw std::runtime_error("stop"); }),
               std::runtime_error);
}

}  // namespace
}  // namespace ntfs::testing
