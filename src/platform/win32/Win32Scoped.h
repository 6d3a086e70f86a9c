#pragma once
// Owners of the Windows resources the programs acquire: one type per kind of resource, each
// releasing what it holds once, with the one call that fits it, on every path. Resources that
// come in pairs of calls (a paint, a selected object, a window's device context) are owned by
// what the factory function that makes the first call returns.
#include <windows.h>

#include <string>
#include <utility>

#include "base/Text.h"

namespace morvel::win32 {

// Owns one value of a handle type, released by Traits::Close unless it is Traits::Invalid().
// Movable, not copyable.
template <typename Traits>
class Owner {
 public:
  using Type = typename Traits::Type;

  Owner() = default;
  explicit Owner(Type value) : value_(value) {}
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  Owner(Owner&& other) noexcept : value_(std::exchange(other.value_, Traits::Invalid())) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, Traits::Invalid()));
    return *this;
  }
  ~Owner() { reset(); }

  Type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }
  // Releases what is held (the release may re-enter release(), as a window's destruction does).
  void reset(Type value = Traits::Invalid()) {
    const Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  // Gives up ownership, for a value that has already been released elsewhere.
  Type release() { return std::exchange(value_, Traits::Invalid()); }

 private:
  Type value_ = Traits::Invalid();
};

// The traits of a handle type whose invalid value is null.
template <typename T, void (*CloseFn)(T)>
struct NullInvalid {
  using Type = T;
  static Type Invalid() { return nullptr; }
  static void Close(Type value) { CloseFn(value); }
};

inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void CloseFindHandle(HANDLE h) { ::FindClose(h); }
template <typename Gdi>
void DeleteGdiObject(Gdi object) {
  ::DeleteObject(object);
}
inline void DestroyIconHandle(HICON h) { ::DestroyIcon(h); }
inline void DestroyWindowHandle(HWND h) { ::DestroyWindow(h); }
inline void DeleteMemoryDc(HDC dc) { ::DeleteDC(dc); }

// CreateFile and FindFirstFile say INVALID_HANDLE_VALUE when they fail, not null.
template <void (*CloseFn)(HANDLE)>
struct InvalidHandleValue {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type value) { CloseFn(value); }
};

// A process, thread or event: null when absent.
using Handle = Owner<NullInvalid<HANDLE, CloseKernelHandle>>;
// An open file or device (CreateFile).
using File = Owner<InvalidHandleValue<CloseKernelHandle>>;
// A directory search (FindFirstFile).
using Find = Owner<InvalidHandleValue<CloseFindHandle>>;
// GDI objects this code created (never stock objects).
using Font = Owner<NullInvalid<HFONT, DeleteGdiObject<HFONT>>>;
using Brush = Owner<NullInvalid<HBRUSH, DeleteGdiObject<HBRUSH>>>;
using Bitmap = Owner<NullInvalid<HBITMAP, DeleteGdiObject<HBITMAP>>>;
// A device context of CreateCompatibleDC.
using MemoryDc = Owner<NullInvalid<HDC, DeleteMemoryDc>>;
// A copy of an icon; icons loaded from resources with LoadIcon are shared and never owned.
using Icon = Owner<NullInvalid<HICON, DestroyIconHandle>>;
// A window this code created. A window the system destroys on its own (its close box) must
// release() its owner when it receives WM_NCDESTROY.
using Window = Owner<NullInvalid<HWND, DestroyWindowHandle>>;

// CreateWindowExA, its result owned.
inline Window CreateOwnedWindow(DWORD exStyle, const char* className, const char* caption, DWORD style,
                                const RECT& bounds, HWND parent, int id, HINSTANCE instance, void* param) {
  // A child window's menu handle is its control id.
  HMENU menu = id != 0 ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr;
  return Window(::CreateWindowExA(exStyle, className, caption, style, bounds.left, bounds.top,
                                  bounds.right - bounds.left, bounds.bottom - bounds.top, parent, menu, instance,
                                  param));
}

// One painting of a window: BeginPaint when made, EndPaint when it goes.
class Paint {
 public:
  explicit Paint(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ~Paint() { ::EndPaint(window_, &paint_); }
  Paint(const Paint&) = delete;
  Paint& operator=(const Paint&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};
[[nodiscard]] inline Paint BeginPaint(HWND window) { return Paint(window); }

// An object selected into a device context; the one it replaced goes back when it goes.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_ != nullptr) ::SelectObject(dc_, previous_);  // null: the selection failed
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
[[nodiscard]] inline Selection Select(HDC dc, HGDIOBJ object) { return Selection(dc, object); }

// The device context of a window (null: the screen), given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};
[[nodiscard]] inline WindowDc GetWindowDc(HWND window) { return WindowDc(window); }

// A component interface pointer: released once, by its owner.
template <typename Interface>
class Com {
 public:
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() {
    if (p_ != nullptr) p_->Release();
  }
  Interface* operator->() const { return p_; }
  Interface* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For the out argument of CoCreateInstance and QueryInterface; the slot must be empty.
  void** put() { return reinterpret_cast<void**>(&p_); }

 private:
  Interface* p_ = nullptr;
};

// The system's message text for an error or result code, without the line break and the
// closing period the system adds (the error report puts its own period back).
inline std::string Win32ErrorText(DWORD code) {
  char buffer[512] = {};
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                             sizeof buffer, nullptr);
  return base::TrimMessageTail(std::string(buffer, n));
}

}  // namespace morvel::win32
