#pragma once
// The main window: a strip of three buttons over the report memo. "C DRIVE" and "D DRIVE"
// write the volume report of their drive into the memo; "Version" is for the information
// window. Image files and devices named on the command line, dropped onto the window or chosen
// with "Open image..." in its system menu are reported in the memo too.
#include <windows.h>

#include <string>
#include <vector>

#include "app/win32/Application.h"
#include "core/design/Dpi.h"
#include "platform/open/TargetOpener.h"
#include "platform/win32/Win32Scoped.h"

namespace morvel::win32 {

class MainWindow {
 public:
  // Creates the window and its controls from the design (hidden), then runs OnCreate. The
  // `targets` are reported once the window shows.
  MainWindow(Application& application, TargetOpener& opener, std::vector<std::string> targets);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return window_.get(); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void PlaceControls();
  void AlignControls();
  void ChangeDpi(int dpi, const RECT& suggested);
  void DispatchClick(HWND sender);
  void RememberFocus();
  void RestoreFocus();
  void ReportTargets(const std::vector<std::string>& targets);
  void DropFiles(HDROP drop);
  void AddSystemMenuItems();
  void OpenImage();

  void OnCreate();
  void OnDriveButton(HWND sender);
  void OnVersionButton(HWND sender);

  Application& application_;
  TargetOpener& opener_;
  OpenerDrives drives_;
  std::vector<std::string> targets_;  // until the window shows
  int dpi_ = kDesignDpi;
  Font font_;
  HWND focused_ = nullptr;

  // The controls, children of the window: they go with it.
  HWND memo_ = nullptr;
  HWND panel_ = nullptr;
  HWND cDriveButton_ = nullptr;
  HWND dDriveButton_ = nullptr;
  HWND versionButton_ = nullptr;

  // Last: destroyed first, while the font its controls use is still there.
  Window window_;
};

}  // namespace morvel::win32
