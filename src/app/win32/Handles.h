#pragma once
// Owners of the Win32 resources the desktop program creates: each releases its handle once,
// when it goes out of scope, and can be moved but not copied.
#include <windows.h>

#include <utility>

namespace morvel::win32 {

template <typename H, typename Release>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  ~UniqueHandle() { reset(); }

  H get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset(H handle = nullptr) {
    if (handle_ != nullptr) Release{}(handle_);
    handle_ = handle;
  }
  // Gives up ownership, for a handle that has already been released elsewhere.
  H release() { return std::exchange(handle_, nullptr); }

 private:
  H handle_ = nullptr;
};

struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
struct DestroyWindowHandle {
  void operator()(HWND window) const { ::DestroyWindow(window); }
};
struct DeleteMemoryDc {
  void operator()(HDC dc) const { ::DeleteDC(dc); }
};
struct ReleaseScreenDc {
  void operator()(HDC dc) const { ::ReleaseDC(nullptr, dc); }
};
struct CloseKernelHandle {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};

using UniqueFont = UniqueHandle<HFONT, DeleteGdiObject>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;
using UniqueMemoryDc = UniqueHandle<HDC, DeleteMemoryDc>;
using UniqueScreenDc = UniqueHandle<HDC, ReleaseScreenDc>;
using UniqueWindow = UniqueHandle<HWND, DestroyWindowHandle>;
// A kernel object whose creating call gives a null handle on failure (process, thread, event).
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;

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
