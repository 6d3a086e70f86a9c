#include "app/win32/InfoControls.h"

#include <cstring>
#include <span>
#include <utility>

#include "app/win32/InfoIds.h"
#include "core/design/InfoWindowGeometry.h"

namespace morvel::win32 {
namespace {

using namespace info_ids;

COLORREF ToColor(const Colour& c) {
  return c.system ? ::GetSysColor(static_cast<int>(c.value)) : static_cast<COLORREF>(c.value);
}

Font CreateDesignFont(const FontDesign& f) {
  LOGFONTA lf{};
  lf.lfHeight = f.height;
  lf.lfWeight = FW_NORMAL;
  lf.lfUnderline = f.underline ? TRUE : FALSE;
  lf.lfCharSet = f.charset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  ::lstrcpynA(lf.lfFaceName, f.name, LF_FACESIZE);
  return Font(::CreateFontIndirectA(&lf));
}

bool SameFont(const FontDesign& a, const FontDesign& b) {
  return std::strcmp(a.name, b.name) == 0 && a.height == b.height && a.underline == b.underline &&
         a.charset == b.charset;
}

// The extent of a label's text in its font, as the static control draws it: one line, "&"
// marking an accelerator. An empty text is measured as one blank, so the label keeps the
// height of its line.
SIZE MeasureText(HWND label, HFONT font) {
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(label)) + 1, '\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextA(label, text.data(), static_cast<int>(text.size()))));
  if (text.empty()) text = " ";
  const WindowDc dc = GetWindowDc(label);
  const Selection selected = Select(dc.get(), font);
  RECT r{0, 0, 0, 0};
  ::DrawTextA(dc.get(), text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

Box ChildBox(HWND child) {
  RECT r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return Box{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Place(HWND hwnd, const Box& b) {
  ::SetWindowPos(hwnd, nullptr, b.left, b.top, b.width, b.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

HMENU IdOf(const char* name) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(name))); }

}  // namespace

void RegisterPanelClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &InfoControls::PanelProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));           // IDC_ARROW
  wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));  // the window's colour
  wc.lpszClassName = kPanelClass;
  ::RegisterClassExA(&wc);  // a second registration fails harmlessly
}

HFONT InfoControls::FontFor(const FontDesign& font) {
  for (std::size_t i = 0; i < fontDesigns_.size(); ++i) {
    if (SameFont(fontDesigns_[i], font)) return fonts_[i].get();
  }
  fonts_.push_back(CreateDesignFont(font));
  fontDesigns_.push_back(font);
  return fonts_.back().get();
}

void InfoControls::Create(HWND form, HINSTANCE instance, int dpi) {
  dpi_ = dpi;
  for (const ControlDesign& original : kInfoControls) {
    const ControlDesign d = ScaleForDpi(original, dpi_);
    if (d.kind == ControlKind::Panel) {
      panel_ = ::CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, d.left, d.top, d.width,
                                 d.height, form, IdOf(d.name), instance, nullptr);
      ::SetWindowLongPtrA(panel_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      continue;
    }
    DWORD style = WS_CHILD | (d.visible ? WS_VISIBLE : 0u);
    if (d.kind == ControlKind::Image) {
      style |= SS_ICON | SS_REALSIZECONTROL;
    } else {
      style |= SS_LEFTNOWORDWRAP | (d.onClick != nullptr ? SS_NOTIFY : 0u) | (d.centreVertically ? SS_CENTERIMAGE : 0u);
    }
    HWND hwnd = ::CreateWindowExA(0, "STATIC", d.caption != nullptr ? d.caption : "", style, d.left, d.top, d.width,
                                  d.height, panel_, IdOf(d.name), instance, nullptr);
    controls_.push_back({d, hwnd, nullptr});
  }
  ApplyDesign();
}

// Every control at its design position, each label in its design font, for the DPI.
void InfoControls::ApplyDesign() {
  std::vector<Font> previous = std::exchange(fonts_, {});  // in use until every label has its new font
  fontDesigns_.clear();
  for (Entry& c : controls_) {
    c.design = ScaleForDpi(*FindInfoControl(c.design.name), dpi_);
    Place(c.hwnd, Box{c.design.left, c.design.top, c.design.width, c.design.height});
    if (c.design.kind != ControlKind::Label) continue;
    c.font = FontFor(c.design.font.value_or(ScaleForDpi(kInfoWindow.font, dpi_)));
    ::SendMessageA(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.font), TRUE);
  }
}

void InfoControls::ChangeDpi(int dpi) {
  dpi_ = dpi;
  ApplyDesign();
}

HWND InfoControls::Control(int id) const { return ::GetDlgItem(panel_, id); }

const InfoControls::Entry* InfoControls::Find(HWND hwnd) const {
  for (const Entry& c : controls_) {
    if (c.hwnd == hwnd) return &c;
  }
  return nullptr;
}

void InfoControls::SetText(int id, const std::string& text) { ::SetWindowTextA(Control(id), text.c_str()); }

std::string InfoControls::Text(int id) const {
  HWND hwnd = Control(id);
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(hwnd)) + 1, '\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

void InfoControls::SetIcon(HICON icon) {
  icon_.reset(icon != nullptr ? ::CopyIcon(icon) : nullptr);
  ::SendMessageA(Control(kAppIcon), STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);
}

void InfoControls::AutoSize(HWND form) {
  std::vector<PanelChild> children;
  for (const Entry& c : controls_) {
    Box box = ChildBox(c.hwnd);
    if (c.design.kind == ControlKind::Label) {
      const SIZE text = MeasureText(c.hwnd, c.font);
      box = LabelBox(c.design, text.cx, text.cy);
      Place(c.hwnd, box);
    }
    children.push_back({box, (::GetWindowLongA(c.hwnd, GWL_STYLE) & WS_VISIBLE) != 0});
  }
  const FittedPanel fitted = FitPanel(children, ScaleForDpi(kPanelBorderWidth, dpi_));
  for (std::size_t i = 0; i < controls_.size(); ++i) Place(controls_[i].hwnd, fitted.children[i]);
  Place(panel_, fitted.panel);

  RECT window, client;
  ::GetWindowRect(form, &window);
  ::GetClientRect(form, &client);
  const Box current{window.left, window.top, window.right - window.left, window.bottom - window.top};
  const Box outer = WindowForClient(current, fitted.clientWidth, fitted.clientHeight, current.width - client.right,
                                    current.height - client.bottom);
  ::SetWindowPos(form, nullptr, 0, 0, outer.width, outer.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK InfoControls::PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<InfoControls*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  return self->PanelMessage(hwnd, msg, wParam, lParam);
}

LRESULT InfoControls::PanelMessage(HWND panel, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CTLCOLORSTATIC: {
      // Transparent labels on the white panel, each in its font's colour.
      HDC dc = reinterpret_cast<HDC>(wParam);
      const Entry* c = Find(reinterpret_cast<HWND>(lParam));
      const FontDesign font = c != nullptr ? c->design.font.value_or(kInfoWindow.font) : kInfoWindow.font;
      ::SetTextColor(dc, ToColor(font.colour));
      ::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    }
    case WM_SETCURSOR: {
      const Entry* c = Find(reinterpret_cast<HWND>(wParam));
      if (c != nullptr && c->design.handCursor) {
        ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
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

}  // namespace morvel::win32
