#pragma once
// The main window: a strip of three buttons over the report memo. "C DRIVE" and "D DRIVE"
// write the volume report of their drive into the memo; "Version" is for the information
// window. Image files and devices named on the command line or dropped onto the window are
// reported in the memo too.
#include <windows.h>

#include <string>
#include <vector>

#include "app/win32/Application.h"
#include "core/design/Dpi.h"
#include "platform/open/TargetOpener.h"
#include "platform/win32/Win32Scoped.h"

namespace morvel::win32 {

class TForm1 {
 public:
  // Creates the window and its controls from the design (hidden), then runs FormCreate. The
  // `targets` are reported once the window shows.
  TForm1(Application& application, TargetOpener& opener, std::vector<std::string> targets);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

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

  void FormCreate();
  void Button1Click(HWND sender);
  void Button3Click(HWND sender);

  Application& application_;
  TargetOpener& opener_;
  OpenerDrives drives_;
  std::vector<std::string> targets_;  // until the window shows
  int dpi_ = kDesignDpi;
  Font font_;
  HWND focused_ = nullptr;

  // The controls, children of the window: they go with it.
  HWND Memo1 = nullptr;
  HWND Panel1 = nullptr;
  HWND Button1 = nullptr;
  HWND Button2 = nullptr;
  HWND Button3 = nullptr;

  // Last: destroyed first, while the font its controls use is still there.
  Window window_;
};

}  // namespace morvel::win32
