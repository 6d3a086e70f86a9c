#pragma once
// Owners of the Win32 resources the desktop program creates: each releases its handle once,
// when it goes out of scope, and can be moved but not copied (scoped::Owner).
#include <windows.h>

#include "platform/win32/Win32Scoped.h"

namespace morvel::win32 {

inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void DestroyWindowHandle(HWND window) { ::DestroyWindow(window); }
inline void DeleteMemoryDc(HDC dc) { ::DeleteDC(dc); }
inline void ReleaseScreenDc(HDC dc) { ::ReleaseDC(nullptr, dc); }

using UniqueFont = scoped::Font;
using UniqueBitmap = scoped::Owner<HBITMAP, nullptr, DeleteGdiObject>;
using UniqueMemoryDc = scoped::Owner<HDC, nullptr, DeleteMemoryDc>;
using UniqueScreenDc = scoped::Owner<HDC, nullptr, ReleaseScreenDc>;
using UniqueWindow = scoped::Owner<HWND, nullptr, DestroyWindowHandle>;
// A kernel object whose creating call gives a null handle on failure (process, thread, event).
using UniqueKernelHandle = scoped::Handle;

// Selects an object into a device context and puts the previous one back at the end.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectedObject() { ::SelectObject(dc_, previous_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace morvel::win32
