#pragma once
// The DPI the windows are drawn at. The program is per-monitor DPI aware (its manifest says
// so): it scales its designs itself, by the DPI of the monitor each window is on.
#include <windows.h>

namespace morvel::win32 {

// WM_DPICHANGED: a window moved to a monitor of another DPI, or the DPI changed.
inline constexpr UINT kDpiChangedMessage = 0x02E0;

// The DPI of the system's primary monitor, for a window not yet created.
int SystemDpi();
// The DPI of the monitor `window` is on (the system's before Windows 10).
int WindowDpi(HWND window);
// The outer rectangle of a window whose client area is `client`, at `dpi`.
RECT OuterRect(const RECT& client, DWORD style, DWORD exStyle, int dpi);

}  // namespace morvel::win32
