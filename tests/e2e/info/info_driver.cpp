// Drives MorvelTest.exe's information window under Wine: opens it with "Version", reads its
// texts back, creates the desktop shortcut twice and loads it back, provokes a failing
// shortcut, saves a picture of the window, closes it with a key and checks the main window
// takes input again. Prints one line per check; exit status 1 when any check failed.
//
//   info_driver MorvelTest.exe picture.bmp
#include <objidl.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/win32/InfoIds.h"
#include "core/design/MainWindowDesign.h"
#include "platform/win32/Win32Scoped.h"
#include "platform/win32/desktop/Win32SystemApi.h"
#include "tests/e2e/E2eDriver.h"
#include "tests/e2e/info/info_checks.h"

namespace {

using namespace morvel;
using namespace morvel::win32::info_ids;
using e2e::Checks;
using e2e::WindowText;

HWND WaitForWindow(DWORD pid, const char* cls, const char* title = nullptr) {
  return e2e::WaitForProcessWindow(pid, cls, title);
}
bool WaitGone(HWND hwnd) {
  return e2e::WaitFor([&] { return !::IsWindow(hwnd); });
}

void ClickLabel(HWND label) {
  ::PostMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  ::PostMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// Lets the window finish what it was asked; a sent message is handled before posted ones,
// so checks that depend on a posted click wait for their result instead.
void Settle(HWND hwnd) {
  DWORD_PTR r = 0;
  ::SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
  ::Sleep(300);
}

std::string DesktopFolder() {
  char path[MAX_PATH] = {};
  ::SHGetSpecialFolderPathA(nullptr, path, CSIDL_DESKTOP, FALSE);
  return path;
}

struct LinkFields {
  bool loaded = false;
  std::string path, arguments, directory;
};
LinkFields LoadLink(const std::string& file) {
  LinkFields f;
  win32::Com<IShellLinkA> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put()))) {
    return f;
  }
  win32::Com<IPersistFile> persist;
  if (FAILED(link->QueryInterface(IID_IPersistFile, persist.put()))) return f;
  const std::wstring wide = std::filesystem::path(file).wstring();
  if (FAILED(persist->Load(wide.c_str(), STGM_READ))) return f;
  char buffer[MAX_PATH] = {};
  link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
  f.path = buffer;
  link->GetArguments(buffer, MAX_PATH);
  f.arguments = buffer;
  link->GetWorkingDirectory(buffer, MAX_PATH);
  f.directory = buffer;
  f.loaded = true;
  return f;
}

FILETIME WriteTime(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}
void AgeFile(const std::string& file) {
  const win32::File h(::CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME old{0x80000000u, 0x01BF53EBu};  // early 2000
  if (h) ::SetFileTime(h.get(), nullptr, nullptr, &old);
}

// Saves the window as it shows on the screen, as a 24-bit bitmap file.
bool SaveWindowPicture(HWND hwnd, const std::string& file) {
  RECT r;
  ::GetWindowRect(hwnd, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const win32::WindowDc screen = win32::GetWindowDc(nullptr);
  const win32::MemoryDc mem(::CreateCompatibleDC(screen.get()));
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const win32::Bitmap bmp(::CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bmp) return false;
  {
    const win32::Selection selected = win32::Select(mem.get(), bmp.get());
    ::BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
    ::GdiFlush();
  }
  const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3);
  const DWORD size = stride * static_cast<DWORD>(h);
  BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader + size), 0, 0,
                      static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader)};
  bool ok = false;
  if (FILE* out = std::fopen(file.c_str(), "wb")) {
    ok = std::fwrite(&fh, sizeof fh, 1, out) == 1 && std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, out) == 1 &&
         std::fwrite(bits, size, 1, out) == 1;
    std::fclose(out);
  }
  return ok;
}

// The panel fills the client area from its origin, and the window stands centred on the work
// area measured from the screen's origin.
void CheckGeometry(Checks& checks, HWND info, HWND panel) {
  RECT client, window, work;
  ::GetClientRect(info, &client);
  ::GetWindowRect(info, &window);
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  checks.ExpectEqual(e2e::Describe(e2e::ChildBounds(panel)), e2e::Describe(RECT{0, 0, client.right, client.bottom}),
                     "PnlBack fills the client area");
  const long left = (work.right - work.left - (window.right - window.left)) / 2;
  const long top = (work.bottom - work.top - (window.bottom - window.top)) / 2;
  checks.ExpectEqual(window.left, left, "window left centred on the work area");
  checks.ExpectEqual(window.top, top, "window top centred on the work area");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: morvel_info_driver MorvelTest.exe picture.bmp\n");
    return 2;
  }
  ::CoInitialize(nullptr);
  char full[MAX_PATH] = {};
  ::GetFullPathNameA(argv[1], MAX_PATH, full, nullptr);
  const std::string exe = full;
  const std::string exeDir = exe.substr(0, exe.find_last_of('\\'));
  auto system = MakeWin32SystemApi();
  Checks checks;
  CheckVersionResource(checks, *system, exe);

  e2e::ChildProcess program(exe);
  if (!checks.Expect(program.started(), "start " + exe)) return 1;
  const DWORD pid = program.id();
  HWND mainWindow = WaitForWindow(pid, "TForm1", "Morveltest Ver.0.6.1.7 - Form1");
  if (!checks.Expect(mainWindow != nullptr, "main window captioned \"Morveltest Ver.0.6.1.7 - Form1\"")) return 1;
  // The application window stands for the program on the taskbar.
  HWND appWindow = ::GetWindow(mainWindow, GW_OWNER);
  checks.Expect(appWindow != nullptr && ::IsWindowVisible(appWindow), "application window shown");
  HWND version = ::GetDlgItem(::GetDlgItem(mainWindow, main_window::kPanelId), main_window::kVersionButtonId);
  checks.ExpectEqual(WindowText(version), "Version", "\"Version\" button");
  ::PostMessageA(version, BM_CLICK, 0, 0);

  HWND info = WaitForWindow(pid, kWindowClass);
  if (!checks.Expect(info != nullptr, "\"Version\" opens the information window")) return 1;
  checks.ExpectEqual(WindowText(info), "Morveltest Ver.0.6.1.7 - InfoForm", "information window caption");
  checks.Expect(!::IsWindowEnabled(mainWindow), "main window takes no input while it is up");
  checks.Expect(!::IsWindowVisible(appWindow), "application window hidden while it is up (no taskbar entry)");
  HWND panel = ::GetDlgItem(info, kPnlBack);
  CheckGeometry(checks, info, panel);
  auto label = [&](int id) { return ::GetDlgItem(panel, id); };
  CheckInfoLabels(checks, *system, exe, [&](int id) { return WindowText(label(id)); });
  checks.Expect(!::IsWindowVisible(label(kLblLaunchOnStartup)), "\"Startup\" shortcut link hidden");
  checks.Expect(!::IsWindowVisible(label(kLblOpenStartup)), "\"Startup\" folder link hidden");
  // Every control painted before the picture is taken.
  ::RedrawWindow(info, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Settle(info);
  checks.Expect(SaveWindowPicture(info, argv[2]), std::string("picture saved: ") + argv[2]);

  // The desktop shortcut: written, a link to the program; a second click writes it again.
  const std::string lnk = DesktopFolder() + "\\MorvelTest.lnk";
  std::filesystem::remove_all(lnk);
  HWND desktopLink = label(kLblLaunchOnDesktop);
  ClickLabel(desktopLink);
  e2e::WaitFor([&] { return LoadLink(lnk).loaded; });
  const LinkFields link = LoadLink(lnk);
  checks.Expect(link.loaded, "shortcut written: " + lnk);
  checks.ExpectEqual(link.path, exe, "shortcut target");
  checks.ExpectEqual(link.arguments, "/starup", "shortcut arguments");
  checks.ExpectEqual(link.directory, exeDir, "shortcut working directory");
  AgeFile(lnk);
  const FILETIME aged = WriteTime(lnk);
  ClickLabel(desktopLink);
  const bool rewritten = e2e::WaitFor([&] {
    const FILETIME now = WriteTime(lnk);
    return ::CompareFileTime(&aged, &now) < 0 && LoadLink(lnk).loaded;
  });
  checks.Expect(rewritten, "second click writes the same file again");

  // A shortcut that cannot be saved (a folder stands in its place) reaches the error report;
  // the information window stays open.
  std::filesystem::remove_all(lnk);
  std::filesystem::create_directory(lnk);
  ClickLabel(desktopLink);
  HWND box = WaitForWindow(pid, "#32770", "Morveltest");
  if (checks.Expect(box != nullptr, "failing shortcut brings up the error report titled \"Morveltest\"")) {
    const std::string text = WindowText(::GetDlgItem(box, 0xFFFF));
    checks.Expect(!text.empty() && text.back() == '.', "error report text: " + text);
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitGone(box);
  }
  std::filesystem::remove_all(lnk);
  checks.Expect(::IsWindow(info) && ::IsWindowVisible(info), "information window still open after the error");

  // Any key closes the window, a lone Shift too; then the main window takes input again.
  ::PostMessageA(info, WM_KEYDOWN, VK_SHIFT, 1);
  checks.Expect(WaitGone(info), "Shift closes the information window");
  checks.Expect(e2e::WaitFor([&] { return ::IsWindowEnabled(mainWindow) != FALSE; }), "main window takes input again");
  checks.Expect(::IsWindowVisible(appWindow) != FALSE, "application window shown again");

  // Opening again recreates the window; Alt closes it too.
  ::PostMessageA(version, BM_CLICK, 0, 0);
  info = WaitForWindow(pid, kWindowClass);
  if (checks.Expect(info != nullptr, "information window opens again")) {
    ::PostMessageA(info, WM_SYSKEYDOWN, VK_MENU, 1 | (1 << 29));
    checks.Expect(WaitGone(info), "Alt closes it");
  }
  // The close box: WM_CLOSE arrives as a sent message.
  ::PostMessageA(version, BM_CLICK, 0, 0);
  info = WaitForWindow(pid, kWindowClass);
  if (checks.Expect(info != nullptr, "information window opens a third time")) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(info, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result);
    checks.Expect(WaitGone(info), "WM_CLOSE closes it");
  }

  ::PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  checks.ExpectEqual(static_cast<long long>(program.WaitForExit(20000)), 0, "program ends with exit code 0");
  std::printf("%s\n", checks.failures() == 0 ? "all checks passed" : "some checks failed");
  return checks.failures() == 0 ? 0 : 1;
}
