#pragma once
// The controls of the information window: the white panel PnlBack and, on it, the icon and
// the labels, built from the window design. Labels are static controls that notify clicks;
// they never take the focus, so every key goes to the window itself.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "InfoBridge.h"
#include "Win32Scoped.h"

namespace morvel {

void RegisterPanelClass(HINSTANCE instance);

class InfoControls {
 public:
  // Creates PnlBack on `form` and every control on it at its design position.
  void Create(HWND form, HINSTANCE instance);
  void SetText(int id, const std::string& text);
  std::string Text(int id) const;
  // AppIcon shows a copy of the application's icon.
  void SetIcon(HINSTANCE instance);
  // Labels fit their texts; PnlBack fits its visible controls; the window's client area fits
  // PnlBack, which moves to the client origin.
  void AutoSize(HWND form);

  // For the panel's window procedure.
  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  struct Label {
    HWND hwnd = nullptr;
    HFONT font = nullptr;
    COLORREF color = 0;
    bool handCursor = false;
  };
  HFONT FontFor(const FontDesign& font);
  LRESULT PanelMessage(HWND panel, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND panel_ = nullptr;
  std::map<int, HWND> windows_;
  std::map<HWND, Label> labels_;
  std::vector<scoped::Font> fonts_;
  std::vector<FontDesign> fontDesigns_;
  scoped::Icon icon_;
};

}  // namespace morvel
