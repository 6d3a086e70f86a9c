#pragma once
// What the information window takes from the portable core: its design, its texts, its
// geometry and the shell actions of its links. The window code only measures and sets.
#include <windows.h>

#include <string>
#include <vector>

#include "ShellApi.h"
#include "SystemApi.h"

namespace morvel {

struct FontDesign {
  std::string name;
  int height = 0;
  COLORREF color = 0;
  bool underline = false;
};

enum class ControlKind { Image, Label };

struct ControlDesign {
  int id = 0;
  ControlKind kind = ControlKind::Label;
  int left = 0, top = 0, width = 0, height = 0;
  std::string caption;
  FontDesign font;
  bool visible = true;
  bool clickable = false;
  bool handCursor = false;
  bool centerVertically = false;
};

struct InfoWindowDesign {
  std::string caption;
  int left = 0, top = 0, clientWidth = 0, clientHeight = 0;
  ControlDesign panel;
  std::vector<ControlDesign> controls;  // on the panel, in the design's field order
};

const InfoWindowDesign& FormDesign();

// A control's place on the panel, as measured, and the fitted result.
struct ChildBounds {
  int id = 0;
  bool visible = true;
  int left = 0, top = 0, width = 0, height = 0;
};
struct FittedLayout {
  std::vector<ChildBounds> children;
  int panelWidth = 0, panelHeight = 0;  // also the window's client size
};
FittedLayout FitInfoLayout(const std::vector<ChildBounds>& children);

struct InfoTexts {
  std::string exeName, osVersion, memPhys, exeVersion;
};
InfoTexts MakeInfoTexts(SystemApi& system, const std::string& exePath);

std::string RunningExecutablePath(SystemApi& system);
// The application title: the application window's text.
std::string AppTitle(HWND appWindow);
std::string InfoCaption(SystemApi& system, const std::string& title, const std::string& exePath);
// Places the window by the work area of the primary screen.
void CenterOnWorkArea(HWND form);

struct ShellContext {
  ShellApi& shell;
  SystemApi& system;
  HWND mainWindow;
  HWND appWindow;
};
void ShowExeProperties(ShellContext& c, const std::string& exePath);
void OpenHomePage(ShellContext& c, const std::string& url);
void OpenMail(ShellContext& c, const std::string& address, const std::string& exePath);
void CreateStartupShortcut(ShellContext& c, const std::string& exePath);
void CreateDesktopShortcut(ShellContext& c, const std::string& exePath);
void OpenStartupFolder(ShellContext& c);
void OpenExeFolder(ShellContext& c, const std::string& exePath);

}  // namespace morvel
