// Loaded into MorvelTest.exe by an end-to-end driver (LoadLibraryW in a thread the driver starts
// there): reads what only the program's own process can read under Wine, the main window's
// system menu and the font its buttons draw with, and writes it to NAME.dll.txt beside this
// file for the driver to read. See ProbeProcess in E2eDriver.h.
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "app/win32/Resource.h"
#include "core/design/MainWindowDesign.h"
#include "platform/win32/Win32Scoped.h"

namespace {

HMODULE self = nullptr;

BOOL CALLBACK FindForm(HWND window, LPARAM found) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  char className[16] = {};
  ::GetClassNameA(window, className, sizeof className);
  if (process != ::GetCurrentProcessId() || lstrcmpA(className, "TForm1") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

std::string Utf8(const wchar_t* text) {
  char utf8[256] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

std::string MenuFacts(HWND form) {
  HMENU menu = ::GetSystemMenu(form, FALSE);
  wchar_t item[64] = {};
  if (menu == nullptr || ::GetMenuStringW(menu, MORVEL_OPEN_IMAGE_COMMAND, item, 64, MF_BYCOMMAND) <= 0)
    return "menu item: (none)\n";
  const UINT state = ::GetMenuState(menu, MORVEL_OPEN_IMAGE_COMMAND, MF_BYCOMMAND);
  return "menu item: " + Utf8(item) + ((state & (MF_GRAYED | MF_DISABLED)) != 0 ? " (disabled)" : "") + "\n";
}

std::string FontFacts(HWND form) {
  HWND button = ::GetDlgItem(::GetDlgItem(form, morvel::main_window::kPanelId), morvel::main_window::kCDriveButtonId);
  const auto font = reinterpret_cast<HFONT>(::SendMessageW(button, WM_GETFONT, 0, 0));
  const morvel::win32::MemoryDc dc(::CreateCompatibleDC(nullptr));
  const morvel::win32::Selection selected = morvel::win32::Select(dc.get(), font);
  wchar_t face[LF_FACESIZE] = {};
  ::GetTextFaceW(dc.get(), LF_FACESIZE, face);
  WORD glyphs[7] = {};
  const DWORD found = ::GetGlyphIndicesW(dc.get(), L"C DRIVE", 7, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
  const auto missing = found == GDI_ERROR ? 7 : std::count(glyphs, glyphs + 7, WORD{0xFFFF});
  return "button font: " + Utf8(face) + "\nmissing glyphs of \"C DRIVE\": " + std::to_string(missing) + "\n";
}

DWORD WINAPI Probe(void*) {
  HWND form = nullptr;
  ::EnumWindows(&FindForm, reinterpret_cast<LPARAM>(&form));
  const std::string facts = form == nullptr ? "no Form1\n" : MenuFacts(form) + FontFacts(form);
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(self, path, MAX_PATH);
  // Written whole under a temporary name, then renamed: the driver never reads half of it.
  const std::wstring done = std::wstring(path) + L".txt", partial = done + L".part";
  std::ofstream(partial.c_str(), std::ios::binary) << facts;
  ::MoveFileExW(partial.c_str(), done.c_str(), MOVEFILE_REPLACE_EXISTING);
  return 0;
}

}  // namespace

// The probe runs on a thread of its own once the loader lets go of this DLL: it sends the
// button a message, which DllMain must not.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  self = instance;
  const morvel::win32::Handle thread(::CreateThread(nullptr, 0, &Probe, nullptr, 0, nullptr));
  return TRUE;
}
