// The facts of mkntfs-made volumes: the label given to mkntfs, $Volume's flags as the test
// patches them, and hiberfil.sys files copied in by ntfscp with the headers the test writes.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "ntfs/VolumeFacts.h"
#include "tests/ntfs/ImageTools.h"
#include "tests/ntfs/Sources.h"

namespace ntfs::testing {
namespace {

using Block = std::vector<std::uint8_t>;

std::uint64_t Get(const Block& b, std::size_t at, unsigned bytes) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < bytes; ++i) v |= std::uint64_t{b[at + i]} << (8 * i);
  return v;
}

// Sets the flags of $VOLUME_INFORMATION in record 3, found by the test's own walk of the
// record; false when the field is not where a plain edit can reach it.
bool PatchVolumeFlags(const std::string& image, std::uint16_t flags) {
  const Block boot = ReadFile(image, 512);
  if (boot.size() < 512) return false;
  const std::uint64_t cluster = Get(boot, 0x0B, 2) * Get(boot, 0x0D, 1);
  const auto perRecord = static_cast<std::int8_t>(boot[0x40]);
  const std::uint64_t recordSize =
      perRecord < 0 ? std::uint64_t{1} << -perRecord : static_cast<std::uint64_t>(perRecord) * cluster;
  const std::uint64_t record = Get(boot, 0x30, 8) * cluster + 3 * recordSize;
  const Block r = ReadFile(image, record + recordSize);
  if (r.size() < record + recordSize) return false;
  for (std::size_t at = record + Get(r, record + 0x14, 2); at + 8 < record + recordSize;) {
    if (Get(r, at, 4) == 0xFFFFFFFF) return false;
    if (Get(r, at, 4) == 0x70) {
      const std::size_t field = at + Get(r, at + 0x14, 2) + 0x0A;
      if ((field - record) % 512 >= 510) return false;  // under the update sequence
      std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(static_cast<std::streamoff>(field));
      const char bytes[2] = {static_cast<char>(flags & 0xFF), static_cast<char>(flags >> 8)};
      return static_cast<bool>(f.write(bytes, 2));
    }
    at += Get(r, at + 4, 4);
  }
  return false;
}

std::string MakeLabelled(const std::string& name, const std::string& label) {
  const std::string path = ImageDir() + "/" + name;
  const bool made = Shell("rm -f '" + path + "' && truncate -s 16M '" + path + "' && LC_ALL=C.UTF-8 mkntfs -F -Q -L '" +
                          label + "' -p 0 -H 0 -S 0 '" + path + "' >/dev/null 2>&1");
  return made ? path : std::string();
}

bool CopyIn(const std::string& image, const std::string& bytes, const std::string& name) {
  const std::string local = image + ".file";
  std::ofstream(local, std::ios::binary) << bytes;
  return Shell("ntfscp -f '" + image + "' '" + local + "' '" + name + "' >/dev/null 2>&1");
}

TEST(VolumeFacts, LabelFlagsAndHibernation) {
  if (!HaveTool("mkntfs") || !HaveTool("ntfscp")) GTEST_SKIP() << "mkntfs and ntfscp (ntfs-3g) are needed";
  struct Case {
    const char* label;
    std::uint16_t flags;
    std::optional<std::string> hiberfil;
    Hibernation hibernation;
    const char* signature;
  };
  const std::string header(4096, '\0');
  const Case cases[] = {
      {"Plain", 0, std::nullopt, Hibernation::NoFile, ""},
      {"Daten \xCE\xA9\x1B[2J", kVolumeDirty, "hibr" + header, Hibernation::Hibernated, "hibr"},
      {"x", kVolumeDirty | kVolumeModifiedByChkdsk, "HIBR" + header, Hibernation::Hibernated, "HIBR"},
      {"Resumed", kVolumeUpgradeOnMount, "wake" + header, Hibernation::NotHibernated, "wake"},
      {"Tiny", 0, std::string("hi"), Hibernation::NotHibernated, ""},  // resident, shorter than a header
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string image = MakeLabelled("facts" + std::to_string(n++) + ".img", c.label);
    ASSERT_FALSE(image.empty());
    // ntfscp refuses a dirty volume, and one whose $MFT no longer matches its mirror: copy first.
    if (c.hiberfil) {
      ASSERT_TRUE(CopyIn(image, *c.hiberfil, "hiberfil.sys"));
    }
    ASSERT_TRUE(PatchVolumeFlags(image, c.flags));
    FileSource source(image);
    VolumeFacts facts;
    ASSERT_EQ(ReadVolumeFacts(source, 0, facts), Status::Ok);
    EXPECT_EQ(facts.label, c.label);
    EXPECT_EQ(facts.majorVersion, 3);
    EXPECT_EQ(facts.minorVersion, 1);
    EXPECT_EQ(facts.flags, c.flags);
    EXPECT_EQ(facts.hibernation, c.hibernation);
    EXPECT_EQ(facts.hibernationSignature, c.signature);
    EXPECT_EQ(facts.serialNumber, Get(ReadFile(image, 512), 0x48, 8));  // 0x48: serial number
    EXPECT_EQ(facts.mftExtents, 1u);                                    // mkntfs writes $MFT in one piece
  }
}

TEST(VolumeFacts, FlagNames) {
  EXPECT_EQ(VolumeFlagNames(0), std::vector<std::string>{});
  EXPECT_EQ(
      VolumeFlagNames(kVolumeDirty | kVolumeRepairObjectIds | 0x0100 | kVolumeModifiedByChkdsk),
      (std::vector<std::string>{"dirty (chkdsk scheduled)", "repair object IDs", "0x0100", "modified by chkdsk"}));
}

TEST(VolumeFacts, NotAVolume) {
  MemorySource zeros(Block(64 * 1024, 0));
  VolumeFacts facts;
  EXPECT_EQ(ReadVolumeFacts(zeros, 0, facts), Status::NotNtfs);
  EXPECT_EQ(ReadVolumeFacts(zeros, 1 << 20, facts), Status::NotNtfs);
}

}  // namespace
}  // namespace ntfs::testing
