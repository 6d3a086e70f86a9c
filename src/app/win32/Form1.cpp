#include "app/win32/Form1.h"

#include <memory>
#include <string>
#include <vector>

#include "core/system/FileVersion.h"
#include "core/design/Form1Design.h"
#include "app/win32/InfoForm.h"
#include "app/win32/MemoLines.h"
#include "core/runtime/RuntimeError.h"
#include "core/report/Unit1.h"
#include "platform/win32/Win32Locale.h"
#include "platform/win32/desktop/Win32SystemApi.h"

namespace morvel::win32 {
namespace {

constexpr char kFormClass[] = "TForm1";
constexpr char kPanelClass[] = "TPanel";
constexpr DWORD kFormStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = 0;

[[noreturn]] void ThrowLastError(const char* what) {
  const DWORD error = ::GetLastError();
  throw RuntimeError(RuntimeErrorKind::Other, std::string(what) + " (error " + std::to_string(error) + ")");
}

// A panel passes its buttons' notifications on to the form, where the handlers are.
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

void RegisterClasses(HINSTANCE instance, HICON icon, WNDPROC formProc) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));

  wc.lpfnWndProc = formProc;
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.lpszClassName = kFormClass;
  ::RegisterClassExA(&wc);

  wc.lpfnWndProc = &PanelProc;
  wc.hIcon = nullptr;
  wc.hIconSm = nullptr;
  wc.lpszClassName = kPanelClass;
  ::RegisterClassExA(&wc);
}

UniqueFont CreateDesignFont(const FontDesign& design) {
  LOGFONTW font{};
  font.lfHeight = design.height;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = design.charset;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH;
  ::lstrcpynW(font.lfFaceName, design.face, LF_FACESIZE);
  UniqueFont handle(::CreateFontIndirectW(&font));
  if (!handle) ThrowLastError("Cannot create the main window's font");
  return handle;
}

// The outer rectangle that gives the design's client area, centred on the screen when the
// design asks for it.
RECT FormBounds(const FormDesign& design) {
  RECT r{0, 0, design.clientWidth, design.clientHeight};
  ::AdjustWindowRectEx(&r, kFormStyle, FALSE, kFormExStyle);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  int left = 192;
  int top = 107;
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

std::string WindowText(HWND window) {
  std::vector<char> text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1);
  const int n = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

}  // namespace

TForm1::TForm1(Application& application, VolumeApi& volumeApi)
    : application_(application), volumeApi_(volumeApi), font_(CreateDesignFont(kForm1.font)) {
  RegisterClasses(application.Instance(), application.MainIcon(), &WindowProc);
  const RECT bounds = FormBounds(kForm1);
  const std::string caption(kForm1.caption);
  // Owned by the application window: no taskbar button of its own.
  HWND window = ::CreateWindowExA(kFormExStyle, kFormClass, caption.c_str(), kFormStyle, bounds.left, bounds.top,
                                  bounds.right - bounds.left, bounds.bottom - bounds.top, application.Handle(), nullptr,
                                  application.Instance(), this);
  if (window == nullptr) ThrowLastError("Cannot create the main window");
  handle_ = window;
  CreateControls();
  AlignControls();
  FormCreate();
}

TForm1::~TForm1() {
  if (handle_ != nullptr && ::IsWindow(handle_)) ::DestroyWindow(handle_);
}

void TForm1::CreateControls() {
  for (const ControlDesign& design : kForm1Controls) {
    HWND parent = design.parent == kForm1.name ? handle_ : Panel1;
    const ControlStyle s = StyleOf(design.kind);
    const std::string text(design.text);
    HWND control = ::CreateWindowExA(s.exStyle, s.className, text.c_str(), s.style, design.left, design.top,
                                     design.width, design.height, parent, nullptr, application_.Instance(), nullptr);
    if (control == nullptr) ThrowLastError("Cannot create a control of the main window");
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (design.name == "Memo1") Memo1 = control;
    if (design.name == "Panel1") Panel1 = control;
    if (design.name == "Button1") Button1 = control;
    if (design.name == "Button2") Button2 = control;
    if (design.name == "Button3") Button3 = control;
  }
  // No length limit beyond the control's own maximum.
  ::SendMessageA(Memo1, EM_SETLIMITTEXT, 0, 0);
  ::SetWindowLongPtrA(Memo1, GWLP_USERDATA, ::GetWindowLongPtrA(Memo1, GWLP_WNDPROC));
  ::SetWindowLongPtrA(Memo1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MemoProc));
}

// Top-aligned controls stack from the top at full width; the client-aligned one fills the rest.
void TForm1::AlignControls() {
  if (Memo1 == nullptr) return;  // still being created
  RECT client;
  ::GetClientRect(handle_, &client);
  int top = 0;
  for (const ControlDesign& design : kForm1Controls) {
    if (design.parent != kForm1.name || design.align != Align::Top) continue;
    ::MoveWindow(Panel1, 0, top, client.right, design.height, TRUE);
    top += design.height;
  }
  const int rest = client.bottom > top ? client.bottom - top : 0;
  ::MoveWindow(Memo1, 0, top, client.right, rest, TRUE);
}

void TForm1::FormCreate() {
  const std::unique_ptr<SystemApi> system = MakeWin32SystemApi();
  ::SetWindowTextA(handle_, StampCaptionText(*system, application_.Title(), std::string(kForm1.name)).c_str());
}

void TForm1::Button1Click(HWND sender) {
  MemoLines lines(Memo1);
  // The separators are read at each press: a change in the regional settings shows in the next report.
  WriteDriveReport(WindowText(sender), volumeApi_, lines, UserNumberSeparators());
}

void TForm1::Button3Click(HWND) {
  ShowInfoForm({application_.Instance(), application_.Handle(), handle_, application_.MainIcon(),
                [this](const std::exception& e) { application_.ShowException(e.what()); }});
}

void TForm1::DispatchClick(HWND sender) {
  if (sender == Button1 || sender == Button2) {
    application_.Guard([&] { Button1Click(sender); });
  } else if (sender == Button3) {
    application_.Guard([&] { Button3Click(sender); });
  }
}

void TForm1::RememberFocus() {
  HWND focus = ::GetFocus();
  if (focus != nullptr && ::IsChild(handle_, focus)) focused_ = focus;
}

void TForm1::RestoreFocus() { ::SetFocus(focused_ != nullptr && ::IsWindow(focused_) ? focused_ : Memo1); }

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TForm1*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr || self->handle_ != window) return ::DefWindowProcA(window, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
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
      break;
    case WM_DESTROY:
      handle_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(handle_, message, wParam, lParam);
}

}  // namespace morvel::win32
