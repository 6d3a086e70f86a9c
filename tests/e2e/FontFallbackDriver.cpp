// Drives MorvelTest.exe in a Wine prefix without the project's font replacement: the design's
// face "ＭＳ ゴシック" then resolves to whatever Japanese face the machine has (a desktop's
// fonts-droid-fallback has no Latin glyphs), and the buttons' font must still draw "C DRIVE".
// Usage: morvel_e2e_font MorvelTest.exe screenshot.bmp
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/design/MainWindowDesign.h"
#include "tests/e2e/E2eDriver.h"

namespace {

using morvel::e2e::Checks;

struct Resolved {
  std::string face;
  long missing = 0;  // glyphs of "C DRIVE" the face lacks
};

// The design's font as this prefix resolves it, outside the program.
Resolved ResolveDesignFont() {
  LOGFONTW font{};
  font.lfHeight = morvel::main_window::kMainWindow.font.height;
  font.lfCharSet = morvel::main_window::kMainWindow.font.charset;
  ::lstrcpyW(font.lfFaceName, L"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF");
  const morvel::win32::Font handle(::CreateFontIndirectW(&font));
  const morvel::win32::MemoryDc dc(::CreateCompatibleDC(nullptr));
  const morvel::win32::Selection selected = morvel::win32::Select(dc.get(), handle.get());
  wchar_t face[LF_FACESIZE] = {};
  ::GetTextFaceW(dc.get(), LF_FACESIZE, face);
  char utf8[LF_FACESIZE * 3] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, face, -1, utf8, sizeof utf8, nullptr, nullptr);
  WORD glyphs[7] = {};
  ::GetGlyphIndicesW(dc.get(), L"C DRIVE", 7, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
  return {utf8, static_cast<long>(std::count(glyphs, glyphs + 7, WORD{0xFFFF}))};
}

int Run(const std::string& exePath, const std::string& screenshotPath) {
  Checks checks;
  const Resolved design = ResolveDesignFont();
  std::printf(
      "     without the replacement the design's face resolves to \"%s\", lacking %ld glyph(s) of "
      "\"C DRIVE\"\n",
      design.face.c_str(), design.missing);
  morvel::e2e::ChildProcess program(exePath);
  if (!checks.Expect(program.started(), "MorvelTest.exe starts")) return 1;
  HWND form = morvel::e2e::WaitForProcessWindow(program.id(), "TForm1");
  if (!checks.Expect(form != nullptr, "Form1 appears")) return 1;
  const std::string facts = morvel::e2e::ProbeProcess(program.id());
  std::printf("%s", facts.c_str());
  checks.Expect(facts.find("missing glyphs of \"C DRIVE\": 0\n") != std::string::npos,
                "the buttons' font draws every character of \"C DRIVE\"");
  if (design.missing > 0)
    checks.Expect(facts.find("button font: " + design.face + "\n") == std::string::npos,
                  "the program fell back from the design's face, which lacks the captions' glyphs");
  return morvel::e2e::CloseAndConclude(checks, program, form, screenshotPath);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: morvel_e2e_font MorvelTest.exe screenshot.bmp\n");
    return 2;
  }
  return Run(argv[1], argv[2]);
}
