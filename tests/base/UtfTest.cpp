// The one UTF-8 / UTF-16 codec: well-formed names both ways, ill-formed input refused by the
// strict form and replaced by the replacing one.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/Utf.h"

namespace base {
namespace {

TEST(Utf, ConvertsStrictlyAndWithReplacement) {
  const struct {
    const char* utf8;
    std::u16string utf16;
  } cases[] = {{"$MFT", u"$MFT"},
               {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
               {"\xE2\x82\xAC", u"\u20AC"},
               {"\xF0\x9F\x98\x80", u"\U0001F600"},
               {"", u""}};
  for (const auto& c : cases) {
    std::u16string wide;
    ASSERT_TRUE(TryUtf8ToUtf16(c.utf8, wide)) << c.utf8;
    EXPECT_EQ(wide, c.utf16);
    std::vector<std::uint8_t> le;
    for (char16_t u : wide) le.insert(le.end(), {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8)});
    EXPECT_EQ(Utf16LeToUtf8(le), c.utf8);
  }
  for (const char* bad : {"\xFF", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xC3", "\xF4\x90\x80\x80", "a\x80"}) {
    std::u16string wide;
    EXPECT_FALSE(TryUtf8ToUtf16(bad, wide)) << ::testing::PrintToString(std::string(bad));
  }
  const std::vector<std::uint8_t> lone = {0x00, 0xD8, 0x41, 0x00};  // unpaired high surrogate, "A"
  EXPECT_EQ(Utf16LeToUtf8(lone),
            "\xEF\xBF\xBD"
            "A");
}

}  // namespace
}  // namespace base
