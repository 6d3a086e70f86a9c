// The queries --details makes of a drive letter's volume through the Windows API.
#include <windows.h>
#include <winioctl.h>

#include <array>
#include <cwchar>

#include "base/Bytes.h"
#include "base/Text.h"
#include "base/Utf.h"
#include "platform/win32/Win32DriverDetails.h"
#include "platform/win32/Win32Scoped.h"

namespace morvel {
namespace {

// Bounds on $MFT's extents: the reader's own limit of runs in one stream, fetched 4 KiB of
// extents at a time.
constexpr std::uint64_t kMaxMftExtents = 65536;
constexpr std::size_t kRetrievalBufferBytes = 4096;
constexpr std::size_t kExtentBytes = 16;  // NextVcn, Lcn
constexpr std::size_t kExtentsAt = 16;    // after ExtentCount (4), padding (4), StartingVcn (8)
// NTFS_VOLUME_DATA_BUFFER and room for any NTFS_EXTENDED_VOLUME_DATA a newer system writes.
constexpr DWORD kVolumeDataBytes = 256;

std::string Utf8(const wchar_t* text) {
  return base::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), ::wcslen(text)));
}

class Win32DriverQueries final : public DriverQueries {
 public:
  explicit Win32DriverQueries(char letter) : root_{static_cast<wchar_t>(letter), L':', L'\\'}, device_{L"\\\\.\\"} {
    device_ += static_cast<wchar_t>(letter);
    device_ += L':';
  }

  std::uint32_t VolumeInformation(Information& out) override {
    std::array<wchar_t, MAX_PATH + 1> label{};
    std::array<wchar_t, MAX_PATH + 1> fileSystem{};
    DWORD flags = 0;
    if (::GetVolumeInformationW(root_.c_str(), label.data(), static_cast<DWORD>(label.size()), nullptr, nullptr, &flags,
                                fileSystem.data(), static_cast<DWORD>(fileSystem.size())) == 0)
      return ::GetLastError();
    out.label = Utf8(label.data());
    out.fileSystem = Utf8(fileSystem.data());
    out.flags = flags;
    return 0;
  }

  std::uint32_t VolumeData(std::vector<std::uint8_t>& out) override {
    out.assign(kVolumeDataBytes, 0);
    return Control(FSCTL_GET_NTFS_VOLUME_DATA, out);
  }

  std::uint32_t DirtyFlags(std::uint32_t& out) override {
    std::vector<std::uint8_t> bytes(sizeof(ULONG), 0);
    const std::uint32_t error = Control(FSCTL_IS_VOLUME_DIRTY, bytes);
    if (error == 0 && bytes.size() >= 4) out = base::Le32(bytes, 0);
    return error == 0 && bytes.size() < 4 ? ERROR_INVALID_DATA : error;
  }

  std::uint32_t PartitionInformation(std::vector<std::uint8_t>& out) override {
    out.assign(sizeof(PARTITION_INFORMATION_EX), 0);
    return Control(IOCTL_DISK_GET_PARTITION_INFO_EX, out);
  }

  std::uint32_t MftExtents(std::uint64_t& out) override;

  std::uint32_t HiberfilHead(bool& exists, std::string& head) override {
    const std::wstring path = root_ + L"hiberfil.sys";
    exists = true;
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = ::GetLastError();
      exists = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
      return exists ? error : 0;
    }
    win32::File file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return ::GetLastError();
    std::array<char, 4> bytes{};
    DWORD read = 0;
    if (::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) == 0)
      return ::GetLastError();
    head.assign(bytes.data(), std::min<std::size_t>(read, bytes.size()));
    return 0;
  }

  std::string Message(std::uint32_t error) override {
    std::array<wchar_t, 512> text{};
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                     text.data(), static_cast<DWORD>(text.size()), nullptr);
    if (n == 0) return "system error " + std::to_string(error);
    return base::TrimMessageTail(Utf8(text.data()));
  }

 private:
  // One device request on the volume, opened once; `out` keeps the bytes the system wrote.
  std::uint32_t Control(DWORD code, std::vector<std::uint8_t>& out) {
    if (!volume_ && openError_ == 0) {
      volume_.reset(::CreateFileW(device_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
      if (!volume_) openError_ = ::GetLastError();
    }
    if (!volume_) return openError_;
    DWORD returned = 0;
    const BOOL done = ::DeviceIoControl(volume_.get(), code, nullptr, 0, out.data(), static_cast<DWORD>(out.size()),
                                        &returned, nullptr);
    const DWORD error = done ? 0 : ::GetLastError();
    out.resize(std::min<std::size_t>(returned, out.size()));
    return error;
  }

  std::wstring root_;
  std::wstring device_;
  win32::File volume_;
  DWORD openError_ = 0;
};

// FSCTL_GET_RETRIEVAL_POINTERS on $MFT's data, continued from the last extent's next VCN while
// the system says there is more. RETRIEVAL_POINTERS_BUFFER: 0x00 ExtentCount, 0x08 StartingVcn,
// 0x10 the extents (0x00 NextVcn, 0x08 Lcn).
std::uint32_t Win32DriverQueries::MftExtents(std::uint64_t& out) {
  const std::wstring path = root_ + L"$MFT::$DATA";
  win32::File mft(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!mft) return ::GetLastError();
  out = 0;
  std::int64_t vcn = 0;
  std::vector<std::uint8_t> buffer(kRetrievalBufferBytes);
  while (out <= kMaxMftExtents) {
    STARTING_VCN_INPUT_BUFFER start{};
    start.StartingVcn.QuadPart = vcn;
    DWORD returned = 0;
    const BOOL done = ::DeviceIoControl(mft.get(), FSCTL_GET_RETRIEVAL_POINTERS, &start, sizeof start, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), &returned, nullptr);
    const DWORD error = done ? 0 : ::GetLastError();
    if (error == ERROR_HANDLE_EOF) return 0;  // no data at all
    if (error != 0 && error != ERROR_MORE_DATA) return error;
    const base::Bytes bytes(buffer.data(), std::min<std::size_t>(returned, buffer.size()));
    if (bytes.size() < kExtentsAt) return ERROR_INVALID_DATA;
    const std::uint32_t count = base::Le32(bytes, 0x00);
    if (count == 0 || count > (bytes.size() - kExtentsAt) / kExtentBytes) return ERROR_INVALID_DATA;
    out += count;
    if (error == 0) return 0;
    const auto next = static_cast<std::int64_t>(base::Le64(bytes, kExtentsAt + (count - 1) * kExtentBytes));
    if (next <= vcn) return ERROR_INVALID_DATA;  // no progress: never loop on a bad answer
    vcn = next;
  }
  return ERROR_INVALID_DATA;
}

}  // namespace

std::unique_ptr<DriverQueries> MakeWin32DriverQueries(char letter) {
  return std::make_unique<Win32DriverQueries>(letter);
}

}  // namespace morvel
