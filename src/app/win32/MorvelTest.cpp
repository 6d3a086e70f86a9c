// MorvelTest.exe: the desktop program. Starts the units, runs the main window until it is
// closed, and finalises the units in reverse order.
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/Application.h"
#include "app/win32/MainWindow.h"
#include "core/desktop/Targets.h"
#include "core/runtime/RuntimeError.h"
#include "platform/open/TargetOpener.h"
#include "platform/win32/desktop/Win32ShellApi.h"

namespace {

// The image files and devices named on the command line, in the ANSI code page the program
// speaks; "/starup" from its own shortcuts and any other switch are passed over.
std::vector<std::string> CommandLineTargets() {
  std::vector<std::string> args;
  for (int i = 1; i < __argc; ++i) args.emplace_back(__argv[i]);
  return morvel::WindowsCommandLineTargets(args);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Unit initialisations, in link order. The volume unit binds NtFsControlFile of the already
  // loaded ntdll.dll.
  const std::unique_ptr<morvel::TargetOpener> opener = morvel::MakeTargetOpener();
  // The information unit's initialisation: the component object runtime for this thread,
  // uninitialised after the application object is gone.
  const morvel::ComRuntime comRuntime;
  try {
    morvel::win32::Application application(instance);
    morvel::win32::MainWindow mainWindow(application, *opener, CommandLineTargets());
    application.Run(mainWindow.Handle());
  } catch (const std::exception& e) {
    // Only the start-up can get here: handlers report their own errors and carry on.
    ::MessageBoxA(nullptr, morvel::ErrorReportText(e.what()).c_str(), nullptr, MB_ICONSTOP | MB_OK);
    return 1;
  }
  return 0;
}
