#include <gtest/gtest.h>

#include <cstring>

#include "core/shell/ShellLink.h"

namespace morvel {
namespace {

// An independent reading of the fields written, following the format's documented layout.
struct Reader {
  const std::vector<std::uint8_t>& b;
  std::uint32_t u32(std::size_t at) const {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) v = (v << 8) | b.at(at + i);
    return v;
  }
  std::uint16_t u16(std::size_t at) const { return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }
  std::string ansiz(std::size_t at) const { return std::string(reinterpret_cast<const char*>(&b.at(at))); }
  std::u16string widez(std::size_t at) const {
    std::u16string s;
    for (; u16(at); at += 2) s += static_cast<char16_t>(u16(at));
    return s;
  }
  std::u16string counted(std::size_t& at) const {
    const std::uint16_t n = u16(at);
    std::u16string s;
    for (std::uint16_t i = 0; i < n; ++i) s += static_cast<char16_t>(u16(at + 2 + 2u * i));
    at += 2 + 2u * n;
    return s;
  }
};

TEST(ShellLink, WritesHeaderLinkInfoAndStrings) {
  const auto bytes = WriteShellLink({"C:\\Tools\\MorvelTest.exe", "C:\\Tools", "/starup"});
  const Reader r{bytes};
  EXPECT_EQ(r.u32(0), 0x4Cu);
  const std::uint8_t clsid[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(std::memcmp(bytes.data() + 4, clsid, 16), 0);
  EXPECT_EQ(r.u32(0x14), 0x02u | 0x10u | 0x20u | 0x80u);
  EXPECT_EQ(r.u32(0x3C), 1u);  // show normally

  const std::size_t info = 0x4C;
  const std::uint32_t infoSize = r.u32(info);
  EXPECT_GE(r.u32(info + 4), 0x24u);
  EXPECT_EQ(r.u32(info + 8), 1u);  // VolumeIDAndLocalBasePath
  const std::size_t volume = info + r.u32(info + 12);
  EXPECT_EQ(r.u32(volume + 4), 3u);  // a fixed drive
  EXPECT_EQ(r.ansiz(volume + r.u32(volume + 12)), "");
  EXPECT_EQ(r.ansiz(info + r.u32(info + 16)), "C:\\Tools\\MorvelTest.exe");
  EXPECT_EQ(r.u32(info + 20), 0u);  // no network link
  EXPECT_EQ(r.ansiz(info + r.u32(info + 24)), "");
  EXPECT_EQ(r.widez(info + r.u32(info + 28)), u"C:\\Tools\\MorvelTest.exe");
  EXPECT_EQ(r.widez(info + r.u32(info + 32)), u"");

  std::size_t at = info + infoSize;
  EXPECT_EQ(r.counted(at), u"C:\\Tools");
  EXPECT_EQ(r.counted(at), u"/starup");
  EXPECT_EQ(r.u32(at), 0u);  // terminal block
  EXPECT_EQ(at + 4, bytes.size());
}

TEST(ShellLink, NonAsciiTargetAndMissingFields) {
  const auto bytes = WriteShellLink({"/home/u/\xE8\xA1\xA8/morvel", "", ""});
  const Reader r{bytes};
  EXPECT_EQ(r.u32(0x14), 0x02u | 0x80u);
  const std::size_t info = 0x4C;
  EXPECT_EQ(r.ansiz(info + r.u32(info + 16)), "/home/u/?/morvel");
  EXPECT_EQ(r.widez(info + r.u32(info + 28)), u"/home/u/\u8868/morvel");
  EXPECT_EQ(r.u32(info + r.u32(info)), 0u);
  EXPECT_EQ(info + r.u32(info) + 4, bytes.size());
}

}  // namespace
}  // namespace morvel
