#include "core/runtime/Format.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/runtime/RuntimeError.h"

namespace morvel {
namespace {

struct FixedCase {
  double value;
  const char* expected;
};

class FixedTwoDecimals : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedTwoDecimals, RoundsOnDecimalDigits) {
  EXPECT_EQ(Format("%.2f", {GetParam().value}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, FixedTwoDecimals,
                         ::testing::Values(FixedCase{20971519.0 * 512 / 1048576, "10240.00"},
                                           FixedCase{32.125, "32.13"},
                                           FixedCase{-0.125, "-0.13"},
                                           FixedCase{-0.001, "0.00"},
                                           FixedCase{-0.0, "0.00"},
                                           FixedCase{0.0, "0.00"},
                                           FixedCase{0.005, "0.01"},
                                           FixedCase{0.0049, "0.00"},
                                           FixedCase{9.995, "9.99"},  // 9.99499999999999957 at 18 digits
                                           FixedCase{99.999, "100.00"},
                                           FixedCase{1.0 / 3.0, "0.33"},
                                           FixedCase{40.0000153, "40.00"},
                                           FixedCase{0.3125001, "0.31"},
                                           FixedCase{1280.0, "1280.00"},
                                           FixedCase{-12.5, "-12.50"},
                                           FixedCase{8796093022207.999, "8796093022208.00"},
                                           FixedCase{1e-300, "0.00"}));

TEST(Format, DecimalSeparatorComesFromTheLocale) {
  NumberSeparators comma{",", "."};
  EXPECT_EQ(Format("Volume size            : %.2f MB", {10239.9995117}, comma), "Volume size            : 10240,00 MB");
  EXPECT_EQ(Format("%.2f MB (%.2f%% of drive)", {4096.0, 40.0000153}, comma), "4096,00 MB (40,00% of drive)");
}

TEST(Format, IntegersAndTexts) {
  struct Case {
    std::string got;
    const char* expected;
  };
  const Case cases[] = {
      {Format("%d", {std::int64_t{9223372036854775807}}), "9223372036854775807"},
      {Format("%d", {std::numeric_limits<std::int64_t>::min()}), "-9223372036854775808"},
      {Format("%d", {std::uint32_t{4096}}), "4096"},
      {Format("%d", {std::uint32_t{0xFFFFFFFFu}}), "-1"},
      {Format("%d", {std::uint32_t{0x80000000u}}), "-2147483648"},
      {Format("%8d", {std::int32_t{259}}), "     259"},
      {Format("%8d", {static_cast<std::int32_t>(0xC0000022u)}), "-1073741790"},
      {Format("%-11s    %d bytes", {"$MFT", std::int64_t{1024}}), "$MFT           1024 bytes"},
      {Format("%-11s    %d bytes", {"$AttrDefXYZW", std::int64_t{1}}), "$AttrDefXYZW    1 bytes"},
      {Format("\\\\.\\%s:", {"C"}), "\\\\.\\C:"},
      {Format("100%%", {}), "100%"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(Format, MismatchedArgumentsRaise) {
  EXPECT_THROW(Format("%d", {"text"}), RuntimeError);
  EXPECT_THROW(Format("%s", {1.5}), RuntimeError);
  EXPECT_THROW(Format("%d %d", {std::int64_t{1}}), RuntimeError);
  EXPECT_THROW(Format("%q", {std::int64_t{1}}), RuntimeError);
  EXPECT_THROW(Format("50%", {}), RuntimeError);
}

TEST(ErrorReport, AppendsAFullStopAfterLettersOnly) {
  EXPECT_EQ(ErrorReportText("Integer overflow"), "Integer overflow.");
  EXPECT_EQ(ErrorReportText("Done."), "Done.");
  EXPECT_EQ(ErrorReportText("Done!"), "Done!");  // '!' sorts before '.'
  EXPECT_EQ(ErrorReportText(""), "");
  EXPECT_EQ(ErrorReportText("\x82\xa0"), "\x82\xa0.");  // a double-byte character sorts after '.'
}

}  // namespace
}  // namespace morvel
