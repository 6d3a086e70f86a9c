// Drives MorvelTest.exe through its main window: layout, the drive report, Enter in the memo,
// the default error report, and closing; then an image file named on its command line and one
// dropped onto it. Usage: morvel_e2e_main MorvelTest.exe screenshot.bmp image
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/design/MainWindowDesign.h"
#include "core/report/VolumeReport.h"
#include "platform/open/TargetOpener.h"
#include "platform/win32/Win32Locale.h"
#include "tests/e2e/E2eDriver.h"

namespace {

using morvel::e2e::Checks;
using morvel::e2e::ChildBounds;
using morvel::e2e::Describe;
using morvel::e2e::WaitFor;
using morvel::e2e::WindowText;

const char* const kTitle = "Morveltest";

const std::vector<std::string> kHeader = {
    "Message from Original ...", "-----------------------------------", "Vantry",
    "NTFS volume layout report", "http://www.example.org/morvel/",      "-----------------------------------",
};

// Wine does not implement the NTFS volume-data request: STATUS_NOT_SUPPORTED (0xC00000BB).
std::string ExpectedDriveCReport() {
  std::string text;
  for (const auto& line : kHeader) text += line + "\r\n";
  return text + "\r\nNTFS VOLUME DATA OF [C] DRIVE\r\n\r\nError obtaining NTFS information:-1073741637";
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  return text;
}

struct MainWindow {
  HWND window = nullptr;
  HWND memo = nullptr;
  HWND panel = nullptr;
  HWND cDriveButton = nullptr;
  HWND dDriveButton = nullptr;
  HWND versionButton = nullptr;
};

void CheckApplicationWindow(Checks& checks, HWND form) {
  HWND application = ::GetWindow(form, GW_OWNER);
  checks.Expect(application != nullptr, "Form1 is owned by the application window");
  if (application == nullptr) return;
  checks.ExpectEqual(WindowText(application), kTitle, "the application window is titled with the application title");
  checks.Expect(::GetWindow(application, GW_OWNER) == nullptr, "the application window has no owner");
  checks.Expect(::IsWindowVisible(application) != FALSE, "the application window is visible (taskbar entry)");
  const RECT bounds = ChildBounds(application);
  checks.Expect(bounds.right == 0 && bounds.bottom == 0, "the application window has no size");
  checks.Expect((::GetWindowLongPtrA(form, GWL_EXSTYLE) & WS_EX_APPWINDOW) == 0,
                "Form1 has no taskbar entry of its own");
}

// The controls found by their ids are the design's: their classes and captions.
void CheckClasses(Checks& checks, const MainWindow& w) {
  const struct {
    HWND window;
    const char* className;
    const char* text;
  } controls[] = {{w.memo, "Edit", "Memo1"},
                  {w.panel, "TPanel", ""},
                  {w.cDriveButton, "Button", "C DRIVE"},
                  {w.dDriveButton, "Button", "D DRIVE"},
                  {w.versionButton, "Button", "Version"}};
  for (const auto& c : controls) {
    char className[64] = {};
    ::GetClassNameA(c.window, className, sizeof className);
    checks.Expect(lstrcmpiA(className, c.className) == 0 && WindowText(c.window) == c.text,
                  std::string("control of class ") + c.className + " with \"" + c.text + "\"");
  }
}

void CheckLayout(Checks& checks, const MainWindow& w) {
  checks.ExpectEqual(WindowText(w.window), "Morveltest Ver.0.6.1.7 - Form1", "Form1's caption");
  RECT client{};
  ::GetClientRect(w.window, &client);
  checks.ExpectEqual(std::to_string(client.right) + "x" + std::to_string(client.bottom), "604x473",
                     "Form1's client area");
  checks.ExpectEqual(Describe(ChildBounds(w.panel)), "0,0 604x41", "Panel1 bounds");
  checks.ExpectEqual(Describe(ChildBounds(w.memo)), "0,41 604x432", "Memo1 bounds");
  checks.ExpectEqual(Describe(ChildBounds(w.cDriveButton)), "8,8 75x25", "Button1 bounds");
  checks.ExpectEqual(Describe(ChildBounds(w.dDriveButton)), "88,8 75x25", "Button2 bounds");
  checks.ExpectEqual(Describe(ChildBounds(w.versionButton)), "176,8 75x25", "Button3 bounds");
  const LONG_PTR memoStyle = ::GetWindowLongPtrA(w.memo, GWL_STYLE);
  checks.Expect((memoStyle & WS_HSCROLL) != 0 && (memoStyle & WS_VSCROLL) != 0, "Memo1 has both scroll bars");
  checks.Expect((memoStyle & ES_READONLY) == 0, "Memo1 is not read-only");
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  RECT outer{};
  ::GetWindowRect(w.window, &outer);
  checks.ExpectEqual(outer.left, (screenWidth - (outer.right - outer.left)) / 2, "Form1 is centred horizontally");
  checks.ExpectEqual(outer.top, (screenHeight - (outer.bottom - outer.top)) / 2, "Form1 is centred vertically");
}

// The face a font request resolves to on this machine (UTF-8), and its metrics.
std::string ResolvedFace(const wchar_t* name, BYTE charSet, TEXTMETRICW& metrics) {
  LOGFONTW font{};
  font.lfHeight = -13;
  font.lfCharSet = charSet;
  ::lstrcpynW(font.lfFaceName, name, LF_FACESIZE);
  const morvel::win32::Font handle(::CreateFontIndirectW(&font));
  const morvel::win32::MemoryDc dc(::CreateCompatibleDC(nullptr));
  const morvel::win32::Selection selected = morvel::win32::Select(dc.get(), handle.get());
  ::GetTextMetricsW(dc.get(), &metrics);
  wchar_t face[LF_FACESIZE] = {};
  ::GetTextFaceW(dc.get(), LF_FACESIZE, face);
  char faceUtf8[LF_FACESIZE * 3] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, face, -1, faceUtf8, sizeof faceUtf8, nullptr, nullptr);
  return faceUtf8;
}

// The main window's font as this machine resolves it: a Japanese fixed-pitch gothic. Returns
// its face. Also the face of the caption buttons' glyphs, which Wine draws as the letters
// "0 1 r" when its Marlett font is missing (Debian package fonts-wine).
std::string CheckFontResolves(Checks& checks) {
  TEXTMETRICW metrics{};
  checks.ExpectEqual(ResolvedFace(L"Marlett", SYMBOL_CHARSET, metrics), std::string("Marlett"),
                     "the caption buttons' font Marlett is in the prefix (fonts-wine)");
  const std::string faceUtf8 = ResolvedFace(L"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF", SHIFTJIS_CHARSET, metrics);
  std::printf("     main window font resolves to \"%s\", height %ld, charset %d\n", faceUtf8.c_str(), metrics.tmHeight,
              metrics.tmCharSet);
  checks.ExpectEqual(metrics.tmCharSet, SHIFTJIS_CHARSET, "the main window's font has the Japanese character set");
  // TMPF_FIXED_PITCH set means a variable pitch.
  checks.Expect((metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0, "the main window's font is fixed-pitch");
  return faceUtf8;
}

// What only the program's own process can read: "Open image..." at the end of Form1's system
// menu (looked up, never chosen: it opens a file dialog), and the buttons' font, the design's
// own where it draws their captions.
void CheckSystemMenuAndFont(Checks& checks, DWORD processId, const std::string& designFace) {
  const std::string facts = morvel::e2e::ProbeProcess(processId);
  std::printf("%s", facts.c_str());
  checks.Expect(facts.find("menu item: Open image\u2026\n") != std::string::npos,
                "Form1's system menu offers \"Open image\u2026\"");
  checks.Expect(facts.find("button font: " + designFace + "\n") != std::string::npos,
                "the buttons keep the design's font, which draws their captions");
  checks.Expect(facts.find("missing glyphs of \"C DRIVE\": 0\n") != std::string::npos,
                "the buttons' font draws \"C DRIVE\"");
}

void ClickAndCheckReport(Checks& checks, const MainWindow& w, const std::string& what) {
  ::SendMessageA(w.cDriveButton, BM_CLICK, 0, 0);
  checks.ExpectEqual(WindowText(w.memo), ExpectedDriveCReport(), what);
}

// Enter is posted with a character after it: once the character shows, the Enter before it
// has been handled too, and it must have left no line break.
void CheckEnterAddsNoLine(Checks& checks, const MainWindow& w) {
  ::PostMessageA(w.memo, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  ::PostMessageA(w.memo, WM_CHAR, '\r', 0x001C0001);
  ::PostMessageA(w.memo, WM_KEYUP, VK_RETURN, 0xC01C0001);
  ::PostMessageA(w.memo, WM_CHAR, 'x', 0x002D0001);
  const bool typed = WaitFor([&] { return WindowText(w.memo).back() == 'x'; }, 5000);
  checks.Expect(typed, "a character typed after Enter reaches the memo");
  checks.ExpectEqual(WindowText(w.memo), ExpectedDriveCReport() + "x", "Enter in Memo1 adds no line");
}

void CheckDefaultErrorReport(Checks& checks, const MainWindow& w, DWORD processId) {
  ::SendMessageA(w.dDriveButton, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  // Posted: the click does not return while the message box is up.
  ::PostMessageA(w.dDriveButton, BM_CLICK, 0, 0);
  HWND box = morvel::e2e::WaitForProcessWindow(processId, "#32770", kTitle, 10000);
  if (!checks.Expect(box != nullptr, "an empty drive caption brings up the error report titled \"Morveltest\"")) return;
  checks.ExpectEqual(WindowText(::GetDlgItem(box, 0xFFFF)), "Range check error.", "the error report's text");
  checks.Expect(::GetWindow(box, GW_OWNER) == ::GetWindow(w.window, GW_OWNER),
                "the error report is owned by the application window");
  checks.Expect(::GetDlgItem(box, IDOK) != nullptr && ::GetDlgItem(box, IDCANCEL) == nullptr,
                "the error report has a single OK button");
  checks.Expect(::IsWindowEnabled(w.window) == FALSE, "Form1 takes no input while the error report is up");
  checks.ExpectEqual(WindowText(w.memo), Join(kHeader), "the memo keeps the header lines written before the error");
  ::PostMessageA(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  checks.Expect(WaitFor([&] { return ::IsWindow(box) == FALSE; }, 5000), "OK closes the error report");
  checks.Expect(WaitFor([&] { return ::IsWindowEnabled(w.window) != FALSE; }, 5000), "Form1 takes input again");
  ::SendMessageA(w.dDriveButton, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("D DRIVE"));
}

// Minimising Form1 takes the whole program to its taskbar button; restoring that button brings
// Form1 back.
void CheckMinimizeAndRestore(Checks& checks, const MainWindow& w) {
  HWND application = ::GetWindow(w.window, GW_OWNER);
  ::SendMessageA(w.window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  checks.Expect(::IsIconic(application) != FALSE && ::IsWindowVisible(w.window) == FALSE,
                "minimising Form1 minimises the application window and hides Form1");
  ::SendMessageA(application, WM_SYSCOMMAND, SC_RESTORE, 0);
  checks.Expect(::IsIconic(application) == FALSE && ::IsWindowVisible(w.window) != FALSE,
                "restoring the application window shows Form1 again");
  RECT client{};
  ::GetClientRect(w.window, &client);
  checks.ExpectEqual(std::to_string(client.right) + "x" + std::to_string(client.bottom), "604x473",
                     "Form1's client area after restoring");
}

// The memo's text for the image's report, as the core writes it.
std::string ExpectedTargetReport(const std::string& image) {
  morvel::StringLines lines;
  const auto opener = morvel::MakeTargetOpener();
  const morvel::OpenedTarget opened = opener->Open(image, {});
  morvel::WriteVolumeReport(image, *opened.volume, lines, morvel::UserNumberSeparators());
  return Join(lines.lines());
}

// A folder's report: its volume read through the system by the folder's drive letter.
std::string ExpectedFolderReport(const std::string& folder, char letter) {
  morvel::StringLines lines;
  const auto opener = morvel::MakeTargetOpener();
  morvel::WriteVolumeReport(folder, *opener->OpenDrive(letter), lines, morvel::UserNumberSeparators());
  return Join(lines.lines());
}

// Hands `file` to the window as the shell hands a drop: a DROPFILES record, in the program's
// memory, with the ANSI file list after it.
bool DropFile(DWORD processId, HWND window, const std::string& file) {
  std::vector<char> record(sizeof(DROPFILES) + file.size() + 2, '\0');
  DROPFILES header{};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = FALSE;
  std::memcpy(record.data(), &header, sizeof header);
  std::memcpy(record.data() + sizeof header, file.data(), file.size());
  const morvel::win32::Handle process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId));
  if (!process) return false;
  // Fixed memory: the program's DragQueryFile locks the "handle" and gets the record itself.
  void* remote = ::VirtualAllocEx(process.get(), nullptr, record.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote == nullptr || !::WriteProcessMemory(process.get(), remote, record.data(), record.size(), nullptr)) {
    return false;
  }
  return ::PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != FALSE;
}

// A second run with an image named on the command line among switches, then a drop of it.
void CheckTargets(Checks& checks, const std::string& exePath, const std::string& image,
                  const std::string& screenshotPath) {
  const std::string expected = ExpectedTargetReport(image);
  checks.Expect(expected.find("NTFS VOLUME DATA OF [" + image + "] DRIVE") != std::string::npos &&
                    expected.find("Bytes per sector       : 512") != std::string::npos,
                "the core reports the sample image");
  morvel::e2e::ChildProcess program(exePath, "/starup -x \"" + image + "\" /y");
  HWND form = morvel::e2e::WaitForProcessWindow(program.id(), "TForm1");
  if (!checks.Expect(form != nullptr, "Form1 appears for a command line with an image")) return;
  HWND memo = ::GetDlgItem(form, morvel::main_window::kMemoId);
  checks.Expect(WaitFor([&] { return WindowText(memo) == expected; }, 10000),
                "the image on the command line is reported, titled with its path; switches are passed over");
  ::Sleep(500);  // let the window repaint before the picture is taken
  const std::string picture = screenshotPath.substr(0, screenshotPath.rfind('.')) + "-target.bmp";
  checks.Expect(morvel::e2e::SaveScreenBitmap(picture), "screenshot saved to " + picture);
  ::SendMessageA(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Memo1"));
  checks.Expect(DropFile(program.id(), form, image), "a file is dropped onto Form1");
  checks.Expect(WaitFor([&] { return WindowText(memo) == expected; }, 10000), "the dropped image is reported");
  // A file that holds no NTFS volume: what it holds follows the report's error line, as the
  // console program says it on stderr.
  const std::string zeros = image + ".zeros";
  std::ofstream(zeros, std::ios::binary).write(std::string(1 << 20, '\0').data(), 1 << 20);
  checks.Expect(DropFile(program.id(), form, zeros), "a file of zeros is dropped onto Form1");
  checks.Expect(
      WaitFor(
          [&] { return WindowText(memo).ends_with("STATUS_INVALID_DEVICE_REQUEST\r\ndetected: empty (all zeros)"); },
          10000),
      "what the dropped file holds follows the report's error line");
  const std::string folder = "C:\\windows";
  const std::string expectedFolder = ExpectedFolderReport(folder, 'C');
  checks.Expect(DropFile(program.id(), form, folder), "a folder is dropped onto Form1");
  checks.Expect(WaitFor([&] { return WindowText(memo) == expectedFolder; }, 10000),
                "the dropped folder reports the volume of its drive letter, read through the system");
  ::PostMessageA(form, WM_CLOSE, 0, 0);
  checks.ExpectEqual(static_cast<long long>(program.WaitForExit(10000)), 0, "closing Form1 ends that run with code 0");
}

int Run(const std::string& exePath, const std::string& screenshotPath, const std::string& image) {
  Checks checks;
  const std::string designFace = CheckFontResolves(checks);
  morvel::e2e::ChildProcess program(exePath);
  if (!checks.Expect(program.started(), "MorvelTest.exe starts")) return 1;

  MainWindow w;
  w.window = morvel::e2e::WaitForProcessWindow(program.id(), "TForm1");
  if (!checks.Expect(w.window != nullptr, "Form1 appears")) return 1;
  WaitFor([&] { return ::IsWindowVisible(w.window) != FALSE; });
  using namespace morvel::main_window;
  w.memo = ::GetDlgItem(w.window, kMemoId);
  w.panel = ::GetDlgItem(w.window, kPanelId);
  w.cDriveButton = ::GetDlgItem(w.panel, kCDriveButtonId);
  w.dDriveButton = ::GetDlgItem(w.panel, kDDriveButtonId);
  w.versionButton = ::GetDlgItem(w.panel, kVersionButtonId);
  if (!checks.Expect(w.memo && w.panel && w.cDriveButton && w.dDriveButton && w.versionButton,
                     "Form1's controls exist"))
    return 1;
  CheckClasses(checks, w);
  CheckSystemMenuAndFont(checks, program.id(), designFace);

  CheckApplicationWindow(checks, w.window);
  CheckLayout(checks, w);
  CheckMinimizeAndRestore(checks, w);
  checks.ExpectEqual(WindowText(w.memo), "Memo1", "Memo1 starts with the single line \"Memo1\"");

  ClickAndCheckReport(checks, w, "C DRIVE writes the ten-line report ending in the query's error");
  CheckEnterAddsNoLine(checks, w);
  CheckDefaultErrorReport(checks, w, program.id());
  ClickAndCheckReport(checks, w, "after the error report, C DRIVE writes the report anew");

  ::Sleep(500);  // let the window repaint before the picture is taken
  checks.Expect(morvel::e2e::SaveScreenBitmap(screenshotPath), "screenshot saved to " + screenshotPath);

  ::PostMessageA(w.window, WM_CLOSE, 0, 0);
  checks.ExpectEqual(static_cast<long long>(program.WaitForExit(10000)), 0,
                     "closing Form1 ends the program with code 0");
  CheckTargets(checks, exePath, image, screenshotPath);

  std::printf("%d check(s) failed\n", checks.failures());
  return checks.failures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::printf("usage: morvel_e2e_main MorvelTest.exe screenshot.bmp image\n");
    return 2;
  }
  return Run(argv[1], argv[2], argv[3]);
}
