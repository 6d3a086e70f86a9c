#pragma once
// The designs are in pixels at 96 DPI. On a screen of another DPI every position, size and
// font height is scaled by DPI / 96, so the windows keep their proportions; at 96 DPI the
// scaled design is the design itself.
#include <cstdint>

#include "core/design/InfoWindowDesign.h"
#include "core/design/MainWindowDesign.h"

namespace morvel {

inline constexpr std::int32_t kDesignDpi = 96;

// value * dpi / 96, rounded half away from zero (as the system's MulDiv rounds). A DPI that is
// not positive counts as 96, and the result is clamped to the 32-bit range.
std::int32_t ScaleForDpi(std::int32_t value, std::int32_t dpi);

FontDesign ScaleForDpi(const FontDesign& font, std::int32_t dpi);
ControlDesign ScaleForDpi(const ControlDesign& control, std::int32_t dpi);
main_window::FontDesign ScaleForDpi(const main_window::FontDesign& font, std::int32_t dpi);
main_window::ControlDesign ScaleForDpi(const main_window::ControlDesign& control, std::int32_t dpi);

}  // namespace morvel
