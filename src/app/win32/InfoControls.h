#pragma once
// The controls of the information window: the white panel PnlBack and, on it, the icon and
// the labels, built from the core's design. Labels are static controls that notify clicks;
// they never take the focus, so every key goes to the window itself.
#include <windows.h>

#include <string>
#include <vector>

#include "core/design/InfoDesign.h"
#include "platform/win32/Win32Scoped.h"

namespace morvel {

void RegisterPanelClass(HINSTANCE instance);

class InfoControls {
 public:
  InfoControls() = default;
  InfoControls(const InfoControls&) = delete;
  InfoControls& operator=(const InfoControls&) = delete;

  // Creates PnlBack on `form` and every control on it at its design position.
  void Create(HWND form, HINSTANCE instance);
  // The control named `name` in the design.
  HWND Window(const char* name) const;
  void SetText(const char* name, const std::string& text);
  std::string Text(const char* name) const;
  // AppIcon shows a copy of `icon`.
  void SetIcon(HICON icon);
  // Labels fit their texts; PnlBack fits its visible controls; the window's client area fits
  // PnlBack, which moves to the client origin.
  void AutoSize(HWND form);

  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  struct Control {
    const ControlDesign* design = nullptr;
    HWND hwnd = nullptr;
    HFONT font = nullptr;
  };
  HFONT FontFor(const FontDesign& font);
  const Control* Find(HWND hwnd) const;
  LRESULT PanelMessage(HWND panel, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND panel_ = nullptr;
  std::vector<Control> controls_;  // on the panel, in the design's order
  std::vector<scoped::Font> fonts_;
  std::vector<FontDesign> fontDesigns_;
  scoped::Icon icon_;
};

}  // namespace morvel
