#include <gtest/gtest.h>

#include <limits>

#include "core/design/Dpi.h"

namespace morvel {
namespace {

TEST(Dpi, ScalesByDpiOver96RoundingHalfAwayFromZero) {
  const struct {
    std::int32_t value, dpi, scaled;
  } cases[] = {
      {604, 96, 604},
      {-13, 96, -13},
      {0, 0, 0},
      {75, -1, 75},  // 96 and nonsense DPIs: the design
      {604, 120, 755},
      {41, 120, 51},
      {-13, 120, -16},
      {25, 144, 38},
      {-13, 144, -20},
      {75, 192, 150},
      {-27, 192, -54},
      {1, 48, 1},
      {-1, 48, -1},  // halves round away from zero
      {std::numeric_limits<std::int32_t>::max(), 192, std::numeric_limits<std::int32_t>::max()},
      {std::numeric_limits<std::int32_t>::min(), 192, std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& c : cases) EXPECT_EQ(ScaleForDpi(c.value, c.dpi), c.scaled) << c.value << " at " << c.dpi;
}

TEST(Dpi, DesignsScaleEveryLengthAndNothingElse) {
  for (const auto& control : main_window::kMainWindowControls) {
    const main_window::ControlDesign same = ScaleForDpi(control, 96);
    EXPECT_EQ(same.left, control.left);
    EXPECT_EQ(same.width, control.width);
    const main_window::ControlDesign scaled = ScaleForDpi(control, 192);
    EXPECT_EQ(scaled.left, 2 * control.left);
    EXPECT_EQ(scaled.top, 2 * control.top);
    EXPECT_EQ(scaled.width, 2 * control.width);
    EXPECT_EQ(scaled.height, 2 * control.height);
    EXPECT_EQ(scaled.text, control.text);
    EXPECT_EQ(scaled.id, control.id);
  }
  EXPECT_EQ(ScaleForDpi(main_window::kMainWindow.font, 144).height, -20);
  const ControlDesign& exeName = kInfoControls[2];
  const ControlDesign scaled = ScaleForDpi(exeName, 120);
  EXPECT_EQ(scaled.left, 70);
  EXPECT_EQ(scaled.font->height, -34);
  EXPECT_STREQ(scaled.caption, exeName.caption);
  EXPECT_FALSE(ScaleForDpi(kInfoControls[3], 120).font.has_value());  // the window's font stays the window's
}

}  // namespace
}  // namespace morvel
