#pragma once
// Owners for the Windows handles, GDI objects and component interfaces of the shell routines
// and the information window: each releases what it holds with the one call that fits it.
#include <windows.h>

#include <string>
#include <utility>

#include "base/Text.h"

namespace morvel::scoped {

// Owns one value of a handle type, released by Close unless it is the type's invalid value.
template <typename T, auto Invalid, auto Close>
class Owner {
 public:
  Owner() = default;
  explicit Owner(T value) : value_(value) {}
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  Owner(Owner&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, Invalid));
    return *this;
  }
  ~Owner() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Invalid; }
  void reset(T value = Invalid) {
    if (value_ != Invalid) Close(value_);
    value_ = value;
  }
  // Gives up ownership, for a value that has already been released elsewhere.
  T release() { return std::exchange(value_, Invalid); }

 private:
  T value_ = Invalid;
};

inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void FreeFont(HFONT h) { ::DeleteObject(h); }
inline void FreeBrush(HBRUSH h) { ::DeleteObject(h); }
inline void DestroyIconHandle(HICON h) { ::DestroyIcon(h); }

// Process and thread handles: null when absent.
using Handle = Owner<HANDLE, nullptr, CloseKernelHandle>;
// Fonts, brushes and pens this code created (never stock objects).
using Font = Owner<HFONT, nullptr, FreeFont>;
using Brush = Owner<HBRUSH, nullptr, FreeBrush>;
// A copy of an icon; icons loaded from resources with LoadIcon are shared and never owned.
using Icon = Owner<HICON, nullptr, DestroyIconHandle>;

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

}  // namespace morvel::scoped
