// The boot sector: one valid sector, the encodings it may use, and one-field mutations that
// must each be rejected with a given status.
#include <gtest/gtest.h>

#include <cstring>

#include "ntfs/BootSector.h"
#include "ntfs/Ntfs.h"
#include "tests/ntfs/Sources.h"

namespace ntfs::testing {
namespace {

void Put(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// 8 MiB volume: 512-byte sectors, 4 KiB clusters, 1 KiB records, 4 KiB index blocks.
std::vector<std::uint8_t> ValidBootSector() {
  std::vector<std::uint8_t> b(512);
  std::memcpy(b.data(), "\xEB\x52\x90NTFS    ", 11);
  Put(b, 0x0B, 512, 2);
  b[0x0D] = 8;
  b[0x15] = 0xF8;
  Put(b, 0x28, 16383, 8);
  Put(b, 0x30, 4, 8);
  Put(b, 0x38, 1023, 8);
  b[0x40] = 0xF6;
  b[0x44] = 1;
  Put(b, 0x48, 0x1122334455667788ull, 8);
  Put(b, 0x1FE, 0xAA55, 2);
  return b;
}

TEST(BootSector, DecodesTheValidSector) {
  BootSector boot;
  ASSERT_EQ(ParseBootSector(ValidBootSector(), boot), Status::Ok);
  EXPECT_EQ(boot.bytesPerSector, 512u);
  EXPECT_EQ(boot.bytesPerCluster, 4096u);
  EXPECT_EQ(boot.clusterShift, 12u);
  EXPECT_EQ(boot.totalSectors, 16383u);
  EXPECT_EQ(boot.totalClusters, 2047u);
  EXPECT_EQ(boot.mftLcn, 4u);
  EXPECT_EQ(boot.mftMirrorLcn, 1023u);
  EXPECT_EQ(boot.recordSize, 1024u);
  EXPECT_EQ(boot.indexBlockSize, 4096u);
  EXPECT_EQ(boot.serialNumber, 0x1122334455667788ull);
}

struct Encoding {
  std::uint16_t sector;
  std::uint8_t spc, record, index;
  std::uint32_t cluster, recordSize, indexSize;
};

TEST(BootSector, DecodesClusterAndRecordEncodings) {
  const Encoding cases[] = {
      {256, 1, 0xF6, 0xF4, 256, 1024, 4096},        {512, 1, 0x02, 0x08, 512, 1024, 4096},
      {512, 0x80, 0xF6, 0xF4, 65536, 1024, 4096},   {512, 0xF8, 0xF6, 0xF4, 131072, 1024, 4096},
      {512, 0xF4, 0xF6, 0xF4, 2097152, 1024, 4096}, {4096, 0xF7, 0xF4, 0xF4, 2097152, 4096, 4096},
      {4096, 1, 0x01, 0x01, 4096, 4096, 4096},      {512, 1, 0xF7, 0xF0, 512, 512, 65536},
      {1024, 16, 0x04, 0x01, 16384, 65536, 16384},
  };
  for (const Encoding& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.sector << "/" << int{c.spc} << "/" << int{c.record});
    auto b = ValidBootSector();
    Put(b, 0x0B, c.sector, 2);
    b[0x0D] = c.spc;
    b[0x40] = c.record;
    b[0x44] = c.index;
    Put(b, 0x28, 1ull << 32, 8);
    BootSector boot;
    ASSERT_EQ(ParseBootSector(b, boot), Status::Ok);
    EXPECT_EQ(boot.bytesPerCluster, c.cluster);
    EXPECT_EQ(boot.recordSize, c.recordSize);
    EXPECT_EQ(boot.indexBlockSize, c.indexSize);
  }
}

struct Mutation {
  const char* what;
  std::size_t at;
  std::uint64_t value;
  unsigned bytes;
  Status expected;
  const char* reason;  // a part of it
};

// Each mutation goes through Volume::Open over a source 8 MiB long: the whole volume fits,
// so the status comes from the mutated field alone.
TEST(BootSector, RejectsEveryInvalidFieldAndSaysWhich) {
  const Mutation cases[] = {
      {"OEM id", 0x03, 'X', 1, Status::NotNtfs, "boot sector: no NTFS signature (bytes 0x03 to 0x0A)"},
      {"OEM id padding", 0x0A, 0, 1, Status::NotNtfs, "no NTFS signature"},
      {"sector size 0", 0x0B, 0, 2, Status::NotNtfs,
       "boot sector: bytes per sector 0 is not a power of two (byte 0x0B)"},
      {"sector size 100", 0x0B, 100, 2, Status::NotNtfs, "bytes per sector 100 is not a power of two"},
      {"sector size 128", 0x0B, 128, 2, Status::NotNtfs, "bytes per sector 128 is outside 256 to 4096 (byte 0x0B)"},
      {"sector size 384", 0x0B, 384, 2, Status::NotNtfs, "bytes per sector 384 is not a power of two"},
      {"sector size 8192", 0x0B, 8192, 2, Status::NotNtfs, "bytes per sector 8192 is outside 256 to 4096"},
      {"sectors per cluster 0", 0x0D, 0, 1, Status::NotNtfs,
       "sectors per cluster 0x00 is no valid encoding (byte 0x0D)"},
      {"sectors per cluster 3", 0x0D, 3, 1, Status::NotNtfs, "sectors per cluster 0x03 is no valid encoding"},
      {"sectors per cluster 2^127", 0x0D, 0x81, 1, Status::NotNtfs, "sectors per cluster 0x81 is no valid encoding"},
      {"cluster of 4 MiB", 0x0D, 0xF3, 1, Status::NotNtfs, "cluster of 4194304 bytes exceeds 2 MiB (byte 0x0D)"},
      {"no sectors", 0x28, 0, 8, Status::NotNtfs, "sector count 0 is zero or beyond 2^63 bytes (byte 0x28)"},
      {"fewer sectors than a cluster", 0x28, 7, 8, Status::NotNtfs, "sector count 7 is less than one cluster"},
      {"byte count beyond 2^63", 0x28, 1ull << 62, 8, Status::NotNtfs, "sector count 4611686018427387904 is zero or"},
      {"record size 0", 0x40, 0, 1, Status::NotNtfs,
       "clusters per file record 0x00 gives 0 bytes, not a power of two from 512 to 65536 (byte 0x40)"},
      {"record of 256 bytes", 0x40, 0xF8, 1, Status::NotNtfs, "clusters per file record 0xF8 gives 256 bytes"},
      {"record of 128 KiB", 0x40, 0xEF, 1, Status::NotNtfs, "clusters per file record 0xEF gives 131072 bytes"},
      {"record of 2^-128 encoding", 0x40, 0x80, 1, Status::NotNtfs, "clusters per file record 0x80 gives 0 bytes"},
      {"record of 3 clusters", 0x40, 3, 1, Status::NotNtfs, "clusters per file record 0x03 gives 12288 bytes"},
      {"record of 32 clusters", 0x40, 32, 1, Status::NotNtfs, "clusters per file record 0x20 gives 131072 bytes"},
      {"index block size 0", 0x44, 0, 1, Status::NotNtfs, "clusters per index block 0x00 gives 0 bytes"},
      {"index block of 6 clusters", 0x44, 6, 1, Status::NotNtfs, "index block 0x06 gives 24576 bytes"},
      {"MFT at the last cluster + 1", 0x30, 2047, 8, Status::Corrupt,
       "boot sector: $MFT cluster 2047 lies past the last cluster 2046 (byte 0x30)"},
      {"MFT far past the end", 0x30, ~0ull, 8, Status::Corrupt, "$MFT cluster 18446744073709551615 lies past"},
      {"mirror past the end", 0x38, 2047, 8, Status::Corrupt, "$MFTMirr cluster 2047 lies past the last cluster 2046"},
      {"volume larger than its source", 0x28, (8u << 20) / 512 + 1, 8, Status::Corrupt,
       "16385 sectors (8389120 bytes) exceed the 8388608 bytes of the source (byte 0x28)"},
      {"MFT record unreadable: nothing there", 0x30, 100, 8, Status::Corrupt,
       "$MFT record 0: no FILE signature (byte 0x00)"},
  };
  for (const Mutation& m : cases) {
    SCOPED_TRACE(m.what);
    MemorySource source(std::vector<std::uint8_t>(8u << 20));
    auto boot = ValidBootSector();
    Put(boot, m.at, m.value, m.bytes);
    std::memcpy(source.bytes().data(), boot.data(), boot.size());
    std::unique_ptr<Volume> volume;
    const Result r = Volume::Open(source, 0, volume);
    EXPECT_EQ(r.status(), m.expected) << r;
    EXPECT_NE(r.reason().find(m.reason), std::string::npos) << r.reason();
    EXPECT_EQ(volume, nullptr);
  }
}

class FailingSource : public ByteSource {
 public:
  std::uint64_t Size() const override { return 1u << 20; }
  bool ReadAt(std::uint64_t, std::span<std::uint8_t>) override { return false; }
};

TEST(BootSector, SourceTooSmallOrUnreadable) {
  MemorySource tiny(std::vector<std::uint8_t>(511));
  std::unique_ptr<Volume> volume;
  EXPECT_EQ(Volume::Open(tiny, 0, volume).reason(), "boot sector: the source has fewer than 512 bytes from byte 0x00");
  MemorySource exact(ValidBootSector());
  EXPECT_EQ(Volume::Open(exact, 1, volume), Status::NotNtfs);  // 511 bytes left after the offset
  EXPECT_EQ(Volume::Open(exact, ~0ull, volume), Status::NotNtfs);
  FailingSource failing;
  const Result r = Volume::Open(failing, 0, volume);
  EXPECT_EQ(r.status(), Status::IoError);
  EXPECT_EQ(r.reason(), "boot sector: reading 512 bytes at byte 0x00 failed");
  EXPECT_EQ(volume, nullptr);
}

}  // namespace
}  // namespace ntfs::testing
