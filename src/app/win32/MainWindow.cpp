#include "app/win32/MainWindow.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/win32/InfoWindow.h"
#include "app/win32/MemoLines.h"
#include "app/win32/Resource.h"
#include "app/win32/WindowDpi.h"
#include "base/Utf.h"
#include "core/design/MainWindowDesign.h"
#include "core/desktop/Targets.h"
#include "core/report/VolumeReport.h"
#include "core/runtime/RuntimeError.h"
#include "core/system/FileVersion.h"
#include "platform/win32/Win32Locale.h"
#include "platform/win32/desktop/Win32SystemApi.h"

namespace morvel::win32 {
namespace {

using main_window::Align;
using main_window::ControlDesign;
using main_window::ControlKind;
using main_window::FontDesign;
using main_window::kCDriveButtonId;
using main_window::kDDriveButtonId;
using main_window::kMainWindow;
using main_window::kMainWindowControls;
using main_window::kMemoId;
using main_window::kPanelId;
using main_window::kVersionButtonId;
using main_window::WindowDesign;

constexpr char kWindowClass[] = "TForm1";
constexpr char kPanelClass[] = "TPanel";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;
// Posted to the window at creation: the command line's targets are reported once it shows.
constexpr UINT kReportTargets = WM_APP + 1;

[[noreturn]] void ThrowLastError(const char* what) {
  const DWORD error = ::GetLastError();
  throw RuntimeError(RuntimeErrorKind::Other, std::string(what) + " (error " + std::to_string(error) + ")");
}

// A panel passes its buttons' notifications on to the main window, where the handlers are.
LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) return ::SendMessageA(::GetParent(window), message, wParam, lParam);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// The memo does not take Enter: outside a dialog a multi-line edit would break the line
// even without ES_WANTRETURN.
LRESULT CALLBACK MemoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto original = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_CHAR && wParam == '\r') return 0;
  return ::CallWindowProcA(original, window, message, wParam, lParam);
}

void RegisterClasses(HINSTANCE instance, HICON icon, WNDPROC windowProc) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(kMainWindow.colour.value + 1));

  wc.lpfnWndProc = windowProc;
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.lpszClassName = kWindowClass;
  ::RegisterClassExA(&wc);

  wc.lpfnWndProc = &PanelProc;
  wc.hIcon = nullptr;
  wc.hIconSm = nullptr;
  wc.lpszClassName = kPanelClass;
  ::RegisterClassExA(&wc);
}

Font CreateFaceFont(const FontDesign& design, std::u16string_view face, BYTE pitchAndFamily) {
  LOGFONTW font{};
  font.lfHeight = design.height;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = design.charset;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = pitchAndFamily;
  const std::u16string name(face);
  ::lstrcpynW(font.lfFaceName, reinterpret_cast<const wchar_t*>(name.c_str()), LF_FACESIZE);
  return Font(::CreateFontIndirectW(&font));
}

// Whether `font` has a glyph for every character of the main window's texts: its captions and
// the report, which is printable ASCII. GetGlyphIndicesW marks a missing one 0xFFFF.
bool DrawsTheTexts(HFONT font) {
  std::u16string texts;
  for (const ControlDesign& design : kMainWindowControls) texts += base::Utf8ToUtf16(design.text);
  for (char16_t c = u' '; c <= u'~'; ++c) texts += c;
  const MemoryDc dc(::CreateCompatibleDC(nullptr));
  if (!dc) return true;  // nothing to measure with: keep the font asked for
  const Selection selected = Select(dc.get(), font);
  std::vector<WORD> glyphs(texts.size());
  const DWORD found = ::GetGlyphIndicesW(dc.get(), reinterpret_cast<const wchar_t*>(texts.c_str()),
                                         static_cast<int>(texts.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  if (found == GDI_ERROR) return true;
  return std::find(glyphs.begin(), glyphs.end(), WORD{0xFFFF}) == glyphs.end();
}

// The design's font when the system has one that draws the window's texts; else a fixed-pitch
// font that does ("Courier New", then the system's fixed font): a caption is never boxes.
Font CreateDesignFont(const FontDesign& design) {
  Font font = CreateFaceFont(design, base::Utf8ToUtf16(design.face), DEFAULT_PITCH);
  if (!font) ThrowLastError("Cannot create the main window's font");
  if (DrawsTheTexts(font.get())) return font;
  const FontDesign latin{design.face, design.height, ANSI_CHARSET};
  if (Font courier = CreateFaceFont(latin, u"Courier New", FIXED_PITCH | FF_MODERN);
      courier && DrawsTheTexts(courier.get()))
    return courier;
  LOGFONTW fixed{};
  if (::GetObjectW(::GetStockObject(ANSI_FIXED_FONT), sizeof fixed, &fixed) == 0) return font;
  Font stock(::CreateFontIndirectW(&fixed));
  return stock ? std::move(stock) : std::move(font);
}

// The outer rectangle that gives the design's client area at `dpi`, centred on the screen
// when the design asks for it.
RECT WindowBounds(const WindowDesign& design, int dpi) {
  const RECT client{0, 0, ScaleForDpi(design.clientWidth, dpi), ScaleForDpi(design.clientHeight, dpi)};
  const RECT r = OuterRect(client, kWindowStyle, kWindowExStyle, dpi);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  int left = ScaleForDpi(design.left, dpi);
  int top = ScaleForDpi(design.top, dpi);
  if (design.centreOnScreen) {
    left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  }
  return RECT{left, top, left + width, top + height};
}

struct ControlStyle {
  const char* className;
  DWORD style;
  DWORD exStyle;
};

ControlStyle StyleOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Memo:
      return {
          "EDIT",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
          WS_EX_CLIENTEDGE};
    case ControlKind::Panel:
      return {kPanelClass, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
    case ControlKind::Button:
      return {"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0};
  }
  return {"STATIC", WS_CHILD, 0};
}

RECT BoundsOf(const ControlDesign& design) {
  return RECT{design.left, design.top, design.left + design.width, design.top + design.height};
}

std::string WindowText(HWND window) {
  std::vector<char> text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1);
  const int n = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

// The files of a drop, in the ANSI code page as the program speaks it.
std::vector<std::string> DroppedFiles(HDROP drop) {
  std::vector<std::string> files;
  const UINT count = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::string name(::DragQueryFileA(drop, i, nullptr, 0) + 1, '\0');
    name.resize(::DragQueryFileA(drop, i, name.data(), static_cast<UINT>(name.size())));
    if (!name.empty()) files.push_back(name);
  }
  return files;
}

// The program speaks the ANSI code page; paths are opened by their UTF-8 form.
std::string AnsiToUtf8(const std::string& text) {
  if (text.empty() || text.size() > 0x7FFFFFFF) return {};
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, reinterpret_cast<wchar_t*>(wide.data()), n);
  return base::Utf16ToUtf8(wide);
}

}  // namespace

MainWindow::MainWindow(Application& application, TargetOpener& opener, std::vector<std::string> targets)
    : application_(application), opener_(opener), drives_(opener), targets_(std::move(targets)), dpi_(SystemDpi()) {
  RegisterClasses(application.Instance(), application.MainIcon(), &WindowProc);
  font_ = CreateDesignFont(ScaleForDpi(kMainWindow.font, dpi_));
  const std::string caption(kMainWindow.caption);
  // Owned by the application window: no taskbar button of its own.
  window_ = CreateOwnedWindow(kWindowExStyle, kWindowClass, caption.c_str(), kWindowStyle,
                              WindowBounds(kMainWindow, dpi_), application.Handle(), 0, application.Instance(), this);
  if (!window_) ThrowLastError("Cannot create the main window");
  AddSystemMenuItems();
  CreateControls();
  AlignControls();
  ::DragAcceptFiles(window_.get(), TRUE);
  OnCreate();
  if (!targets_.empty()) ::PostMessageA(window_.get(), kReportTargets, 0, 0);
}

// The controls are found by their ids once made: a button's parent is the panel.
void MainWindow::CreateControls() {
  for (const ControlDesign& design : kMainWindowControls) {
    HWND parent = design.parent == kMainWindow.name ? window_.get() : panel_;
    const ControlStyle s = StyleOf(design.kind);
    const std::string text(design.text);
    // A child window is destroyed with its parent.
    HWND control =
        ::CreateWindowExA(s.exStyle, s.className, text.c_str(), s.style, 0, 0, 0, 0, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)), application_.Instance(), nullptr);
    if (control == nullptr) ThrowLastError("Cannot create a control of the main window");
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (design.id == kPanelId) panel_ = control;
  }
  memo_ = ::GetDlgItem(window_.get(), kMemoId);
  cDriveButton_ = ::GetDlgItem(panel_, kCDriveButtonId);
  dDriveButton_ = ::GetDlgItem(panel_, kDDriveButtonId);
  versionButton_ = ::GetDlgItem(panel_, kVersionButtonId);
  // No length limit beyond the control's own maximum.
  ::SendMessageA(memo_, EM_SETLIMITTEXT, 0, 0);
  ::SetWindowLongPtrA(memo_, GWLP_USERDATA, ::GetWindowLongPtrA(memo_, GWLP_WNDPROC));
  ::SetWindowLongPtrA(memo_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MemoProc));
  PlaceControls();
}

// The controls that keep their design position, scaled for the window's DPI.
void MainWindow::PlaceControls() {
  for (const ControlDesign& design : kMainWindowControls) {
    if (design.align != Align::None) continue;
    const RECT r = BoundsOf(ScaleForDpi(design, dpi_));
    HWND parent = design.parent == kMainWindow.name ? window_.get() : panel_;
    ::MoveWindow(::GetDlgItem(parent, design.id), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  }
}

// Top-aligned controls stack from the top at full width; the client-aligned one fills the rest.
void MainWindow::AlignControls() {
  if (memo_ == nullptr) return;  // still being created
  RECT client;
  ::GetClientRect(window_.get(), &client);
  int top = 0;
  for (const ControlDesign& design : kMainWindowControls) {
    if (design.parent != kMainWindow.name || design.align != Align::Top) continue;
    const int height = ScaleForDpi(design.height, dpi_);
    ::MoveWindow(::GetDlgItem(window_.get(), design.id), 0, top, client.right, height, TRUE);
    top += height;
  }
  const int rest = client.bottom > top ? client.bottom - top : 0;
  ::MoveWindow(memo_, 0, top, client.right, rest, TRUE);
}

// The window moved to a monitor of another DPI: the font and the controls follow the design
// scaled for it, in the rectangle the system suggests.
void MainWindow::ChangeDpi(int dpi, const RECT& suggested) {
  dpi_ = dpi;
  Font font = CreateDesignFont(ScaleForDpi(kMainWindow.font, dpi_));
  for (HWND control : {memo_, cDriveButton_, dDriveButton_, versionButton_}) {
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  }
  font_ = std::move(font);  // the old font goes once no control uses it
  PlaceControls();
  ::SetWindowPos(window_.get(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  AlignControls();
}

void MainWindow::OnCreate() {
  const std::unique_ptr<SystemApi> system = MakeWin32SystemApi();
  ::SetWindowTextA(window_.get(),
                   StampCaptionText(*system, application_.Title(), std::string(kMainWindow.name)).c_str());
}

void MainWindow::OnDriveButton(HWND sender) {
  MemoLines lines(memo_);
  // The separators are read at each press: a change in the regional settings shows in the next report.
  WriteDriveReport(WindowText(sender), drives_, lines, UserNumberSeparators());
}

void MainWindow::OnVersionButton(HWND) {
  ShowInfoWindow({application_.Instance(), application_.Handle(), window_.get(), application_.MainIcon(),
                  [this](const std::exception& e) { application_.ShowException(e.what()); }});
}

// Targets are opened as the console program opens them; a path's report is titled with the
// path as the program was given it.
void MainWindow::ReportTargets(const std::vector<std::string>& targets) {
  MemoLines lines(memo_);
  const TargetOpenFn open = [this](const std::string& target) {
    OpenedTarget opened = opener_.Open(AnsiToUtf8(target), {});
    return TargetVolume{opened.letter != 0 ? opened.title : target, std::move(opened.volume)};
  };
  WriteTargetReports(targets, open, lines, UserNumberSeparators(),
                     [this](const std::exception& e) { application_.ShowException(e.what()); });
}

// "Open image..." goes at the end of the window's system menu, after a separator: the window's
// design is untouched.
void MainWindow::AddSystemMenuItems() {
  HMENU menu = ::GetSystemMenu(window_.get(), FALSE);
  if (menu == nullptr) return;
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, MORVEL_OPEN_IMAGE_COMMAND, L"Open image\u2026");
}

// The file chosen is reported as a dropped file is.
void MainWindow::OpenImage() {
  char file[32768] = {};
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_.get();
  dialog.lpstrFilter =
      "Disk and volume images (*.img;*.dd;*.raw;*.vhd;*.vhdx;*.vmdk;*.qcow2;*.E01)\0"
      "*.img;*.dd;*.raw;*.bin;*.ntfs;*.iso;*.vhd;*.vhdx;*.vmdk;*.qcow;*.qcow2;*.E01;*.Ex01;*.s01\0"
      "All files (*.*)\0*.*\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrTitle = "Open image";
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (::GetOpenFileNameA(&dialog)) ReportTargets({file});
}

void MainWindow::DropFiles(HDROP drop) {
  const std::vector<std::string> files = DroppedFiles(drop);
  ::DragFinish(drop);
  if (!files.empty()) ReportTargets(files);
}

void MainWindow::DispatchClick(HWND sender) {
  if (sender == cDriveButton_ || sender == dDriveButton_) {
    application_.Guard([&] { OnDriveButton(sender); });
  } else if (sender == versionButton_) {
    application_.Guard([&] { OnVersionButton(sender); });
  }
}

void MainWindow::RememberFocus() {
  HWND focus = ::GetFocus();
  if (focus != nullptr && ::IsChild(window_.get(), focus)) focused_ = focus;
}

void MainWindow::RestoreFocus() { ::SetFocus(focused_ != nullptr && ::IsWindow(focused_) ? focused_ : memo_); }

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  // Until the window's owner holds it (during its creation) the window has nothing to do.
  if (self == nullptr || self->window_.get() != window) return ::DefWindowProcA(window, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_.get();
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) DispatchClick(reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_SIZE:
      AlignControls();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        RememberFocus();
      } else if (HIWORD(wParam) == 0) {
        RestoreFocus();
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        application_.Minimize();
        return 0;
      }
      if ((wParam & 0xFFF0) == MORVEL_OPEN_IMAGE_COMMAND) {
        application_.Guard([&] { OpenImage(); });
        return 0;
      }
      break;
    case kDpiChangedMessage:
      application_.Guard([&] { ChangeDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); });
      return 0;
    case kReportTargets:
      ReportTargets(std::exchange(targets_, {}));
      return 0;
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      // Destroyed by the system (closed): nothing is left for the owner to destroy.
      window_.release();
      ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      return ::DefWindowProcA(window, message, wParam, lParam);
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace morvel::win32
