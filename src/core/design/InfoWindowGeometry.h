#pragma once
// The information window's geometry: the panel fitted around its visible controls, the
// window fitted around the panel, and the window centred by the work area. The window code
// measures (text extents, frame sizes, the work area) and sets; the arithmetic is here.
#include <cstdint>
#include <span>
#include <vector>

#include "core/design/InfoWindowDesign.h"

namespace morvel {

struct Box {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const Box&, const Box&) = default;
};

struct Rect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct Point {
  std::int32_t left = 0, top = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// A label sizes itself to its text: its design position with the measured text extent.
Box LabelBox(const ControlDesign& design, std::int32_t textWidth, std::int32_t textHeight);

struct PanelChild {
  Box box;
  bool visible = true;
};

struct FittedPanel {
  std::vector<Box> children;  // every child moved by the same amount, in the given order
  Box panel;                  // at the client origin
  std::int32_t clientWidth = 0, clientHeight = 0;
};

// Fits the panel around its visible children with `borderWidth` as inner margin on every side
// (the children move so the nearest lie at the margin), places it at the client origin and
// makes the client area its size. Without a visible child the panel is just its margins.
FittedPanel FitPanel(std::span<const PanelChild> children, std::int32_t borderWidth);

// The window's outer size for a client size, given the frame the window code measured (outer
// minus client size of the window as it stands).
Box WindowForClient(const Box& window, std::int32_t clientWidth, std::int32_t clientHeight, std::int32_t frameWidth,
                    std::int32_t frameHeight);

// Left := (right - left - width) / 2 and Top := (bottom - top - height) / 2, truncating toward
// zero; the work area's own origin is not added. Raises "Integer overflow" when a subtraction
// overflows.
Point CenterOnWorkArea(const Rect& workArea, std::int32_t width, std::int32_t height);

}  // namespace morvel
