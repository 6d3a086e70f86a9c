// What a source holds when it holds no NTFS volume, told by signatures alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "disk/ContainerSignature.h"
#include "disk/Signatures.h"
#include "tests/ntfs/Sources.h"

namespace disk::testing {
namespace {

using namespace std::string_literals;
using Patches = std::vector<std::pair<std::size_t, std::string>>;

constexpr std::size_t kImage = 128 * 1024;  // reaches the btrfs superblock and a 64 KiB swap page
constexpr std::size_t kMiB = 1024 * 1024;

std::string Le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
  return s;
}

// A FAT boot sector of 512-byte sectors and two FATs.
struct Bpb {
  std::uint32_t sectorsPerCluster = 1, reserved = 1, rootEntries = 0, total16 = 0, fatSize16 = 0, total32 = 0,
                fatSize32 = 0, rootCluster = 0;
  std::size_t typeAt = 0x36;
  std::string type = "";
};

Patches Fat(const Bpb& b) {
  return {{0x0B, Le(512, 2) + Le(b.sectorsPerCluster, 1) + Le(b.reserved, 2) + "\x02" + Le(b.rootEntries, 2) +
                     Le(b.total16, 2) + "\xf8" + Le(b.fatSize16, 2)},
          {0x20, Le(b.total32, 4) + Le(b.fatSize32, 4)},
          {0x2C, Le(b.rootCluster, 4)},
          {b.typeAt, b.type},
          {510, "\x55\xaa"}};
}

// An ext superblock at 1024, with these compatible and incompatible features; and a fixed VHD's footer after it.
Patches Ext(std::uint32_t compat, std::uint32_t incompat, bool inFixedVhd = false) {
  Patches p{{1024 + 0x38, Le(0xEF53, 2)}, {1024 + 0x5C, Le(compat, 4) + Le(incompat, 4)}};
  if (inFixedVhd) p.insert(p.end(), {{kImage - 512, "conectix"}, {kImage - 512 + 0x3C, Le(2u << 24, 4)}});
  return p;
}

TEST(Signatures, EachSignatureByItsBytes) {
  const Bpb fat16{.sectorsPerCluster = 4, .reserved = 4, .rootEntries = 512, .fatSize16 = 200, .total32 = 200000};
  const auto typed = [](Bpb b, std::string type) { return b.type = std::move(type), Fat(b); };
  std::string noise(kImage, '\0');
  std::generate(noise.begin(), noise.end(), [random = std::mt19937(7)]() mutable { return char(random() | 1); });
  const struct {
    const char* name;
    std::size_t size;
    Patches patches;
    std::string text;
  } cases[] = {
      {"FAT12", kImage, Fat({.rootEntries = 224, .total16 = 2880, .fatSize16 = 9, .type = "FAT12   "}),
       "FAT12 file system"},
      {"FAT16", kImage, typed(fat16, "FAT16   "), "FAT16 file system"},
      {"FAT16, generic type", kImage, typed(fat16, "FAT     "), "FAT16 file system"},
      {"FAT16 layout, FAT12 type", kImage, typed(fat16, "FAT12   "), ""},
      {"FAT16 layout, too many clusters", kImage, Fat({.rootEntries = 512, .fatSize16 = 256, .total32 = 100000}), ""},
      {"FAT32", kImage,
       Fat({.sectorsPerCluster = 8,
            .reserved = 32,
            .total32 = 2000000,
            .fatSize32 = 1950,
            .rootCluster = 2,
            .typeAt = 0x52,
            .type = "FAT32   "}),
       "FAT32 file system"},
      {"FAT12 in 600 bytes", 600, Fat({.rootEntries = 16, .total16 = 64, .fatSize16 = 1}), "FAT12 file system"},
      {"NTFS",
       kImage,
       {{0, "\xeb\x52\x90NTFS    " + Le(512, 2) + "\x08"s + std::string(7, '\0') + "\xf8"},
        {0x18, Le(63, 2) + Le(255, 2)},
        {0x24, Le(0x00800080, 4) + Le(16383, 8) + Le(4, 8)},
        {510, "\x55\xaa"}},
       ""},
      {"exFAT", kImage, {{3, "EXFAT   "}, {0x6C, "\x09"}, {510, "\x55\xaa"}}, "exFAT file system"},
      {"ext2", kImage, Ext(0x38, 0x2), "ext2 file system"},
      {"ext3", kImage, Ext(0x3C, 0x2), "ext3 file system"},
      {"ext4", kImage, Ext(0x3C, 0x2C2), "ext4 file system"},
      {"ext4 in a fixed VHD", kImage, Ext(0x3C, 0x2C2, true), "ext4 file system"},
      {"btrfs", kImage, {{0x10040, "_BHRfS_M"}}, "btrfs file system"},
      {"LUKS", kImage, {{0, "LUKS\xba\xbe\0\x02"s}}, "LUKS-encrypted volume"},
      {"BitLocker", kImage, {{3, "-FVE-FS-"}, {510, "\x55\xaa"}}, kBitLockerText},
      {"swap, 4 KiB pages", kImage, {{4096 - 10, "SWAPSPACE2"}}, "Linux swap space"},
      {"swap, 64 KiB pages", kImage, {{65536 - 10, "SWAP-SPACE"}}, "Linux swap space"},
      {"ISO 9660", kImage, {{0x8001, "CD001"}}, "ISO 9660 file system"},
      {"QCOW2", kImage, {{0, "QFI\xfb\0\0\0\x03"s}}, "a QCOW2 disk image, which this build cannot read"},
      {"random bytes", kImage, {{0, noise}}, ""},
      {"no bytes", 0, {}, "empty (all zeros)"},
      {"600 zeros", 600, {}, "empty (all zeros)"},
      {"1 MiB of zeros", kMiB, {}, "empty (all zeros)"},
      {"zeros, data after 1 MiB", 2 * kMiB, {{kMiB, "x"}}, "no known file system (its first 1 MiB are all zeros)"},
      {"zeros, data at 1 MiB - 1", 2 * kMiB, {{kMiB - 1, "x"}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes(c.size);
    for (const auto& [at, data] : c.patches) std::memcpy(bytes.data() + at, data.data(), data.size());
    ntfs::testing::MemorySource source(std::move(bytes));
    EXPECT_EQ(DescribeSignature(source), c.text);
  }
}

TEST(Signatures, ReadsABoundedAmountAndNothingFromAFailingSource) {
  struct Zeros final : base::ByteSource {  // a terabyte of zeros
    std::uint64_t Size() const override { return std::uint64_t{1} << 40; }
    bool ReadAt(std::uint64_t, std::span<std::uint8_t> out) override {
      std::fill(out.begin(), out.end(), std::uint8_t{0});
      read += out.size();
      return !failing;
    }
    std::uint64_t read = 0;
    bool failing = false;
  } zeros;
  EXPECT_EQ(DescribeSignature(zeros), "no known file system (its first 1 MiB are all zeros)");
  EXPECT_LE(zeros.read, kMiB + 8 * 1024);
  zeros.failing = true;
  EXPECT_EQ(DescribeSignature(zeros), "");
}

}  // namespace
}  // namespace disk::testing
