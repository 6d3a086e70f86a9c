// Control characters from names and paths are shown escaped, in either encoding.
#include <gtest/gtest.h>

#include "base/Text.h"

namespace base {
namespace {

TEST(Text, EscapesEveryControlCharacter) {
  const struct {
    std::string_view in;
    TextEncoding encoding;
    const char* shown;
  } cases[] = {
      {"$MFT", TextEncoding::Utf8, "$MFT"},
      {"a\x1b]0;x\x07z", TextEncoding::Utf8, "a\\x1b]0;x\\x07z"},
      {std::string_view("\r\n\0\x7f", 4), TextEncoding::Utf8, "\\x0d\\x0a\\x00\\x7f"},
      {"\xC2\x85\xC2\x9B\xC2\xA0", TextEncoding::Utf8, "\\u0085\\u009b\xC2\xA0"},             // C1, then NBSP
      {"\xE2\x80\xAEtxt.exe\xE2\x81\xA6\xE2\x81\xA9", TextEncoding::Utf8, "\\u202etxt.exe\\u2066\\u2069"},
      {"\xE2\x80\xAD\xE2\x80\xAF", TextEncoding::Utf8, "\\u202d\xE2\x80\xAF"},              // U+202F stays
      {"\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 a\\x", TextEncoding::Utf8, "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 a\\x"},
      {"\x9b" "2J\xC3", TextEncoding::Utf8, "\\x9b2J\\xc3"},                                 // ill-formed bytes
      {"\x82\xa0\x9b\x1b", TextEncoding::Ansi, "\x82\xa0\x9b\\x1b"},                        // ANSI: bytes stay
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.in, c.encoding), c.shown) << c.shown;
}

TEST(Text, TrimsMessageTails) {
  EXPECT_EQ(TrimMessageTail("The system cannot find the file specified. \r\n"), "The system cannot find the file specified");
  EXPECT_EQ(TrimMessageTail("..."), "");
}

}  // namespace
}  // namespace base
