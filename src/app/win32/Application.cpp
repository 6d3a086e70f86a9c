#include "app/win32/Application.h"

#include <utility>
#include <vector>

#include "app/win32/Resource.h"
#include "core/runtime/RuntimeError.h"
#include "core/system/AppTitle.h"

namespace morvel::win32 {
namespace {

constexpr char kClassName[] = "MorvelApplication";
// Posted to the hidden window when it is activated (from its taskbar button, say).
constexpr UINT kForwardActivation = WM_APP + 1;

bool IsAnsiLeadByte(unsigned char byte) { return ::IsDBCSLeadByte(byte) != FALSE; }

std::string AnsiLowerCase(std::string text) {
  if (!text.empty()) ::CharLowerA(text.data());
  return text;
}

// The title from the executable's file name, as the user's ANSI code page spells it.
std::string ComputeTitle() {
  char name[kMaxModuleNameLength + 1] = {};
  ::GetModuleFileNameA(nullptr, name, sizeof name);
  ::OemToCharA(name, name);
  return ApplicationTitle(name, IsAnsiLeadByte, AnsiLowerCase);
}

void RegisterWindowClass(HINSTANCE instance, HICON icon, WNDPROC procedure) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.lpszClassName = kClassName;
  ::RegisterClassExA(&wc);
}

// Disables the program's visible, enabled top-level windows for as long as it lives, and
// enables them again afterwards: a message box disables its owner only.
class DisabledTaskWindows {
 public:
  DisabledTaskWindows() { ::EnumThreadWindows(::GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this)); }
  ~DisabledTaskWindows() {
    for (HWND window : disabled_) ::EnableWindow(window, TRUE);
  }
  DisabledTaskWindows(const DisabledTaskWindows&) = delete;
  DisabledTaskWindows& operator=(const DisabledTaskWindows&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM self) {
    if (::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
      reinterpret_cast<DisabledTaskWindows*>(self)->disabled_.push_back(window);
      ::EnableWindow(window, FALSE);
    }
    return TRUE;
  }
  std::vector<HWND> disabled_;
};

// Tab and Shift+Tab move the focus between a form's controls, as in a dialog, instead of
// reaching the control: a multi-line edit would insert a tab character.
bool MoveFocusOnTab(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) return false;
  HWND form = ::GetAncestor(msg.hwnd, GA_ROOT);
  if (form == nullptr || form == msg.hwnd) return false;
  const BOOL backwards = ::GetKeyState(VK_SHIFT) < 0 ? TRUE : FALSE;
  HWND next = ::GetNextDlgTabItem(form, msg.hwnd, backwards);
  if (next != nullptr) ::SetFocus(next);
  return true;
}

}  // namespace

Application::Application(HINSTANCE instance)
    : instance_(instance), icon_(::LoadIconA(instance, MAKEINTRESOURCEA(MORVEL_MAIN_ICON))) {
  RegisterWindowClass(instance, icon_, &WindowProc);
  const std::string title = ComputeTitle();
  // Zero-sized at the centre of the screen: message boxes it owns centre on it.
  const int x = ::GetSystemMetrics(SM_CXSCREEN) / 2;
  const int y = ::GetSystemMetrics(SM_CYSCREEN) / 2;
  const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
  window_ = CreateOwnedWindow(0, kClassName, title.c_str(), style, RECT{x, y, x, y}, nullptr, 0, instance, this);
  if (!window_) {
    const DWORD error = ::GetLastError();
    throw RuntimeError(RuntimeErrorKind::Other,
                       "Cannot create the application window (error " + std::to_string(error) + ")");
  }
}

std::string Application::Title() const {
  char text[256] = {};
  ::GetWindowTextA(window_.get(), text, sizeof text);
  return text;
}

void Application::Run(HWND mainForm) {
  mainForm_ = mainForm;
  ::ShowWindow(window_.get(), SW_SHOWNOACTIVATE);
  ::ShowWindow(mainForm, SW_SHOWNORMAL);
  ::UpdateWindow(mainForm);
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (MoveFocusOnTab(msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  mainForm_ = nullptr;
}

void Application::ShowException(const std::string& message) {
  const std::string text = ErrorReportText(message);
  const std::string title = Title();
  HWND active = ::GetActiveWindow();
  {
    DisabledTaskWindows disabled;
    ::MessageBoxA(window_.get(), text.c_str(), title.c_str(), MB_ICONSTOP | MB_OK);
  }
  if (active != nullptr && ::IsWindow(active)) ::SetActiveWindow(active);
}

namespace {

BOOL CALLBACK CollectVisibleOwned(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<std::pair<HWND, std::vector<HWND>*>*>(param);
  if (::GetWindow(window, GW_OWNER) == query->first && ::IsWindowVisible(window)) query->second->push_back(window);
  return TRUE;
}

}  // namespace

// The forms are owned, overlapped windows: the system does not hide them with their owner, so
// they are hidden and shown again here.
void Application::Minimize() {
  if (::IsIconic(window_.get())) return;
  hiddenForms_.clear();
  std::pair<HWND, std::vector<HWND>*> query{window_.get(), &hiddenForms_};
  ::EnumThreadWindows(::GetCurrentThreadId(), &CollectVisibleOwned, reinterpret_cast<LPARAM>(&query));
  for (HWND form : hiddenForms_) ::ShowWindow(form, SW_HIDE);
  ::ShowWindow(window_.get(), SW_MINIMIZE);
}

void Application::Restore() {
  ::ShowWindow(window_.get(), SW_RESTORE);
  for (HWND form : hiddenForms_) {
    if (::IsWindow(form)) ::ShowWindow(form, SW_SHOWNA);
  }
  hiddenForms_.clear();
  ::PostMessageA(window_.get(), kForwardActivation, 0, 0);
}

LRESULT CALLBACK Application::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Application*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr || self->window_.get() != window) return ::DefWindowProcA(window, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT Application::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_.get();
  switch (message) {
    case WM_ACTIVATE:
      // Posted, not done here: activating another window while this one is being activated
      // would re-enter the activation.
      if (LOWORD(wParam) != WA_INACTIVE) ::PostMessageA(window, kForwardActivation, 0, 0);
      return 0;
    case kForwardActivation: {
      HWND popup = ::GetLastActivePopup(window);
      if (popup != window && ::IsWindowVisible(popup) && ::IsWindowEnabled(popup)) ::SetActiveWindow(popup);
      return 0;
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        Minimize();
        return 0;
      }
      if ((wParam & 0xFFF0) == SC_RESTORE && ::IsIconic(window)) {
        Restore();
        return 0;
      }
      return ::DefWindowProcA(window, message, wParam, lParam);
    case WM_CLOSE:
      // Closing the taskbar button closes the program the way its main form does.
      if (mainForm_ != nullptr) ::PostMessageA(mainForm_, WM_CLOSE, 0, 0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace morvel::win32
