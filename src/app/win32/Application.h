#pragma once
// The application object: the program's title, its hidden top-level window, the message loop
// and the default error report.
//
// The hidden window stands for the program on the taskbar. It is an unowned, visible
// top-level window of zero size, so the shell gives it a taskbar button but nothing of it
// shows on the screen; every form is owned by it and so gets no button of its own. Minimising
// the main form minimises this window instead (the program leaves the screen as one piece,
// and its forms are hidden until it is restored), and activating it from the taskbar hands
// the activation on to the form last active.
#include <windows.h>

#include <exception>
#include <string>
#include <vector>

#include "platform/win32/Win32Scoped.h"

namespace morvel::win32 {

class Application {
 public:
  explicit Application(HINSTANCE instance);
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  HINSTANCE Instance() const { return instance_; }
  HWND Handle() const { return window_.get(); }
  // The text of the hidden window (at most 255 characters).
  std::string Title() const;
  // The program's icon, from the executable's resources; shared, never destroyed.
  HICON MainIcon() const { return icon_; }

  // Shows the hidden window and `mainForm`, then dispatches messages until the main form is
  // destroyed. Forms and controls are created by then.
  void Run(HWND mainForm);

  // The default error report: a stop box titled with the application title, owned by the
  // hidden window, with every other window of the program disabled while it is up.
  void ShowException(const std::string& message);

  // Runs a message handler; an exception that leaves it is reported and the program goes on.
  template <typename Handler>
  void Guard(Handler&& handler) noexcept {
    try {
      handler();
    } catch (const std::exception& e) {
      ShowException(e.what());
    }
  }

  // Minimises the program to its taskbar button, hiding the forms, and back.
  void Minimize();
  void Restore();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  HICON icon_;
  HWND mainForm_ = nullptr;
  std::vector<HWND> hiddenForms_;  // while minimised
  Window window_;
};

}  // namespace morvel::win32
