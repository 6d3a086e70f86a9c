#include "InfoControls.h"

#include "InfoIds.h"

namespace morvel {
namespace {

using namespace info_ids;

const COLORREF kWhite = RGB(255, 255, 255);

HFONT CreateDesignFont(const FontDesign& f) {
  LOGFONTA lf{};
  lf.lfHeight = f.height;
  lf.lfWeight = FW_NORMAL;
  lf.lfUnderline = f.underline ? TRUE : FALSE;
  lf.lfCharSet = ANSI_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  lstrcpynA(lf.lfFaceName, f.name.c_str(), LF_FACESIZE);
  return ::CreateFontIndirectA(&lf);
}

bool SameFont(const FontDesign& a, const FontDesign& b) {
  return a.name == b.name && a.height == b.height && a.underline == b.underline;
}

// The size a label takes for its text in its font: one line, "&" marks an accelerator as the
// static control draws it; an empty text is measured as one blank, so the label keeps its
// line's height.
SIZE MeasureLabel(HWND label, HFONT font) {
  char buffer[1024] = {};
  ::GetWindowTextA(label, buffer, sizeof buffer);
  std::string text = buffer[0] == '\0' ? std::string(" ") : std::string(buffer);
  HDC dc = ::GetDC(label);
  HGDIOBJ old = ::SelectObject(dc, font);
  RECT r{0, 0, 0, 0};
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT ChildRect(HWND child) {
  RECT r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

HICON ApplicationIcon(HINSTANCE instance) {
  // The application's icon is the module's first icon group, the one the shell shows.
  const char* name = nullptr;
  char found[64] = {};
  ::EnumResourceNamesA(
      instance, RT_GROUP_ICON,
      [](HMODULE, LPCSTR, LPSTR n, LONG_PTR out) -> BOOL {
        auto* slot = reinterpret_cast<char*>(out);
        if (IS_INTRESOURCE(n)) {
          wsprintfA(slot, "#%u", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(n)));
        } else {
          lstrcpynA(slot, n, 64);
        }
        return FALSE;  // the first is enough
      },
      reinterpret_cast<LONG_PTR>(found));
  if (found[0] != '\0') name = found;
  HICON icon = name != nullptr ? ::LoadIconA(instance, name) : nullptr;
  return icon != nullptr ? icon : ::LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
}

}  // namespace

void RegisterPanelClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &InfoControls::PanelProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));  // ParentColor: white
  wc.lpszClassName = kPanelClass;
  ::RegisterClassExA(&wc);
}

HFONT InfoControls::FontFor(const FontDesign& font) {
  for (std::size_t i = 0; i < fontDesigns_.size(); ++i) {
    if (SameFont(fontDesigns_[i], font)) return fonts_[i].get();
  }
  fonts_.emplace_back(CreateDesignFont(font));
  fontDesigns_.push_back(font);
  return fonts_.back().get();
}

void InfoControls::Create(HWND form, HINSTANCE instance) {
  const InfoWindowDesign& design = FormDesign();
  const ControlDesign& pnl = design.panel;
  panel_ =
      ::CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, pnl.left, pnl.top, pnl.width,
                        pnl.height, form, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPnlBack)), instance, nullptr);
  ::SetWindowLongPtrA(panel_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  for (const ControlDesign& c : design.controls) {
    DWORD style = WS_CHILD | (c.visible ? WS_VISIBLE : 0u);
    if (c.kind == ControlKind::Image) {
      style |= SS_ICON | SS_REALSIZECONTROL;
    } else {
      style |= SS_LEFTNOWORDWRAP | (c.clickable ? SS_NOTIFY : 0u) | (c.centerVertically ? SS_CENTERIMAGE : 0u);
    }
    HWND hwnd = ::CreateWindowExA(0, "STATIC", c.caption.c_str(), style, c.left, c.top, c.width, c.height, panel_,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    windows_[c.id] = hwnd;
    if (c.kind == ControlKind::Image) continue;
    Label label{hwnd, FontFor(c.font), c.font.color, c.handCursor};
    ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(label.font), FALSE);
    labels_[hwnd] = label;
  }
}

void InfoControls::SetText(int id, const std::string& text) { ::SetWindowTextA(windows_.at(id), text.c_str()); }

std::string InfoControls::Text(int id) const {
  HWND hwnd = windows_.at(id);
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(hwnd)) + 1, '\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

void InfoControls::SetIcon(HINSTANCE instance) {
  icon_.reset(::CopyIcon(ApplicationIcon(instance)));
  ::SendMessageA(windows_.at(kAppIcon), STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);
}

void InfoControls::AutoSize(HWND form) {
  for (auto& [hwnd, label] : labels_) {
    const SIZE size = MeasureLabel(hwnd, label.font);
    ::SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  std::vector<ChildBounds> children;
  for (const auto& [id, hwnd] : windows_) {
    const RECT r = ChildRect(hwnd);
    children.push_back(
        {id, (::GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0, r.left, r.top, r.right - r.left, r.bottom - r.top});
  }
  const FittedLayout layout = FitInfoLayout(children);
  for (const ChildBounds& c : layout.children) {
    ::SetWindowPos(windows_.at(c.id), nullptr, c.left, c.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::SetWindowPos(panel_, nullptr, 0, 0, layout.panelWidth, layout.panelHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT outer{0, 0, layout.panelWidth, layout.panelHeight};
  ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongA(form, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongA(form, GWL_EXSTYLE)));
  ::SetWindowPos(form, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK InfoControls::PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<InfoControls*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  return self->PanelMessage(hwnd, msg, wParam, lParam);
}

LRESULT InfoControls::PanelMessage(HWND panel, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CTLCOLORSTATIC: {
      // Transparent labels on the white panel, each in its own colour.
      HDC dc = reinterpret_cast<HDC>(wParam);
      const auto it = labels_.find(reinterpret_cast<HWND>(lParam));
      ::SetTextColor(dc, it != labels_.end() ? it->second.color : ::GetSysColor(COLOR_WINDOWTEXT));
      ::SetBkColor(dc, kWhite);
      ::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    }
    case WM_SETCURSOR: {
      const auto it = labels_.find(reinterpret_cast<HWND>(wParam));
      if (it != labels_.end() && it->second.handCursor) {
        ::SetCursor(::LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case WM_COMMAND:
      // Clicks on the labels belong to the window's handlers.
      return ::SendMessageA(::GetParent(panel), msg, wParam, lParam);
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(panel, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return ::DefWindowProcA(panel, msg, wParam, lParam);
}

}  // namespace morvel
