#include "platform/win32/Win32DeviceSource.h"

#include <windows.h>
#include <winioctl.h>

#include <memory>

#include "base/Text.h"
#include "platform/win32/calls/RawDevice.h"

namespace morvel {
namespace {

static_assert(kIoctlDiskGetLengthInfo == IOCTL_DISK_GET_LENGTH_INFO);

HANDLE ToWin32(Handle h) { return reinterpret_cast<HANDLE>(h); }

// The calls of RawDevice.h, as Windows makes them.
class Win32RawDeviceApi final : public RawDeviceApi {
 public:
  Handle Open(const std::string& path) override {
    const HANDLE device = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    lastError_ = ::GetLastError();
    return device == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<Handle>(device);
  }
  std::uint32_t LastError() override { return lastError_; }
  bool Length(Handle device, std::uint64_t& bytes) override {
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (!::DeviceIoControl(ToWin32(device), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                           nullptr)) {
      lastError_ = ::GetLastError();
      return false;
    }
    bytes = length.Length.QuadPart < 0 ? 0 : static_cast<std::uint64_t>(length.Length.QuadPart);
    return true;
  }
  bool Read(Handle device, std::uint64_t offset, std::span<std::uint8_t> out, std::uint32_t& read) override {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!::ReadFile(ToWin32(device), out.data(), static_cast<DWORD>(out.size()), &got, &where)) {
      lastError_ = ::GetLastError();
      return false;
    }
    read = got;
    return true;
  }
  std::string Message(std::uint32_t code) override {
    char text[512] = {};
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                          text, sizeof text, nullptr);
    return base::TrimMessageTail(std::string(text, length));
  }
  void Close(Handle device) override { ::CloseHandle(ToWin32(device)); }

 private:
  DWORD lastError_ = 0;  // taken next to the call that failed
};

}  // namespace

base::Result OpenWin32DeviceSource(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  return OpenRawDevice(std::make_shared<Win32RawDeviceApi>(), path, out);
}

}  // namespace morvel
