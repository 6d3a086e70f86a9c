#include "core/design/InfoWindowGeometry.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/runtime/Checked.h"

namespace morvel {

const ControlDesign* FindInfoControl(const char* name) {
  for (const auto& c : kInfoControls)
    if (std::strcmp(c.name, name) == 0) return &c;
  return nullptr;
}

Box LabelBox(const ControlDesign& design, std::int32_t textWidth, std::int32_t textHeight) {
  return Box{design.left, design.top, textWidth, textHeight};
}

FittedPanel FitPanel(std::span<const PanelChild> children, std::int32_t borderWidth) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  std::int64_t left = kMax, top = kMax, right = kMin, bottom = kMin;
  for (const auto& c : children) {
    if (!c.visible) continue;
    left = std::min<std::int64_t>(left, c.box.left);
    top = std::min<std::int64_t>(top, c.box.top);
    right = std::max<std::int64_t>(right, std::int64_t{c.box.left} + c.box.width);
    bottom = std::max<std::int64_t>(bottom, std::int64_t{c.box.top} + c.box.height);
  }
  if (left == kMax) left = top = right = bottom = borderWidth;  // nothing visible
  const auto dx = static_cast<std::int32_t>(borderWidth - left);
  const auto dy = static_cast<std::int32_t>(borderWidth - top);
  FittedPanel fitted;
  for (const auto& c : children)
    fitted.children.push_back(Box{c.box.left + dx, c.box.top + dy, c.box.width, c.box.height});
  fitted.panel = Box{0, 0, static_cast<std::int32_t>(right - left + 2 * borderWidth),
                     static_cast<std::int32_t>(bottom - top + 2 * borderWidth)};
  fitted.clientWidth = fitted.panel.width;
  fitted.clientHeight = fitted.panel.height;
  return fitted;
}

Box WindowForClient(const Box& window, std::int32_t clientWidth, std::int32_t clientHeight, std::int32_t frameWidth,
                    std::int32_t frameHeight) {
  return Box{window.left, window.top, clientWidth + frameWidth, clientHeight + frameHeight};
}

Point CenterOnWorkArea(const Rect& workArea, std::int32_t width, std::int32_t height) {
  const std::int32_t left = CheckedSub32(CheckedSub32(workArea.right, workArea.left), width) / 2;
  const std::int32_t top = CheckedSub32(CheckedSub32(workArea.bottom, workArea.top), height) / 2;
  return Point{left, top};
}

}  // namespace morvel
