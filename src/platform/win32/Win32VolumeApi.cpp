#include "platform/win32/Win32VolumeApi.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "base/Utf.h"

namespace morvel {
namespace {

using NtFsControlFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, ULONG, PVOID, ULONG, PVOID,
                                           ULONG);

NtFsControlFileFn BindNtFsControlFile() {
  // Only a module that is already loaded: no load is attempted, no reference taken.
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  return reinterpret_cast<NtFsControlFileFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtFsControlFile")));
}

HANDLE ToHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle FromHandle(HANDLE h) { return reinterpret_cast<Handle>(h); }

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = base::Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Utf8(const wchar_t* text, std::size_t length) {
  return base::Utf16ToUtf8(std::u16string(text, text + length));
}

class Win32VolumeApi final : public VolumeApi {
 public:
  explicit Win32VolumeApi(Win32Text text) : fsControl_(BindNtFsControlFile()), utf8_(text == Win32Text::Utf8) {}

  bool HasFsControl() const override { return fsControl_ != nullptr; }

  Handle OpenFile(const std::string& path, const OpenRequest& r) override {
    HANDLE h = utf8_ ? ::CreateFileW(Wide(path).c_str(), r.desiredAccess, r.shareMode, nullptr, r.creationDisposition,
                                     r.flagsAndAttributes, nullptr)
                     : ::CreateFileA(path.c_str(), r.desiredAccess, r.shareMode, nullptr, r.creationDisposition,
                                     r.flagsAndAttributes, nullptr);
    lastError_ = ::GetLastError();
    return h == INVALID_HANDLE_VALUE ? kInvalidHandle : FromHandle(h);
  }

  std::uint32_t LastError() override { return lastError_; }

  std::string SystemMessage(std::uint32_t flags, std::int32_t code, std::uint32_t languageId,
                            std::uint32_t bufferSize) override {
    if (utf8_) {
      // The same number of characters the ANSI buffer holds.
      std::vector<wchar_t> wide(std::max<std::uint32_t>(bufferSize, 1));
      const DWORD n =
          ::FormatMessageW(flags, nullptr, static_cast<DWORD>(code), languageId, wide.data(), bufferSize, nullptr);
      return Utf8(wide.data(), n);
    }
    std::string buffer(bufferSize, '\0');
    const DWORD n =
        ::FormatMessageA(flags, nullptr, static_cast<DWORD>(code), languageId, buffer.data(), bufferSize, nullptr);
    buffer.resize(n);
    return buffer;
  }

  std::int32_t FsControl(Handle volume, std::uint32_t controlCode, std::span<std::uint8_t> output) override {
    IO_STATUS_BLOCK iosb{};
    return fsControl_(ToHandle(volume), nullptr, nullptr, nullptr, &iosb, controlCode, nullptr, 0, output.data(),
                      static_cast<ULONG>(output.size()));
  }

  void CloseHandle(Handle handle) override { ::CloseHandle(ToHandle(handle)); }

  Handle FindFirst(const std::string& path, FindData& data) override {
    if (utf8_) return FindFirstWide(path, data);
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA(path.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return kInvalidHandle;
    data.fileName = fd.cFileName;
    data.fileSizeHigh = fd.nFileSizeHigh;
    data.fileSizeLow = fd.nFileSizeLow;
    return FromHandle(h);
  }

  void FindClose(Handle handle) override { ::FindClose(ToHandle(handle)); }

 private:
  Handle FindFirstWide(const std::string& path, FindData& data) {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(Wide(path).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return kInvalidHandle;
    data.fileName = Utf8(fd.cFileName, ::wcsnlen(fd.cFileName, MAX_PATH));
    data.fileSizeHigh = fd.nFileSizeHigh;
    data.fileSizeLow = fd.nFileSizeLow;
    return FromHandle(h);
  }

  NtFsControlFileFn fsControl_;
  bool utf8_;
  std::uint32_t lastError_ = 0;
};

}  // namespace

std::unique_ptr<VolumeApi> MakeWin32VolumeApi(Win32Text text) { return std::make_unique<Win32VolumeApi>(text); }

}  // namespace morvel
