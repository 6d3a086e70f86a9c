#include "platform/posix/PosixFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <limits>
#include <mutex>

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

namespace {

// The window a thread is reading through, for the SIGBUS handler: a file shortened while a
// piece of it is mapped makes the pages past its new end fault with SIGBUS when touched.
struct WindowRange {
  std::uintptr_t start = 0;
  std::size_t length = 0;
  std::atomic<bool>* lost = nullptr;  // set when a page of the window could not be read
};
thread_local WindowRange activeWindow;
struct sigaction previousSigbus {};

// A fault inside the reading thread's window is answered with a page of zeros in place of the
// page that is gone, and the window marked lost: the read then fails as a whole, so the zeros
// are never taken for the file's bytes. Any other SIGBUS goes to the handler there was before.
void OnSigbus(int signal, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
  const WindowRange& window = activeWindow;
  if (window.lost != nullptr && at >= window.start && at - window.start < window.length) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    void* base = reinterpret_cast<void*>(at - at % page);
    if (::mmap(base, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      window.lost->store(true, std::memory_order_relaxed);
      return;
    }
  }
  if (previousSigbus.sa_flags & SA_SIGINFO) {
    if (previousSigbus.sa_sigaction != nullptr) return previousSigbus.sa_sigaction(signal, info, context);
  } else if (previousSigbus.sa_handler != SIG_DFL && previousSigbus.sa_handler != SIG_IGN) {
    return previousSigbus.sa_handler(signal);
  }
  // The default action: returning re-runs the access, which now ends the process as it would
  // have without this handler.
  ::sigaction(SIGBUS, &previousSigbus, nullptr);
}

bool GuardAgainstShortenedFiles() {
  static std::once_flag once;
  static bool installed = false;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = &OnSigbus;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    ::sigemptyset(&action.sa_mask);
    installed = ::sigaction(SIGBUS, &action, &previousSigbus) == 0;
  });
  return installed;
}

// A range of addresses into which pieces of a file are mapped read-only, each over the one
// before: one mapping call a piece, and never more than one piece resident. While it exists its
// thread's faults inside it are caught (OnSigbus) and reported by Lost().
class MappedWindow {
 public:
  explicit MappedWindow(std::size_t capacity) : capacity_(capacity) {
    if (!GuardAgainstShortenedFiles()) return;
    address_ = ::mmap(nullptr, capacity, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address_ != MAP_FAILED) activeWindow = {reinterpret_cast<std::uintptr_t>(address_), capacity_, &lost_};
  }
  MappedWindow(const MappedWindow&) = delete;
  MappedWindow& operator=(const MappedWindow&) = delete;
  ~MappedWindow() {
    activeWindow = {};
    if (address_ != MAP_FAILED) ::munmap(address_, capacity_);
  }

  // Whether a page mapped so far could not be read when it was touched (the file was shortened).
  bool Lost() const { return lost_.load(std::memory_order_relaxed); }

  // Maps `length` bytes of `fd` from `offset` (a multiple of the page size) and reads them in;
  // null when either fails, and then the addresses are given up: a failed fixed mapping may
  // leave a gap that the next mapping of the process takes.
  const std::uint8_t* Map(int fd, std::uint64_t offset, std::size_t length) {
    if (address_ == MAP_FAILED || length > capacity_ ||
        offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
      return nullptr;
    bool mapped =
        ::mmap(address_, length, PROT_READ, MAP_SHARED | MAP_FIXED, fd, static_cast<off_t>(offset)) != MAP_FAILED;
    while (mapped && ::madvise(address_, length, MADV_POPULATE_READ) != 0) mapped = errno == EINTR;
    if (mapped) return static_cast<const std::uint8_t*>(address_);
    activeWindow = {};
    ::munmap(address_, capacity_);
    address_ = MAP_FAILED;
    return nullptr;
  }

 private:
  std::size_t capacity_;
  void* address_ = MAP_FAILED;
  std::atomic<bool> lost_{false};
};

}  // namespace

bool FdByteSource::ReadChunks(std::uint64_t offset, std::uint64_t length, std::size_t chunkSize,
                              const ChunkConsumer& consume) {
  if (offset > size_ || length > size_ - offset || chunkSize == 0) return false;
  if (chunkSize > std::numeric_limits<std::size_t>::max() - kAlignment)
    return AlignedByteSource::ReadChunks(offset, length, chunkSize, consume);
  // Starts reading what is not cached yet, as far as the kernel reads ahead at once: a fault
  // reads the pages around it and waits for them, where a read of a file reads ahead of itself
  // (measured cold: the reports of 20 GiB and 256 GiB took 6.2 and 12.6 ms without this, 4.1
  // and 10.8 ms with it; warm it costs nothing to be seen).
  WillRead(offset, length);
  MappedWindow window(chunkSize + kAlignment);  // a chunk and the part of a page before it
  for (std::uint64_t done = 0; done < length;) {
    const std::uint64_t at = offset + done;
    const auto lead = static_cast<std::size_t>(at % kAlignment);
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, length - done));
    const std::uint8_t* bytes = window.Map(fd_.get(), at - lead, lead + n);
    if (bytes == nullptr) {
      // Mapping works for every chunk or for none: when the first fails, read them all.
      if (done == 0) return AlignedByteSource::ReadChunks(offset, length, chunkSize, consume);
      return false;
    }
    if (!consume(at, base::Bytes(bytes + lead, n)) || window.Lost()) return false;
    done += n;
  }
  return true;
}

void FdByteSource::WillRead(std::uint64_t offset, std::uint64_t length) {
  if (length == 0 || offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
      length > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - offset)
    return;
  // The kernel looks up every page of the range, cached or not (about 13 ms a GiB): when the
  // range's last byte can be read without waiting, the range is taken to be cached already.
  std::uint8_t last = 0;
  iovec probe{&last, 1};
  if (::preadv2(fd_.get(), &probe, 1, static_cast<off_t>(offset + length - 1), RWF_NOWAIT) == 1) return;
  ::posix_fadvise(fd_.get(), static_cast<off_t>(offset), static_cast<off_t>(length), POSIX_FADV_WILLNEED);
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
