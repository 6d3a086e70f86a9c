#include "core/design/Dpi.h"

#include <limits>

namespace morvel {

std::int32_t ScaleForDpi(std::int32_t value, std::int32_t dpi) {
  if (dpi <= 0 || dpi == kDesignDpi) return value;
  const std::int64_t product = std::int64_t{value} * dpi;
  const std::int64_t half = kDesignDpi / 2;
  const std::int64_t scaled = (product >= 0 ? product + half : product - half) / kDesignDpi;
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(scaled < kMin ? kMin : scaled > kMax ? kMax : scaled);
}

FontDesign ScaleForDpi(const FontDesign& font, std::int32_t dpi) {
  FontDesign scaled = font;
  scaled.height = ScaleForDpi(font.height, dpi);
  return scaled;
}

ControlDesign ScaleForDpi(const ControlDesign& control, std::int32_t dpi) {
  ControlDesign scaled = control;
  scaled.left = ScaleForDpi(control.left, dpi);
  scaled.top = ScaleForDpi(control.top, dpi);
  scaled.width = ScaleForDpi(control.width, dpi);
  scaled.height = ScaleForDpi(control.height, dpi);
  if (control.font) scaled.font = ScaleForDpi(*control.font, dpi);
  return scaled;
}

main_window::FontDesign ScaleForDpi(const main_window::FontDesign& font, std::int32_t dpi) {
  main_window::FontDesign scaled = font;
  scaled.height = ScaleForDpi(font.height, dpi);
  return scaled;
}

main_window::ControlDesign ScaleForDpi(const main_window::ControlDesign& control, std::int32_t dpi) {
  main_window::ControlDesign scaled = control;
  scaled.left = ScaleForDpi(control.left, dpi);
  scaled.top = ScaleForDpi(control.top, dpi);
  scaled.width = ScaleForDpi(control.width, dpi);
  scaled.height = ScaleForDpi(control.height, dpi);
  return scaled;
}

}  // namespace morvel
