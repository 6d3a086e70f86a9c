// Drives MorvelTest.exe's information window under Wine: opens it with "Version", reads its
// texts back, creates the desktop shortcut twice and loads it back, provokes a failing
// shortcut, saves a picture of the window, closes it with a key and checks the main window
// takes input again. Prints one line per check; exit status 1 when any check failed.
//
//   info_driver MorvelTest.exe picture.bmp
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "InfoIds.h"
#include "info_checks.h"
#include "Win32Scoped.h"
#include "Win32SystemApi.h"

namespace {

using namespace morvel;
using namespace morvel::info_ids;

int failures = 0;

// Waits until `find` gives a window or the time is up (about 20 s).
template <typename F>
HWND WaitFor(F find) {
  for (int i = 0; i < 200; ++i) {
    if (HWND h = find()) return h;
    ::Sleep(100);
  }
  return nullptr;
}

std::string TextOf(HWND hwnd) {
  char buffer[1024] = {};
  DWORD_PTR n = 0;
  ::SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                        &n);
  return buffer;
}

struct FindTop {
  DWORD pid;
  std::string cls, title;
  HWND found = nullptr;
};
BOOL CALLBACK VisitTop(HWND hwnd, LPARAM p) {
  auto* f = reinterpret_cast<FindTop*>(p);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  char cls[256] = {};
  ::GetClassNameA(hwnd, cls, sizeof cls);
  if (pid == f->pid && ::IsWindowVisible(hwnd) && (f->cls.empty() || f->cls == cls) &&
      (f->title.empty() || f->title == TextOf(hwnd))) {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}
HWND TopWindow(DWORD pid, const std::string& cls, const std::string& title) {
  FindTop f{pid, cls, title};
  ::EnumWindows(&VisitTop, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

struct FindChild {
  std::string text;
  HWND found = nullptr;
};
BOOL CALLBACK VisitChild(HWND hwnd, LPARAM p) {
  auto* f = reinterpret_cast<FindChild*>(p);
  if (TextOf(hwnd) == f->text) {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}
HWND ChildByText(HWND parent, const std::string& text) {
  FindChild f{text};
  ::EnumChildWindows(parent, &VisitChild, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

void ClickLabel(HWND label) {
  ::PostMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  ::PostMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// Waits until the target's message queue has handled everything posted so far.
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
  scoped::Com<IShellLinkA> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put()))) {
    return f;
  }
  scoped::Com<IPersistFile> persist;
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
  scoped::Handle h(::CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME old{0x80000000u, 0x01BF53EBu};  // early 2000
  if (h.get() != INVALID_HANDLE_VALUE) ::SetFileTime(h.get(), nullptr, nullptr, &old);
}

// Saves the window as it shows on the screen, as a 24-bit bitmap file.
bool SaveWindowPicture(HWND hwnd, const std::string& file) {
  RECT r;
  ::GetWindowRect(hwnd, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC mem = ::CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(mem, bmp);
  ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(mem, old);
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
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace

void Check(bool ok, const std::string& what, const std::string& got) {
  std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what.c_str(), got.empty() ? "" : ": ", got.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}
void CheckEq(const std::string& got, const std::string& want, const std::string& what) {
  Check(got == want, what, got == want ? got : "\"" + got + "\", expected \"" + want + "\"");
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: info_driver MorvelTest.exe picture.bmp\n");
    return 2;
  }
  ::CoInitialize(nullptr);
  char full[MAX_PATH] = {};
  ::GetFullPathNameA(argv[1], MAX_PATH, full, nullptr);
  const std::string exe = full;
  const std::string exeDir = exe.substr(0, exe.find_last_of('\\'));
  auto system = MakeWin32SystemApi();

  CheckVersionResource(*system, exe);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + exe + "\"";
  if (!::CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, exeDir.c_str(), &si, &pi)) {
    Check(false, "start " + exe);
    return 1;
  }
  scoped::Handle process(pi.hProcess), thread(pi.hThread);
  const DWORD pid = pi.dwProcessId;
  ::WaitForInputIdle(pi.hProcess, 20000);

  const std::string form1Caption = "Morveltest Ver.0.6.1.7 - Form1";
  HWND form1 = WaitFor([&] { return TopWindow(pid, "", form1Caption); });
  Check(form1 != nullptr, "main window caption", form1Caption);
  if (form1 == nullptr) return 1;
  HWND version = ChildByText(form1, "Version");
  Check(version != nullptr, "\"Version\" button");
  ::PostMessageA(version, BM_CLICK, 0, 0);

  HWND info = WaitFor([&] { return TopWindow(pid, kFormClass, ""); });
  Check(info != nullptr, "information window opens");
  if (info == nullptr) return 1;
  CheckEq(TextOf(info), "Morveltest Ver.0.6.1.7 - InfoForm", "information window caption");
  Check(!::IsWindowEnabled(form1), "main window takes no input while it is up");
  HWND panel = ::GetDlgItem(info, kPnlBack);
  auto label = [&](int id) { return ::GetDlgItem(panel, id); };
  CheckInfoLabels(*system, exe, [&](int id) { return TextOf(label(id)); });
  Check(!::IsWindowVisible(label(kLblLaunchOnStartup)), "\"Startup\" shortcut link hidden");
  Check(!::IsWindowVisible(label(kLblOpenStartup)), "\"Startup\" folder link hidden");
  Check(SaveWindowPicture(info, argv[2]), "picture saved", argv[2]);

  // The desktop shortcut: written, a link to the program; a second click writes it again.
  const std::string lnk = DesktopFolder() + "\\MorvelTest.lnk";
  std::filesystem::remove_all(lnk);
  HWND desktopLink = label(kLblLaunchOnDesktop);
  CheckEq(TextOf(desktopLink), "Create Shortcut into \"Desktop\"", "desktop link caption");
  ClickLabel(desktopLink);
  Settle(info);
  const LinkFields link = LoadLink(lnk);
  Check(link.loaded, "shortcut written", lnk);
  CheckEq(link.path, exe, "shortcut target");
  CheckEq(link.arguments, "/starup", "shortcut arguments");
  CheckEq(link.directory, exeDir, "shortcut working directory");
  AgeFile(lnk);
  const FILETIME aged = WriteTime(lnk);
  ClickLabel(desktopLink);
  Settle(info);
  const FILETIME again = WriteTime(lnk);
  Check(::CompareFileTime(&aged, &again) < 0 && LoadLink(lnk).loaded, "second click writes the same file again");

  // A shortcut that cannot be saved (a folder stands in its place) reaches the error report;
  // the information window stays open.
  std::filesystem::remove_all(lnk);
  std::filesystem::create_directory(lnk);
  ClickLabel(desktopLink);
  HWND box = WaitFor([&] { return TopWindow(pid, "#32770", "Morveltest"); });
  Check(box != nullptr, "failing shortcut shows the error report titled \"Morveltest\"");
  if (box != nullptr) {
    HWND text = ::GetDlgItem(box, 0xFFFF);
    Check(!TextOf(text).empty(), "error report text", TextOf(text));
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return ::IsWindow(box) ? nullptr : info; });
  }
  std::filesystem::remove_all(lnk);
  Check(::IsWindow(info) && ::IsWindowVisible(info), "information window still open after the error");

  // Any key closes the window, a lone Shift too; then the main window takes input again.
  ::PostMessageA(info, WM_KEYDOWN, VK_SHIFT, 1);
  WaitFor([&] { return ::IsWindow(info) ? nullptr : form1; });
  Check(!::IsWindow(info), "Shift closes the information window");
  Check(::IsWindowEnabled(form1) != FALSE, "main window takes input again");

  // Opening again recreates the window and its texts.
  ::PostMessageA(version, BM_CLICK, 0, 0);
  info = WaitFor([&] { return TopWindow(pid, kFormClass, ""); });
  Check(info != nullptr, "information window opens again");
  if (info != nullptr) {
    ::PostMessageA(info, WM_KEYDOWN, 'A', 1);
    WaitFor([&] { return ::IsWindow(info) ? nullptr : form1; });
    Check(!::IsWindow(info), "a letter key closes it");
  }

  ::PostMessageA(form1, WM_CLOSE, 0, 0);
  Check(::WaitForSingleObject(process.get(), 20000) == WAIT_OBJECT_0, "program ends when the main window closes");
  std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks failed");
  return failures == 0 ? 0 : 1;
}
