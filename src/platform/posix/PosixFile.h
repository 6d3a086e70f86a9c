#pragma once
// File descriptors owned by RAII, and positioned reads from a device or file through them.
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/reader/AlignedByteSource.h"

namespace morvel {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release();
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

class FdByteSource final : public AlignedByteSource {
 public:
  FdByteSource(UniqueFd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}
  std::uint64_t Size() const override { return size_; }

 protected:
  bool ReadDirect(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  UniqueFd fd_;
  std::uint64_t size_;
};

// The error of an open that found neither a regular file nor a block device (a FIFO, a
// character device, a socket): its message, "Block device required", is the nearest errno has.
inline constexpr int kNotFileOrBlockDevice = ENOTBLK;
inline constexpr const char* kNotFileOrBlockDeviceText = "not a file or block device";

// Opens a regular file or block device read-only without ever blocking (a FIFO is refused
// before anything waits on it). On failure returns an empty descriptor and sets `error`:
// EISDIR for a folder, kNotFileOrBlockDevice for other special files, else the open's errno.
UniqueFd OpenFileOrBlockDevice(const std::string& path, int& error);

// Opens a block device or file read-only, as OpenFileOrBlockDevice. On failure returns null and sets `error` to the
// errno of the call that failed.
std::unique_ptr<base::ByteSource> OpenFdSource(const std::string& path, int& error);

}  // namespace morvel
