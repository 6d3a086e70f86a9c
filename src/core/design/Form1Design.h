#pragma once
// The design of the main window Form1: every control with its parent, position, size,
// alignment, text and tab order. The window code creates the controls from this table.
#include <array>
#include <cstdint>
#include <string_view>

namespace morvel::win32 {

enum class ControlKind { Memo, Panel, Button };
// Top: stacked at the top of the parent's client area at full width, keeping its height;
// Client: fills what the aligned controls leave.
enum class Align { None, Top, Client };

struct ControlDesign {
  std::string_view name;
  ControlKind kind;
  std::string_view parent;
  int left, top, width, height;
  Align align;
  std::string_view text;
  int tabOrder;
};

struct FontDesign {
  const wchar_t* face;
  int height;  // negative: the character height in pixels
  std::uint8_t charset;
};

struct FormDesign {
  std::string_view name;
  std::string_view caption;
  // The outer size the design was made with (standard caption and frame at 96 dpi) and the
  // client area the controls fill; the window is sized from the client area, so the controls
  // fit whatever the system's frame metrics are.
  int width, height;
  int clientWidth, clientHeight;
  bool centreOnScreen;
  FontDesign font;
};

inline constexpr std::uint8_t kShiftJisCharset = 128;

// "ＭＳ ゴシック" (full-width letters), the Japanese fixed-pitch gothic; given in UTF-16 so
// it resolves whatever the machine's ANSI code page is.
inline constexpr wchar_t kMsGothicFace[] = L"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF";

inline constexpr FormDesign kForm1{"Form1", "Form1", 612, 500, 604, 473, true, {kMsGothicFace, -13, kShiftJisCharset}};

// In creation order: a parent before its children, siblings by tab order.
inline constexpr std::array<ControlDesign, 5> kForm1Controls{{
    {"Memo1", ControlKind::Memo, "Form1", 0, 41, 604, 432, Align::Client, "Memo1", 0},
    {"Panel1", ControlKind::Panel, "Form1", 0, 0, 604, 41, Align::Top, "", 1},
    {"Button1", ControlKind::Button, "Panel1", 8, 8, 75, 25, Align::None, "C DRIVE", 0},
    {"Button2", ControlKind::Button, "Panel1", 88, 8, 75, 25, Align::None, "D DRIVE", 1},
    {"Button3", ControlKind::Button, "Panel1", 176, 8, 75, 25, Align::None, "Version", 2},
}};

}  // namespace morvel::win32
