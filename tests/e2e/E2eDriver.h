#pragma once
// What the end-to-end drivers share: checks that count failures, waiting with a deadline,
// the program under test as a child process, reading windows of another process, and a
// screenshot of the screen as a BMP file.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/Win32Scoped.h"

namespace morvel::e2e {

// Counts failed checks; the driver's exit code is non-zero when any failed.
class Checks {
 public:
  bool Expect(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++failures_;
    return ok;
  }
  bool ExpectEqual(const std::string& actual, const std::string& expected, const std::string& what);
  bool ExpectEqual(long long actual, long long expected, const std::string& what);
  int failures() const { return failures_; }

 private:
  int failures_ = 0;
};

// Polls `condition` every 50 ms until it holds or `timeoutMs` has passed.
template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs = 10000) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(50);
  }
}

// The program under test, started with `arguments` (a command line's text after the program's
// name); killed if still running at the end.
class ChildProcess {
 public:
  explicit ChildProcess(const std::string& exePath, const std::string& arguments = "");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return static_cast<bool>(process_); }
  DWORD id() const { return id_; }
  // Waits for the process to end; its exit code, or STILL_ACTIVE after the timeout.
  DWORD WaitForExit(DWORD timeoutMs);

 private:
  morvel::win32::Handle process_;
  DWORD id_ = 0;
};

// A top-level window of process `processId` with class `className` and, when given, text
// `title`; nullptr when there is none.
HWND FindProcessWindow(DWORD processId, const char* className, const char* title = nullptr);
// The same, waiting for it up to `timeoutMs`.
HWND WaitForProcessWindow(DWORD processId, const char* className, const char* title = nullptr, DWORD timeoutMs = 20000);

// WM_GETTEXT through the window's own procedure (works across processes).
std::string WindowText(HWND window);
// The window's rectangle in its parent's client coordinates (screen coordinates for a
// top-level window), as left, top, width, height.
RECT ChildBounds(HWND window);
std::string Describe(const RECT& bounds);
std::vector<std::string> SplitLines(const std::string& text);

// What the probe (morvel_e2e_probe.dll, beside the driver) reads inside process `processId`:
// "menu item: ..." of the main window's system menu, "button font: FACE" and "missing glyphs
// of "C DRIVE": N" of its buttons' font, a line each; empty when it could not be loaded there.
// Under Wine a menu or a font of another process cannot be read from outside it.
std::string ProbeProcess(DWORD processId);

// Saves the whole screen as a 24-bit BMP file.
bool SaveScreenBitmap(const std::string& path);

// The end of a driver's run: a screenshot once the window has painted, `form` closed (which
// must end the program with 0), and the count of failed checks. Returns the exit code.
int CloseAndConclude(Checks& checks, ChildProcess& program, HWND form, const std::string& screenshotPath);

}  // namespace morvel::e2e
