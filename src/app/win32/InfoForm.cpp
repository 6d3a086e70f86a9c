#include "InfoForm.h"

#include <string>
#include <vector>

#include "InfoBridge.h"
#include "InfoControls.h"
#include "InfoIds.h"
#include "Win32Scoped.h"

namespace morvel {
namespace {

using namespace info_ids;

// One showing of the window: its handles, its controls and the GDI objects they use.
class InfoForm {
 public:
  explicit InfoForm(const InfoFormContext& context) : context_(context) {}
  InfoForm(const InfoForm&) = delete;
  InfoForm& operator=(const InfoForm&) = delete;
  ~InfoForm() {
    if (form_ != nullptr) ::DestroyWindow(form_);
  }

  bool Create();
  void ShowModal();

  static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void FormCreate();
  void FormPaint();
  void Click(int id);
  void RunAction(int id);
  std::string ExePath() { return RunningExecutablePath(*context_.system); }

  const InfoFormContext& context_;
  HWND form_ = nullptr;
  InfoControls controls_;
  bool closing_ = false;
};

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

bool IsKeyPress(const MSG& msg) { return msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN; }

void RegisterFormClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &InfoForm::FormProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;  // FormPaint is the only background painting
  wc.lpszClassName = kFormClass;
  ::RegisterClassExA(&wc);  // a second registration fails harmlessly
  RegisterPanelClass(instance);
}

bool InfoForm::Create() {
  RegisterFormClass(context_.instance);
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const InfoWindowDesign& design = FormDesign();
  ::CreateWindowExA(0, kFormClass, design.caption.c_str(), style, design.left, design.top,
                    design.clientWidth, design.clientHeight, context_.appWindow, nullptr, context_.instance, this);
  if (form_ == nullptr) return false;
  FormCreate();
  return true;
}

// FormCreate: the texts, the icon, then the window fitted around its panel and centred.
void InfoForm::FormCreate() {
  const std::string exePath = ExePath();
  ::SetWindowTextA(form_, InfoCaption(*context_.system, AppTitle(context_.appWindow), exePath).c_str());
  controls_.Create(form_, context_.instance);
  const InfoTexts texts = MakeInfoTexts(*context_.system, exePath);
  controls_.SetText(kLblExeName, texts.exeName);
  controls_.SetIcon(context_.instance);
  controls_.SetText(kLblOsVersion, texts.osVersion);
  controls_.SetText(kLblMemPhys, texts.memPhys);
  controls_.SetText(kLblExeVersion, texts.exeVersion);
  controls_.AutoSize(form_);
  CenterOnWorkArea(form_);
}

void InfoForm::FormPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(form_, &ps);
  RECT window;
  ::GetWindowRect(form_, &window);
  // The window's outer size from the client origin covers the whole client area.
  HGDIOBJ oldBrush = ::SelectObject(dc, ::GetStockObject(BLACK_BRUSH));
  HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
  ::Rectangle(dc, 0, 0, window.right - window.left, window.bottom - window.top);
  ::SelectObject(dc, oldPen);
  ::SelectObject(dc, oldBrush);
  ::EndPaint(form_, &ps);
}

void InfoForm::Click(int id) {
  try {
    RunAction(id);
  } catch (const std::exception& e) {
    // The action leaves as an error: the application reports it, the window stays open.
    if (context_.reportError) context_.reportError(e);
  }
}

void InfoForm::RunAction(int id) {
  ShellContext shell{*context_.shell, *context_.system, context_.mainWindow, context_.appWindow};
  switch (id) {
    case kLblExeName:
      ShowExeProperties(shell, ExePath());
      break;
    case kLblUrl:
      OpenHomePage(shell, controls_.Text(kLblUrl));
      break;
    case kLblMail:
      OpenMail(shell, controls_.Text(kLblMail), ExePath());
      break;
    case kLblLaunchOnStartup:
      CreateStartupShortcut(shell, ExePath());
      break;
    case kLblLaunchOnDesktop:
      CreateDesktopShortcut(shell, ExePath());
      break;
    case kLblOpenStartup:
      OpenStartupFolder(shell);
      break;
    case kLblOpenFolderIn:
      OpenExeFolder(shell, ExePath());
      break;
    default:
      break;  // the other controls do nothing when clicked
  }
}

LRESULT CALLBACK InfoForm::FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<InfoForm*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->form_ = hwnd;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<InfoForm*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
  return self->Handle(msg, wParam, lParam);
}

LRESULT InfoForm::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 0;  // nothing erases the background: FormPaint covers it
    case WM_PAINT:
      FormPaint();
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      closing_ = true;  // any key closes the window, a lone Shift included
      return 0;
    case WM_CLOSE:
      closing_ = true;
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == STN_CLICKED) Click(LOWORD(wParam));
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(form_, GWLP_USERDATA, 0);
      form_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcA(form_, msg, wParam, lParam);
}

// The modal showing: the other windows take no input, the application window's taskbar
// entry is gone while the window is up, and every key that reaches the window closes it.
void InfoForm::ShowModal() {
  const bool appWasVisible = context_.appWindow != nullptr && ::IsWindowVisible(context_.appWindow);
  {
    DisabledWindows disabled(form_);
    ::ShowWindow(form_, SW_SHOW);
    if (context_.appWindow != nullptr) ::ShowWindow(context_.appWindow, SW_HIDE);  // FormShow
    ::SetForegroundWindow(form_);
    ::SetFocus(form_);
    MSG msg;
    while (!closing_) {
      const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));  // the program is ending: pass it on
        break;
      }
      if (got < 0) break;
      if (IsKeyPress(msg) && (msg.hwnd == form_ || ::IsChild(form_, msg.hwnd))) {
        closing_ = true;  // the window sees every key first
        continue;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    // The owner is enabled again before the window goes, so that it takes the activation.
  }
  ::ShowWindow(form_, SW_HIDE);
  if (appWasVisible) ::ShowWindow(context_.appWindow, SW_SHOWNA);
}

}  // namespace

void ShowInfoForm(const InfoFormContext& context) {
  // Destroyed on every path; an error of FormCreate leaves to the caller's error report.
  InfoForm form(context);
  if (!form.Create()) return;
  form.ShowModal();
}

}  // namespace morvel
