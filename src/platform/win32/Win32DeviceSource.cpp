#include "platform/win32/Win32DeviceSource.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/Text.h"
#include "platform/reader/AlignedByteSource.h"
#include "platform/win32/Win32Scoped.h"

namespace morvel {
namespace {

// Reads of a volume handle start and end on a sector: 4 KiB covers 512-byte and 4K sectors.
constexpr std::uint64_t kSectorAlignment = 4096;

// The failure of `call` with the system's words for `code`.
base::Result Failed(const char* call, DWORD code) {
  char text[512] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
  std::string message = base::TrimMessageTail(std::string(text, length));
  if (message.empty()) message = std::string(call) + " failed with error " + std::to_string(code);
  return {base::Status::System, message, static_cast<int>(code)};
}

class DeviceSource final : public AlignedByteSource {
 public:
  DeviceSource(win32::File device, std::uint64_t size) : device_(std::move(device)), size_(size) {}
  std::uint64_t Size() const override { return size_; }

 protected:
  // Whole sectors around the bytes asked for, through a buffer of the sectors' alignment.
  bool ReadDirect(std::uint64_t offset, std::span<std::uint8_t> out) override {
    std::uint64_t at = offset;
    std::size_t done = 0;
    while (done < out.size()) {
      const std::uint64_t first = at / kSectorAlignment * kSectorAlignment;
      const std::uint64_t want = std::min<std::uint64_t>(kBounce, (at - first) + (out.size() - done));
      const std::uint64_t span = (want + kSectorAlignment - 1) / kSectorAlignment * kSectorAlignment;
      if (!sectors_) sectors_ = base::AllocatePages(kBounce);
      OVERLAPPED where{};
      where.Offset = static_cast<DWORD>(first);
      where.OffsetHigh = static_cast<DWORD>(first >> 32);
      DWORD read = 0;
      if (!::ReadFile(device_.get(), sectors_.get(), static_cast<DWORD>(span), &read, &where)) return false;
      if (read <= at - first) return false;
      const std::size_t take =
          static_cast<std::size_t>(std::min<std::uint64_t>(read - (at - first), out.size() - done));
      std::memcpy(out.data() + done, sectors_.get() + (at - first), take);
      done += take;
      at += take;
    }
    return true;
  }

 private:
  static constexpr std::uint64_t kBounce = std::uint64_t{1} << 20;
  win32::File device_;
  std::uint64_t size_;
  base::PageBuffer sectors_;
};

}  // namespace

base::Result OpenWin32DeviceSource(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  out.reset();
  win32::File device(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  if (!device) return Failed("CreateFileA", ::GetLastError());
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  if (!::DeviceIoControl(device.get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                         nullptr))
    return Failed("DeviceIoControl", ::GetLastError());
  if (length.Length.QuadPart <= 0) return {base::Status::System, path + " has no bytes", 0};
  out = std::make_unique<DeviceSource>(std::move(device), static_cast<std::uint64_t>(length.Length.QuadPart));
  return {};
}

}  // namespace morvel
