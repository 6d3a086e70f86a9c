#pragma once
// Window class names and control ids of the information window: the window code creates
// its controls with them, and tools that drive the window find its controls by them.
#include <cstring>

namespace morvel::win32::info_ids {

inline constexpr char kWindowClass[] = "TInfoForm";
// Not "TPanel": the main window's panel class has its own window procedure.
inline constexpr char kPanelClass[] = "TInfoPanel";

enum : int {
  kPnlBack = 200,
  kAppIcon = 101,
  kLblExeName,
  kLblComment,
  kLblOsVersion,
  kLblMemPhys,
  kLblExeVersion,
  kLblUrl,
  kLblMail,
  kLblLaunchOnStartup,
  kLblOpenStartup,
  kLblLaunchOnDesktop,
  kLblOpenFolderIn,
};

struct NamedId {
  const char* name;
  int id;
};
inline constexpr NamedId kControlIds[] = {
    {"PnlBack", kPnlBack},
    {"AppIcon", kAppIcon},
    {"LblExeName", kLblExeName},
    {"lblComment", kLblComment},
    {"LblOsVersion", kLblOsVersion},
    {"LblMemPhys", kLblMemPhys},
    {"LblExeVersion", kLblExeVersion},
    {"lblURL", kLblUrl},
    {"lblMail", kLblMail},
    {"LblLaunchOnStartup", kLblLaunchOnStartup},
    {"LblOpenStartup", kLblOpenStartup},
    {"LblLaunchOnDesktop", kLblLaunchOnDesktop},
    {"LblOpenFolderIn", kLblOpenFolderIn},
};

// The control id of the design's control `name`; 0 for a name without one.
inline int ControlId(const char* name) {
  for (const NamedId& n : kControlIds) {
    if (std::strcmp(n.name, name) == 0) return n.id;
  }
  return 0;
}

}  // namespace morvel::win32::info_ids
