#include "app/win32/WindowDpi.h"

#include "platform/win32/Win32Scoped.h"

namespace morvel::win32 {
namespace {

// Functions of Windows 10 (1607) and later, bound when present: the program still starts on
// Windows 7, where the system DPI is all there is.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <typename Fn>
Fn User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleA("user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

int ScreenDpi() {
  const WindowDc screen = GetWindowDc(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

int SystemDpi() {
  static const auto getDpiForSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
  return getDpiForSystem != nullptr ? static_cast<int>(getDpiForSystem()) : ScreenDpi();
}

int WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
  return dpi != 0 ? static_cast<int>(dpi) : SystemDpi();
}

RECT OuterRect(const RECT& client, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjustForDpi = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  RECT outer = client;
  if (adjustForDpi != nullptr) {
    adjustForDpi(&outer, style, FALSE, exStyle, static_cast<UINT>(dpi));
  } else {
    ::AdjustWindowRectEx(&outer, style, FALSE, exStyle);
  }
  return outer;
}

}  // namespace morvel::win32
