#pragma once
// A volume's raw bytes on Windows (\\.\X:), for the built-in reader: the calls it is read with,
// one method a call so that the sequence is tested against a recording fake, and the byte
// source made of them. A volume handle reads whole sectors only: every read starts and ends on
// kRawSectorAlignment.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/ByteSource.h"
#include "base/Result.h"
#include "platform/win32/calls/VolumeApi.h"

namespace morvel {

// 4 KiB: a multiple of every sector size a volume has (512 bytes, 4 KiB).
inline constexpr std::uint64_t kRawSectorAlignment = 4096;
inline constexpr std::uint32_t kIoctlDiskGetLengthInfo = 0x0007405Cu;

class RawDeviceApi {
 public:
  virtual ~RawDeviceApi() = default;
  // CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  // kInvalidHandle on failure, with the cause left for LastError().
  virtual Handle Open(const std::string& path) = 0;
  // GetLastError, read right after a failed call.
  virtual std::uint32_t LastError() = 0;
  // DeviceIoControl(IOCTL_DISK_GET_LENGTH_INFO): the device's length in bytes; false on failure.
  virtual bool Length(Handle device, std::uint64_t& bytes) = 0;
  // ReadFile at `offset` into `out`; the bytes read, or false on failure.
  virtual bool Read(Handle device, std::uint64_t offset, std::span<std::uint8_t> out, std::uint32_t& read) = 0;
  // The system's words for `code` (FormatMessage), trimmed; empty when it has none.
  virtual std::string Message(std::uint32_t code) = 0;
  virtual void Close(Handle device) = 0;
};

// Opens `path` into `out` through `api`, which the source keeps. A failure carries the system's
// code (ERROR_ACCESS_DENIED without administrator rights) and its words; the device is closed
// once, when the source goes or when its length cannot be had.
base::Result OpenRawDevice(std::shared_ptr<RawDeviceApi> api, const std::string& path,
                           std::unique_ptr<base::ByteSource>& out);

}  // namespace morvel
