#pragma once
// File descriptors owned by RAII, and positioned reads from a device or file through them.
#include <cstdint>
#include <memory>
#include <string>

#include "base/Result.h"
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
  // Hands each chunk on from the page cache itself instead of a copy: the chunk is mapped into
  // the process, over the one before, and read in with one call that reports a read error as an
  // error (MADV_POPULATE_READ; touching a page that cannot be read would raise SIGBUS). Where
  // the kernel cannot (before Linux 5.14, or a file that cannot be mapped) the chunks are read
  // into a buffer, as base::ByteSource does. A file shortened while a chunk is mapped fails the
  // read (its lost pages are caught, not let to end the process with SIGBUS).
  bool ReadChunks(std::uint64_t offset, std::uint64_t length, std::size_t chunkSize,
                  const ChunkConsumer& consume) override;
  // posix_fadvise(POSIX_FADV_WILLNEED): the kernel starts reading what is not cached yet.
  void WillRead(std::uint64_t offset, std::uint64_t length) override;

 protected:
  bool ReadDirect(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  UniqueFd fd_;
  std::uint64_t size_;
};

// Why an open found neither a regular file nor a block device (a FIFO, a character device, a
// socket). Its code is ENOTBLK, whose message, "Block device required", is the nearest errno has.
inline constexpr const char* kNotFileOrBlockDeviceText = "not a file or block device";

// Opens a regular file or block device read-only into `out` without ever blocking (a FIFO is
// refused before anything waits on it). A failure carries the errno of the call that failed,
// EISDIR for a folder, or ENOTBLK with kNotFileOrBlockDeviceText for other special files.
base::Result OpenFileOrBlockDevice(const std::string& path, UniqueFd& out);

// Opens a block device or file read-only into `out`, as OpenFileOrBlockDevice does.
base::Result OpenFdSource(const std::string& path, std::unique_ptr<base::ByteSource>& out);

}  // namespace morvel
