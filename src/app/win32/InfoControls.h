#pragma once
// The controls of the information window: the white panel PnlBack and, on it, the icon and
// the labels, built from the core's design scaled for the window's DPI. Labels are static
// controls that notify clicks; they never take the focus, so every key goes to the window.
#include <windows.h>

#include <string>
#include <vector>

#include "core/design/Dpi.h"
#include "core/design/InfoWindowDesign.h"
#include "platform/win32/Win32Scoped.h"

namespace morvel::win32 {

void RegisterPanelClass(HINSTANCE instance);

class InfoControls {
 public:
  InfoControls() = default;
  InfoControls(const InfoControls&) = delete;
  InfoControls& operator=(const InfoControls&) = delete;

  // Creates PnlBack on `form` and every control on it at its design position for `dpi`.
  void Create(HWND form, HINSTANCE instance, int dpi);
  // The control with the id `id` (info_ids).
  HWND Control(int id) const;
  void SetText(int id, const std::string& text);
  std::string Text(int id) const;
  // AppIcon shows a copy of `icon`.
  void SetIcon(HICON icon);
  // Labels fit their texts; PnlBack fits its visible controls; the window's client area fits
  // PnlBack, which moves to the client origin.
  void AutoSize(HWND form);
  // Fonts and design positions for a new DPI; AutoSize fits them afterwards.
  void ChangeDpi(int dpi);

  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  struct Entry {
    ControlDesign design;  // scaled for the DPI
    HWND hwnd = nullptr;
    HFONT font = nullptr;
  };
  HFONT FontFor(const FontDesign& font);
  const Entry* Find(HWND hwnd) const;
  void ApplyDesign();
  LRESULT PanelMessage(HWND panel, UINT msg, WPARAM wParam, LPARAM lParam);

  int dpi_ = kDesignDpi;
  HWND panel_ = nullptr;         // a child of the window: it goes with the window
  std::vector<Entry> controls_;  // on the panel, in the design's order
  std::vector<Font> fonts_;
  std::vector<FontDesign> fontDesigns_;
  Icon icon_;
};

}  // namespace morvel::win32
