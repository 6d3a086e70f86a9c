#pragma once
// The design of the main window (object name "Form1") as data: every control with its parent,
// control id, position, size, alignment, text and tab order, and the window's font and colour.
// Both desktop programs build the window from it.
#include <array>
#include <cstdint>
#include <string_view>

#include "core/design/InfoWindowDesign.h"

namespace morvel::main_window {

enum class ControlKind { Memo, Panel, Button };
// Top: stacked at the top of the parent's client area at full width, keeping its height;
// Client: fills what the aligned controls leave.
enum class Align { None, Top, Client };

// The controls' ids: the window code creates them with these, and finds them by them.
enum : int { kMemoId = 100, kPanelId, kCDriveButtonId, kDDriveButtonId, kVersionButtonId };

struct ControlDesign {
  std::string_view name;
  ControlKind kind;
  std::string_view parent;
  int id;
  int left, top, width, height;
  Align align;
  std::string_view text;
  int tabOrder;
};

struct FontDesign {
  std::string_view face;  // UTF-8
  int height;             // negative: the character height in pixels
  std::uint8_t charset;
};

struct WindowDesign {
  std::string_view name;
  std::string_view caption;  // replaced by the stamped caption at creation
  // Where the design placed the window; centring on the screen replaces it when asked for.
  int left, top;
  // The outer size the design was made with (standard caption and frame at 96 dpi) and the
  // client area the controls fill; the window is sized from the client area, so the controls
  // fit whatever the system's frame metrics are.
  int width, height;
  int clientWidth, clientHeight;
  bool centreOnScreen;
  Colour colour;
  FontDesign font;
  int pixelsPerInch;
  int textHeight;
};

inline constexpr std::uint8_t kShiftJisCharset = 128;
inline constexpr Colour kClBtnFace{true, 15};  // COLOR_BTNFACE

// "ＭＳ ゴシック" (full-width letters), the Japanese fixed-pitch gothic, in UTF-8: the window
// code hands it to the system in UTF-16, so it resolves whatever the ANSI code page is.
inline constexpr std::string_view kMsGothicFace =
    "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";

inline constexpr WindowDesign kMainWindow{
    "Form1", "Form1", 192, 107, 612, 500, 604, 473, true, kClBtnFace, {kMsGothicFace, -13, kShiftJisCharset}, 96, 13};

// In creation order: a parent before its children, siblings by tab order.
inline constexpr std::array<ControlDesign, 5> kMainWindowControls{{
    {"Memo1", ControlKind::Memo, "Form1", kMemoId, 0, 41, 604, 432, Align::Client, "Memo1", 0},
    {"Panel1", ControlKind::Panel, "Form1", kPanelId, 0, 0, 604, 41, Align::Top, "", 1},
    {"Button1", ControlKind::Button, "Panel1", kCDriveButtonId, 8, 8, 75, 25, Align::None, "C DRIVE", 0},
    {"Button2", ControlKind::Button, "Panel1", kDDriveButtonId, 88, 8, 75, 25, Align::None, "D DRIVE", 1},
    {"Button3", ControlKind::Button, "Panel1", kVersionButtonId, 176, 8, 75, 25, Align::None, "Version", 2},
}};

// The design of the control named `name`, found as the program is compiled: a name the design
// lacks does not compile.
consteval const ControlDesign& MainWindowControl(std::string_view name) {
  for (const ControlDesign& control : kMainWindowControls) {
    if (control.name == name) return control;
  }
  throw "The main window has no control of that name";
}

}  // namespace morvel::main_window
