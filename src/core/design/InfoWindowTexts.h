#pragma once
// The information window's texts, actions and geometry: what its creation handler fills in,
// the links it opens and the shortcut it writes. The window code measures and sets; the
// values come from here.
#include <string>

#include "core/design/InfoWindowDesign.h"
#include "core/shell/PathRules.h"
#include "core/system/SystemApi.h"

namespace morvel {

// The texts the creation handler puts into the labels.
struct InfoTexts {
  std::string exeName;     // LblExeName: the executable's file name
  std::string osVersion;   // LblOsVersion: the system description without its first "Microsoft "
  std::string memPhys;     // LblMemPhys: the free physical memory line
  std::string exeVersion;  // LblExeVersion: "Ver." and the file version
};

// The label texts for the running executable at `exePath`, in the order the handler forms them.
InfoTexts MakeInfoTexts(SystemApi& api, const std::string& exePath);

// `text` without its first "Microsoft " (case-sensitive); later ones stay.
std::string WithoutFirstMicrosoft(std::string text);
// "MailTo:<address>?subject=from [<exe file name>] user".
std::string MailLink(const std::string& address, const std::string& exePath, const PathRules& rules);
// The shortcut's name: the executable's file name without its extension.
std::string ShortcutName(const std::string& exePath, const PathRules& rules);

}  // namespace morvel
