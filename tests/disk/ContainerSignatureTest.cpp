// Containers told by their signatures alone, as the build without their libraries tells them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "disk/ContainerSignature.h"
#include "tests/ntfs/Sources.h"

namespace disk::testing {
namespace {

constexpr std::size_t kSize = 64 * 512;

struct Case {
  const char* name;
  std::size_t at;  // where `magic` is written; kSize - 512 + n for the last sector
  std::string magic;
  ContainerFormat format;
  std::uint32_t version;
  bool fixedVhd;
  const char* text;
};

// A VHD footer's disk type (0x3C, big-endian) after "conectix".
std::string Footer(std::uint8_t type) {
  std::string footer = std::string("conectix") + std::string(0x3C - 8, '\0');
  return footer + std::string("\0\0\0", 3) + static_cast<char>(type);
}

TEST(ContainerSignature, EachFormatByItsSignatureAlone) {
  using namespace std::string_literals;
  const std::size_t last = kSize - 512;
  const Case cases[] = {
      {"raw", 0, "\xeb\x52\x90NTFS    "s, ContainerFormat::None, 0, false, "raw data"},
      {"E01", 0, "EVF\x09\x0d\x0a\xff\x00"s, ContainerFormat::Ewf, 1, false, "an EWF (E01) disk image"},
      {"Ex01", 0, "EVF2\x0d\x0a\x81\x00"s, ContainerFormat::Ewf, 2, false, "an EWF2 (Ex01) disk image"},
      {"VHDX", 0, "vhdxfile"s, ContainerFormat::Vhdx, 0, false, "a VHDX disk image"},
      {"VMDK extent", 0, "KDMV"s, ContainerFormat::Vmdk, 0, false, "a VMDK disk image"},
      {"VMDK descriptor", 0, "# Disk DescriptorFile\n"s, ContainerFormat::Vmdk, 0, false, "a VMDK disk image"},
      {"QCOW2", 0, "QFI\xfb\0\0\0\x03"s, ContainerFormat::Qcow, 3, false, "a QCOW2 disk image"},
      {"QCOW1", 0, "QFI\xfb\0\0\0\x01"s, ContainerFormat::Qcow, 1, false, "a QCOW disk image"},
      {"VDI", 0x40, "\x7f\x10\xda\xbe"s, ContainerFormat::Vdi, 0, false, "a VDI disk image"},
      {"fixed VHD", last, Footer(2), ContainerFormat::Vhd, 2, true, "a fixed VHD disk image"},
      {"dynamic VHD", last, Footer(3), ContainerFormat::Vhd, 3, false, "a VHD disk image"},
      {"dynamic VHD, footer copy only", 0, Footer(3), ContainerFormat::Vhd, 0, false, "a VHD disk image"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes(kSize);
    std::memcpy(bytes.data() + c.at, c.magic.data(), c.magic.size());
    ntfs::testing::MemorySource source(std::move(bytes));
    Container found;
    ASSERT_TRUE(RecogniseContainer(source, found));
    EXPECT_EQ(found.format, c.format);
    EXPECT_EQ(found.version, c.version);
    EXPECT_EQ(found.fixedVhd, c.fixedVhd);
    EXPECT_EQ(DescribeContainer(found), c.text);
  }
}

TEST(ContainerSignature, TooSmallIsRawButForAVmdkDescriptorAndAFailedReadIsSaid) {
  Container found{ContainerFormat::Qcow, 2, false};
  ntfs::testing::MemorySource tiny(std::vector<std::uint8_t>(100));
  EXPECT_TRUE(RecogniseContainer(tiny, found));
  EXPECT_EQ(found.format, ContainerFormat::None);
  const std::string text = "# Disk DescriptorFile\nversion=1\n";
  ntfs::testing::MemorySource descriptor(std::vector<std::uint8_t>(text.begin(), text.end()));
  EXPECT_TRUE(RecogniseContainer(descriptor, found));
  EXPECT_EQ(found.format, ContainerFormat::Vmdk);
  // Claims a size it cannot deliver: every read fails.
  struct Failing final : base::ByteSource {
    std::uint64_t Size() const override { return kSize; }
    bool ReadAt(std::uint64_t, std::span<std::uint8_t>) override { return false; }
  } failing;
  EXPECT_FALSE(RecogniseContainer(failing, found));
}

TEST(ContainerSignature, BitLockerByItsOemName) {
  std::vector<std::uint8_t> sector(512);
  std::memcpy(sector.data() + 3, "-FVE-FS-", 8);
  EXPECT_TRUE(HasBitLockerSignature(sector));
  std::memcpy(sector.data() + 3, "NTFS    ", 8);
  EXPECT_FALSE(HasBitLockerSignature(sector));
  EXPECT_FALSE(HasBitLockerSignature(base::Bytes(sector.data(), 8)));
}

}  // namespace
}  // namespace disk::testing
