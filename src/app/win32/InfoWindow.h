#pragma once
// The information window: the program's icon, name, version, the running system and its
// free memory, and the shell actions (property sheet, home page, mail, desktop shortcut,
// program folder). Shown modally over the main window by the "Version" button.
#include <windows.h>

#include <exception>
#include <functional>

namespace morvel::win32 {

struct InfoWindowContext {
  HINSTANCE instance = nullptr;
  // The application's own top-level window: owns the information window, holds the
  // application title, and stands for the program on the taskbar.
  HWND appWindow = nullptr;
  // The main window: owner of the shell's requests; takes no input while the window is up.
  HWND mainWindow = nullptr;
  // The application's icon (shared; the window shows a copy of it).
  HICON icon = nullptr;
  // The application's default error report, for an action that fails.
  std::function<void(const std::exception&)> reportError;
};

// Creates the window, shows it modally and destroys it when it has closed. An error while
// the window is created leaves to the caller.
void ShowInfoWindow(const InfoWindowContext& context);

}  // namespace morvel::win32
