#pragma once
// The main window: a strip of three buttons over the report memo. "C DRIVE" and "D DRIVE"
// write the volume report of their drive into the memo; "Version" is for the information
// window.
#include <windows.h>

#include "app/win32/Application.h"
#include "app/win32/Handles.h"
#include "core/report/VolumeApi.h"

namespace morvel::win32 {

class TForm1 {
 public:
  // Creates the window and its controls from the design (hidden), then runs FormCreate.
  TForm1(Application& application, VolumeApi& volumeApi);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  HWND Handle() const { return handle_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void AlignControls();
  void DispatchClick(HWND sender);
  void RememberFocus();
  void RestoreFocus();

  void FormCreate();
  void Button1Click(HWND sender);
  void Button3Click(HWND sender);

  Application& application_;
  VolumeApi& volumeApi_;
  UniqueFont font_;
  HWND handle_ = nullptr;
  HWND focused_ = nullptr;

  HWND Memo1 = nullptr;
  HWND Panel1 = nullptr;
  HWND Button1 = nullptr;
  HWND Button2 = nullptr;
  HWND Button3 = nullptr;
};

}  // namespace morvel::win32
