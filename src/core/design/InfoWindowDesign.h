#pragma once
// The information window's design as data: every control with its parent, position, size,
// font, colour, cursor, visibility and caption. The window code builds the window from it.
#include <array>
#include <cstdint>
#include <optional>

namespace morvel {

// A colour as the window code needs it: an RGB value (0x00BBGGRR) or a system colour index.
struct Colour {
  bool system = false;
  std::uint32_t value = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};
inline constexpr Colour kClWindowText{true, 8};  // COLOR_WINDOWTEXT
inline constexpr Colour kClWhite{false, 0xFFFFFF};
inline constexpr Colour kClBlack{false, 0x000000};
inline constexpr Colour kClMaroon{false, 0x000080};
inline constexpr Colour kClNavy{false, 0x800000};

inline constexpr std::uint8_t kAnsiCharset = 0;

// The credit line, the home page and the contact address.
inline constexpr const char* kInfoCredit = "Volume layout report tool";
inline constexpr const char* kInfoHomePage = "http://www.example.org/morvel/";
inline constexpr const char* kInfoMailAddress = "morvel@example.org";

struct FontDesign {
  const char* name = "Arial";
  std::int32_t height = -13;  // negative: character height in pixels
  Colour colour = kClWindowText;
  bool underline = false;
  std::uint8_t charset = kAnsiCharset;
};

enum class ControlKind { Window, Panel, Image, Label };

struct ControlDesign {
  const char* name;
  ControlKind kind;
  const char* parent;                     // nullptr for the window itself
  std::int32_t left, top, width, height;  // the window: client width and height
  const char* caption;                    // nullptr: none
  std::optional<FontDesign> font;         // nullopt: the window's font
  bool handCursor = false;
  bool visible = true;
  bool transparent = false;
  bool centreVertically = false;  // text centred in the label's height
  const char* onClick = nullptr;  // the click handler's name
};

inline constexpr FontDesign kWindowFont{};
inline constexpr FontDesign kExeNameFont{"Arial", -27, kClWindowText, false};
inline constexpr FontDesign kActionFont{"Arial", -13, kClMaroon, true};
inline constexpr FontDesign kLinkFont{"Arial", -13, kClNavy, true};

// The window: fixed single border, close box only, white, any key closes it.
struct InfoWindowDesign {
  const char* name = "InfoForm";
  const char* className = "TInfoForm";
  const char* caption = "InfoForm";    // replaced by the stamped caption
  std::int32_t left = 319, top = 229;  // replaced by centring
  std::int32_t clientWidth = 268, clientHeight = 242;
  Colour colour = kClWhite;
  FontDesign font = kWindowFont;
  bool keyPreview = true;
  bool scaled = false;
  std::int32_t pixelsPerInch = 96;
  std::int32_t textHeight = 16;
  bool singleBorder = true;
  bool systemMenuOnly = true;
};
inline constexpr InfoWindowDesign kInfoWindow{};

// PnlBack: no bevel, the window's colour, a 10-pixel inner margin.
inline constexpr std::int32_t kPanelBorderWidth = 10;

// The panel and its children, top to bottom.
inline constexpr std::array<ControlDesign, 13> kInfoControls{{
    {"PnlBack", ControlKind::Panel, "InfoForm", 8, 8, 241, 225, nullptr, std::nullopt},
    {"AppIcon", ControlKind::Image, "PnlBack", 8, 8, 32, 32, nullptr, std::nullopt},
    {"LblExeName", ControlKind::Label, "PnlBack", 56, 8, 152, 32, "LblExeName", kExeNameFont, true, true, true, false,
     "LblExeNameClick"},
    {"LblExeVersion", ControlKind::Label, "PnlBack", 56, 40, 84, 16, "LblExeVersion", std::nullopt, false, true, true},
    {"lblComment", ControlKind::Label, "PnlBack", 56, 56, 125, 16, kInfoCredit, std::nullopt, false, true, true},
    {"LblLaunchOnDesktop", ControlKind::Label, "PnlBack", 56, 80, 178, 16, "Create Shortcut into \"Desktop\"",
     kActionFont, true, true, true, false, "LblLaunchOnStartupClick"},
    {"LblOpenFolderIn", ControlKind::Label, "PnlBack", 56, 96, 166, 16, "Open Folder This Program in", kActionFont,
     true, true, true, false, "LblOpenStartupClick"},
    {"lblURL", ControlKind::Label, "PnlBack", 8, 128, 160, 16, kInfoHomePage, kLinkFont, true, true, true, true,
     "lblURLClick"},
    {"lblMail", ControlKind::Label, "PnlBack", 8, 144, 87, 16, kInfoMailAddress, kLinkFont, true, true, true, true,
     "lblMailClick"},
    {"LblLaunchOnStartup", ControlKind::Label, "PnlBack", 120, 160, 172, 16, "Create Shortcut into \"Startup\"",
     kActionFont, true, false, true, false, "LblLaunchOnStartupClick"},
    {"LblOsVersion", ControlKind::Label, "PnlBack", 8, 168, 78, 16, "LblOsVersion", std::nullopt, false, true, true},
    {"LblOpenStartup", ControlKind::Label, "PnlBack", 120, 176, 87, 16, "Open \"Startup\"", kActionFont, true, false,
     true, false, "LblOpenStartupClick"},
    {"LblMemPhys", ControlKind::Label, "PnlBack", 8, 184, 76, 16, "LblMemPhys", std::nullopt, false, true, true},
}};

// The window's fields in declaration order: the order the panel's children are created in.
inline constexpr std::array<const char*, 13> kInfoFieldOrder{
    "PnlBack",        "AppIcon", "LblExeName", "lblComment",         "LblOsVersion",   "LblMemPhys",
    "LblExeVersion",  "lblURL",  "lblMail",    "LblLaunchOnStartup", "LblOpenStartup", "LblLaunchOnDesktop",
    "LblOpenFolderIn"};

// The design of the control named `name`, or nullptr.
const ControlDesign* FindInfoControl(const char* name);

}  // namespace morvel
