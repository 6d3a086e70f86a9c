#include "app/win32/InfoWindow.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/win32/InfoControls.h"
#include "app/win32/InfoIds.h"
#include "app/win32/WindowDpi.h"
#include "core/design/InfoWindowGeometry.h"
#include "core/design/InfoWindowTexts.h"
#include "core/shell/PathRules.h"
#include "core/shell/Shell.h"
#include "core/system/FileVersion.h"
#include "platform/win32/Win32Scoped.h"
#include "platform/win32/desktop/Win32ShellApi.h"
#include "platform/win32/desktop/Win32SystemApi.h"

namespace morvel::win32 {
namespace {

using namespace info_ids;

WindowHandle ToHandle(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }

// Windows of the thread that the modal showing disables, and enables again afterwards.
class DisabledWindows {
 public:
  explicit DisabledWindows(HWND except) : except_(except) {
    ::EnumThreadWindows(::GetCurrentThreadId(), &DisabledWindows::Visit, reinterpret_cast<LPARAM>(this));
  }
  DisabledWindows(const DisabledWindows&) = delete;
  DisabledWindows& operator=(const DisabledWindows&) = delete;
  ~DisabledWindows() {
    for (HWND w : windows_) ::EnableWindow(w, TRUE);
  }

 private:
  static BOOL CALLBACK Visit(HWND hwnd, LPARAM self) {
    auto* me = reinterpret_cast<DisabledWindows*>(self);
    if (hwnd != me->except_ && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd)) {
      ::EnableWindow(hwnd, FALSE);
      me->windows_.push_back(hwnd);
    }
    return TRUE;
  }
  HWND except_;
  std::vector<HWND> windows_;
};

// One showing of the window: its handle, its controls, and the machine it reports on.
class InfoWindow {
 public:
  explicit InfoWindow(const InfoWindowContext& context)
      : context_(context),
        system_(MakeWin32SystemApi()),
        shell_(MakeWin32ShellApi()),
        rules_(PathRulesOf(*system_)),
        exePath_(system_->ModuleFileName(kModuleFileNameBufferSize)) {}
  InfoWindow(const InfoWindow&) = delete;
  InfoWindow& operator=(const InfoWindow&) = delete;

  void Create();
  void ShowModal();

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  std::string AppTitle() const;

  void OnCreate();
  void OnShow();
  void OnPaint();
  void OnKeyDown() { Close(); }
  // Ends the modal showing. The wake-up message lets the loop see it also when the request
  // came as a sent message, which GetMessage handles without returning.
  void Close() {
    closing_ = true;
    ::PostMessageA(handle_, WM_NULL, 0, 0);
  }
  void CenterOnWorkArea();
  void ChangeDpi(int dpi, const RECT& suggested);
  void Click(HWND sender);
  void OnExeNameClick(HWND sender);
  void OnHomePageClick(HWND sender);
  void OnMailClick(HWND sender);
  void OnShortcutClick(HWND sender);
  void OnOpenFolderClick(HWND sender);

  const InfoWindowContext& context_;
  std::unique_ptr<SystemApi> system_;
  std::unique_ptr<ShellApi> shell_;
  PathRules rules_;
  std::string exePath_;  // the running executable's full path
  InfoControls controls_;
  bool closing_ = false;
  HWND handle_ = nullptr;  // the window's handle from its first message on
  // Last: destroyed first, while the controls' fonts and icon are still there.
  Window window_;
};

void RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &InfoWindow::WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = nullptr;                                    // OnPaint is the only background painting
  wc.lpszClassName = kWindowClass;
  ::RegisterClassExA(&wc);  // a second registration fails harmlessly
  RegisterPanelClass(instance);
}

void InfoWindow::Create() {
  RegisterWindowClass(context_.instance);
  // A fixed single border with the close box alone.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const InfoWindowDesign& d = kInfoWindow;
  const int dpi = SystemDpi();
  const RECT bounds{ScaleForDpi(d.left, dpi), ScaleForDpi(d.top, dpi), ScaleForDpi(d.left + d.clientWidth, dpi),
                    ScaleForDpi(d.top + d.clientHeight, dpi)};
  window_ =
      CreateOwnedWindow(0, kWindowClass, d.caption, style, bounds, context_.appWindow, 0, context_.instance, this);
  if (!window_) throw std::runtime_error("The information window cannot be created");
  controls_.Create(handle_, context_.instance, WindowDpi(handle_));
  OnCreate();
}

std::string InfoWindow::AppTitle() const {
  char title[256] = {};
  if (context_.appWindow != nullptr) ::GetWindowTextA(context_.appWindow, title, sizeof title);
  return title;
}

// The texts, the icon, then the window fitted around its panel and centred.
void InfoWindow::OnCreate() {
  ::SetWindowTextA(handle_, StampCaptionText(*system_, AppTitle(), kInfoWindow.name).c_str());
  const InfoTexts texts = MakeInfoTexts(*system_, exePath_);
  controls_.SetText(kLblExeName, texts.exeName);
  controls_.SetIcon(context_.icon);
  controls_.SetText(kLblOsVersion, texts.osVersion);
  controls_.SetText(kLblMemPhys, texts.memPhys);
  controls_.SetText(kLblExeVersion, texts.exeVersion);
  controls_.AutoSize(handle_);
  CenterOnWorkArea();
}

void InfoWindow::CenterOnWorkArea() {
  // When the query fails the whole primary screen stands in for the work area.
  RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT window;
  ::GetWindowRect(handle_, &window);
  const Point at = morvel::CenterOnWorkArea(Rect{work.left, work.top, work.right, work.bottom},
                                            window.right - window.left, window.bottom - window.top);
  ::SetWindowPos(handle_, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The application window's taskbar entry is gone while the window is up.
void InfoWindow::OnShow() {
  if (context_.appWindow != nullptr) ::ShowWindow(context_.appWindow, SW_HIDE);
}

void InfoWindow::OnPaint() {
  const Paint paint = BeginPaint(handle_);
  RECT window;
  ::GetWindowRect(handle_, &window);
  // The window's outer size from the client origin covers the whole client area.
  const Selection brush = Select(paint.dc(), ::GetStockObject(BLACK_BRUSH));
  const Selection pen = Select(paint.dc(), ::GetStockObject(BLACK_PEN));
  ::Rectangle(paint.dc(), 0, 0, window.right - window.left, window.bottom - window.top);
}

// The window moved to a monitor of another DPI: the controls follow the design scaled for it,
// the window fits them again where the system suggests.
void InfoWindow::ChangeDpi(int dpi, const RECT& suggested) {
  controls_.ChangeDpi(dpi);
  controls_.AutoSize(handle_);
  ::SetWindowPos(handle_, nullptr, suggested.left, suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InfoWindow::Click(HWND sender) {
  const int id = ::GetDlgCtrlID(sender);
  try {
    if (id == kLblExeName) OnExeNameClick(sender);
    if (id == kLblUrl) OnHomePageClick(sender);
    if (id == kLblMail) OnMailClick(sender);
    if (id == kLblLaunchOnStartup || id == kLblLaunchOnDesktop) OnShortcutClick(sender);
    if (id == kLblOpenStartup || id == kLblOpenFolderIn) OnOpenFolderClick(sender);
  } catch (const std::exception& e) {
    // The action leaves as an error: the application reports it, the window stays open.
    if (context_.reportError) context_.reportError(e);
  }
}

void InfoWindow::OnExeNameClick(HWND) { ShowFileProperties(*shell_, ToHandle(context_.mainWindow), exePath_); }

void InfoWindow::OnHomePageClick(HWND) {
  ShellOpen(*shell_, ToHandle(context_.mainWindow), controls_.Text(kLblUrl), "", rules_);
}

void InfoWindow::OnMailClick(HWND) {
  ShellOpen(*shell_, ToHandle(context_.mainWindow), MailLink(controls_.Text(kLblMail), exePath_, rules_), "", rules_);
}

void InfoWindow::OnShortcutClick(HWND sender) {
  const WindowHandle app = ToHandle(context_.appWindow);
  if (sender == controls_.Control(kLblLaunchOnStartup)) {
    const std::string name = ShortcutName(exePath_, rules_);
    CreateShortcut(*shell_, exePath_, GetStartupFolder(*shell_, app), name, rules_);
  } else if (sender == controls_.Control(kLblLaunchOnDesktop)) {
    const std::string name = ShortcutName(exePath_, rules_);
    CreateShortcut(*shell_, exePath_, GetDesktopFolder(*shell_, app), name, rules_);
  }
}

void InfoWindow::OnOpenFolderClick(HWND sender) {
  const WindowHandle main = ToHandle(context_.mainWindow);
  if (sender == controls_.Control(kLblOpenStartup)) {
    ShellOpen(*shell_, main, GetStartupFolder(*shell_, ToHandle(context_.appWindow)), "", rules_);
  } else if (sender == controls_.Control(kLblOpenFolderIn)) {
    ShellOpen(*shell_, main, PathPart(exePath_, rules_), "", rules_);
  }
}

LRESULT CALLBACK InfoWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<InfoWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->handle_ = hwnd;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<InfoWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  return self->HandleMessage(msg, wParam, lParam);
}

LRESULT InfoWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 0;  // nothing erases the background: OnPaint covers it
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      OnKeyDown();
      return 0;
    case WM_CLOSE:
      Close();  // the modal showing ends; the window goes with the showing
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == STN_CLICKED && lParam != 0) Click(reinterpret_cast<HWND>(lParam));
      return 0;
    case kDpiChangedMessage:
      ChangeDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_NCDESTROY:
      // Whoever destroyed the window, nothing is left for its owner to destroy.
      window_.release();
      ::SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
      handle_ = nullptr;
      return 0;
    default:
      return ::DefWindowProcA(handle_, msg, wParam, lParam);
  }
}

// The modal showing: the program's other windows take no input, and every key that reaches
// the window or one of its controls closes it (the window sees every key first).
void InfoWindow::ShowModal() {
  const bool appWasVisible = context_.appWindow != nullptr && ::IsWindowVisible(context_.appWindow);
  {
    const DisabledWindows disabled(handle_);
    ::ShowWindow(handle_, SW_SHOW);
    OnShow();
    ::SetForegroundWindow(handle_);
    ::SetFocus(handle_);
    MSG msg;
    while (!closing_) {
      const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));  // the program is ending: pass it on
        break;
      }
      if (got < 0) break;
      if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) &&
          (msg.hwnd == handle_ || ::IsChild(handle_, msg.hwnd))) {
        OnKeyDown();  // seen before the control the key was meant for
        continue;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    // The other windows are enabled again before this one hides, so one of them is activated.
  }
  ::ShowWindow(handle_, SW_HIDE);
  if (appWasVisible) ::ShowWindow(context_.appWindow, SW_SHOWNA);
}

}  // namespace

void ShowInfoWindow(const InfoWindowContext& context) {
  InfoWindow window(context);  // destroyed on every path
  window.Create();
  window.ShowModal();
}

}  // namespace morvel::win32
