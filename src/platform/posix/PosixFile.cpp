#include "platform/posix/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace morvel {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool FdByteSource::ReadDirect(std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  // pread may return less than asked (signals, device limits): continue until filled.
  while (done < out.size()) {
    const auto at = offset + done;
    if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    const ssize_t n = ::pread(fd_.get(), out.data() + done, out.size() - done, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

base::Result OpenFileOrBlockDevice(const std::string& path, UniqueFd& out) {
  out.reset();
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, forever.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return base::ErrnoFailure(errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return base::ErrnoFailure(errno);
  if (S_ISDIR(st.st_mode)) return base::ErrnoFailure(EISDIR);
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return base::ErrnoFailure(ENOTBLK, kNotFileOrBlockDeviceText);
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return base::ErrnoFailure(errno);
  out = std::move(fd);
  return {};
}

base::Result OpenFdSource(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  out.reset();
  UniqueFd fd;
  if (base::Result opened = OpenFileOrBlockDevice(path, fd); !opened.ok()) return opened;
  // Works for block devices as well as files, where st_size is 0 or the file's length.
  const off_t end = ::lseek(fd.get(), 0, SEEK_END);
  if (end < 0) return base::ErrnoFailure(errno);
  out = std::make_unique<FdByteSource>(std::move(fd), static_cast<std::uint64_t>(end));
  return {};
}

}  // namespace morvel
