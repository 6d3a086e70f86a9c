#pragma once
// Window class names and control ids of the information window: the window code creates
// its controls with them, and tools that drive the window find its controls by them.
namespace morvel::info_ids {

inline constexpr char kFormClass[] = "TInfoForm";
inline constexpr char kPanelClass[] = "TPanel";

// Ids of the controls on PnlBack, in the design's field order.
enum : int {
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
  kPnlBack = 200,
};

}  // namespace morvel::info_ids
