// MorvelTest.exe on a screen of 144 DPI (the Wine prefix says so): Form1's design is scaled by
// 144 / 96, its controls as well as its font. Usage: morvel_e2e_dpi MorvelTest.exe screenshot.bmp
#include <windows.h>

#include <cstdio>
#include <string>

#include "core/design/Dpi.h"
#include "core/design/MainWindowDesign.h"
#include "tests/e2e/E2eDriver.h"

namespace {

using morvel::e2e::Checks;
using morvel::e2e::ChildBounds;
using morvel::e2e::Describe;

constexpr int kDpi = 144;

std::string Scaled(const morvel::main_window::ControlDesign& design) {
  const auto s = morvel::ScaleForDpi(design, kDpi);
  return Describe(RECT{s.left, s.top, s.width, s.height});
}

int Run(const std::string& exePath, const std::string& screenshotPath) {
  Checks checks;
  {
    const morvel::win32::WindowDc screen = morvel::win32::GetWindowDc(nullptr);
    checks.ExpectEqual(::GetDeviceCaps(screen.get(), LOGPIXELSY), kDpi, "the screen has 144 DPI");
  }
  morvel::e2e::ChildProcess program(exePath);
  if (!checks.Expect(program.started(), "MorvelTest.exe starts")) return 1;
  HWND form = morvel::e2e::WaitForProcessWindow(program.id(), "TForm1");
  if (!checks.Expect(form != nullptr, "Form1 appears")) return 1;
  morvel::e2e::WaitFor([&] { return ::IsWindowVisible(form) != FALSE; });

  using namespace morvel::main_window;
  RECT client{};
  ::GetClientRect(form, &client);
  checks.ExpectEqual(std::to_string(client.right) + "x" + std::to_string(client.bottom), "906x710",
                     "Form1's client area is the design's 604x473 at 144 DPI");
  HWND panel = ::GetDlgItem(form, kPanelId);
  checks.ExpectEqual(Describe(ChildBounds(panel)), "0,0 906x62", "Panel1 bounds");
  checks.ExpectEqual(Describe(ChildBounds(::GetDlgItem(form, kMemoId))), "0,62 906x648", "Memo1 bounds");
  checks.ExpectEqual(Describe(ChildBounds(::GetDlgItem(panel, kCDriveButtonId))), "12,12 113x38", "Button1 bounds");
  checks.ExpectEqual(Describe(ChildBounds(::GetDlgItem(panel, kVersionButtonId))), Scaled(MainWindowControl("Button3")),
                     "Button3 bounds");
  // The memo's font: 13 pixels at 96 DPI (lines 14 pixels apart), 20 at 144. Its handle belongs
  // to the program, so the font is measured by where the memo puts a second line.
  HWND memo = ::GetDlgItem(form, kMemoId);
  ::SendMessageA(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Memo1\r\nMemo1"));
  const auto first = static_cast<DWORD>(::SendMessageA(memo, EM_POSFROMCHAR, 0, 0));
  const auto second = static_cast<DWORD>(::SendMessageA(memo, EM_POSFROMCHAR, 7, 0));
  const int lineHeight = static_cast<int>(HIWORD(second)) - static_cast<int>(HIWORD(first));
  std::printf("     the memo's lines are %d pixels apart\n", lineHeight);
  checks.Expect(lineHeight >= 20 && lineHeight <= 24, "the memo's font is scaled (lines 20 to 24 pixels apart)");

  return morvel::e2e::CloseAndConclude(checks, program, form, screenshotPath);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: morvel_e2e_dpi MorvelTest.exe screenshot.bmp\n");
    return 2;
  }
  return Run(argv[1], argv[2]);
}
