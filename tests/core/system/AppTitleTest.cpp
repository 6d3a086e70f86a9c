#include <gtest/gtest.h>

#include <string>

#include "core/system/AppTitle.h"

namespace morvel {
namespace {

// Shift-JIS lead bytes: 0x81-0x9F and 0xE0-0xFC.
bool ShiftJisLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Marks what was handed over for lower-casing.
std::string Bracketed(std::string text) { return "[" + text + "]"; }

struct TitleCase {
  std::string path;
  LeadBytePredicate isLeadByte;
  LowerCaseFunction lowerCase;
  std::string expected;
};

class ApplicationTitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(ApplicationTitleTest, DerivesTitleFromModuleFileName) {
  const TitleCase& c = GetParam();
  EXPECT_EQ(ApplicationTitle(c.path, c.isLeadByte, c.lowerCase), c.expected) << c.path;
}

// 0x95 0x5C is one Shift-JIS character whose second byte is the code of "\".
const std::string kKanjiWithBackslashByte = "\x95\x5C";
// Full-width "A" in Shift-JIS.
const std::string kFullWidthA = "\x82\x60";

INSTANTIATE_TEST_SUITE_P(
    Names, ApplicationTitleTest,
    ::testing::Values(TitleCase{R"(C:\Tools\VOLREPORT.EXE)", NoLeadBytes, AsciiLowerCase, "Volreport"},
                      TitleCase{R"(D:\x\my.tool.exe)", NoLeadBytes, AsciiLowerCase, "my"},
                      TitleCase{R"(Z:\work\build\MorvelTest.exe)", NoLeadBytes, AsciiLowerCase, "Morveltest"},
                      TitleCase{"NOPATH.EXE", NoLeadBytes, AsciiLowerCase, "Nopath"},
                      TitleCase{R"(C:\dir.with.dots\PROG)", NoLeadBytes, AsciiLowerCase, "Prog"},
                      TitleCase{R"(C:\Tools\.hidden)", NoLeadBytes, AsciiLowerCase, ""},
                      TitleCase{R"(C:\Tools\)", NoLeadBytes, AsciiLowerCase, ""},
                      TitleCase{"", NoLeadBytes, AsciiLowerCase, ""},
                      // Only what follows the first character is lower-cased.
                      TitleCase{R"(C:\Tools\VOLREPORT.EXE)", NoLeadBytes, Bracketed, "V[OLREPORT]"},
                      TitleCase{R"(C:\x\Q.exe)", NoLeadBytes, Bracketed, "Q[]"},
                      // A double-byte first character is kept whole.
                      TitleCase{"C:\\" + kFullWidthA + "BC.EXE", ShiftJisLeadByte, Bracketed, kFullWidthA + "[BC]"},
                      // A second byte equal to "\" is no delimiter when the code page has double-byte
                      // characters, and is one when it has not.
                      TitleCase{"C:\\x\\A" + kKanjiWithBackslashByte + ".exe", ShiftJisLeadByte, AsciiLowerCase,
                                "A" + kKanjiWithBackslashByte},
                      TitleCase{"C:\\x\\A" + kKanjiWithBackslashByte + "Z.exe", NoLeadBytes, AsciiLowerCase, "Z"},
                      // The same for a second byte equal to ".".
                      TitleCase{"C:\\x\\AB\x81.C.exe", [](unsigned char b) { return b == 0x81; }, AsciiLowerCase,
                                "Ab\x81.c"},
                      TitleCase{"C:\\x\\AB\x81.C.exe", NoLeadBytes, AsciiLowerCase, "Ab\x81"}));

TEST(ApplicationTitle, OnlyTheFirst255BytesOfTheModuleNameCount) {
  // "C:\" + 249 letters + "\" ends at byte 253; bytes 254 and 255 are "AB".
  const std::string path = "C:\\" + std::string(249, 'd') + "\\ABCDEFG.EXE";
  ASSERT_EQ(path.find('\\', 3), 252u);
  EXPECT_EQ(ApplicationTitle(path), "Ab");
}

}  // namespace
}  // namespace morvel
