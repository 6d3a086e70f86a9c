#include "platform/io/SystemIo.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "platform/win32/Win32Scoped.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/PosixFile.h"
#endif

#include "base/Utf.h"

namespace morvel {
namespace {

// A new file's name beside `path`, tried until one does not exist yet.
constexpr int kTemporaryNameTries = 100;

std::size_t ColumnsFromEnvironment() {
  const char* text = std::getenv("COLUMNS");
  std::size_t columns = 0;
  if (text == nullptr) return 80;
  const char* end = text + std::strlen(text);
  const auto result = std::from_chars(text, end, columns);
  return result.ec == std::errc() && result.ptr == end && columns >= 8 && columns <= 1000 ? columns : 80;
}

using Producer = std::function<bool(const PieceWriter&)>;

// When the contents stop without a failed write.
constexpr const char* kNotProduced = "the contents could not be composed";

std::string TemporaryName(const std::string& path, int attempt) { return path + ".tmp" + std::to_string(attempt); }

// What a destination that exists already may be: a regular file is replaced, anything else
// (a link, a folder, a device, a FIFO) is refused, never replaced or written through.
constexpr const char* kNotRegular =
    "exists and is not a regular file: name a new file or a regular one to replace (--map - draws on standard "
    "output)";

#ifdef _WIN32

// The program's texts are UTF-8: file names reach the wide API whole.
std::wstring Wide(const std::string& utf8) {
  const std::u16string units = base::Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

base::Result Failed(const char* what) {
  const DWORD error = ::GetLastError();
  return {base::Status::System, std::string(what) + " failed (error " + std::to_string(error) + ")",
          static_cast<int>(error)};
}

// The destination as it is now: absent, or a regular file to replace; anything else is refused.
struct Destination {
  bool exists = false;
};

base::Result Examine(const std::string& path, Destination& out) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    return {base::Status::System, "cannot examine it (error " + std::to_string(error) + ")", static_cast<int>(error)};
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0)
    return {base::Status::System, kNotRegular};
  out.exists = true;
  return {};
}

base::Result WriteContents(const std::string& name, const Destination&, const Producer& produce, bool& exists,
                           bool& created) {
  win32::File file(
      ::CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    return {base::Status::System, "cannot create a file beside it (error " + std::to_string(error) + ")",
            static_cast<int>(error)};
  }
  created = true;
  base::Result error;
  const PieceWriter write = [&file, &error](std::string_view piece) {
    for (std::size_t at = 0; at < piece.size();) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(piece.size() - at, 1u << 20));
      if (::WriteFile(file.get(), piece.data() + at, chunk, &written, nullptr) == 0 || written == 0) {
        error = Failed("writing");
        return false;
      }
      at += written;
    }
    return true;
  };
  if (!produce(write)) return error.ok() ? base::Result(base::Status::IoError, kNotProduced) : error;
  if (::FlushFileBuffers(file.get()) == 0) return Failed("flushing");
  if (::CloseHandle(file.release()) == 0) return Failed("closing");
  return {};
}

bool Rename(const std::string& from, const std::string& to) {
  return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
void Remove(const std::string& name) { ::DeleteFileW(Wide(name).c_str()); }

// Writing files larger than the system allows fails with an error on Windows.
struct FileSizeSignalIgnored {};

#else

base::Result Failed(const char* what) {
  const int error = errno;
  return {base::Status::System, std::string(what) + ": " + std::strerror(error), error};
}

// The destination as it is now: absent, or a regular file whose mode (and, where this user may
// set it, owner) the new file takes; anything else is refused.
struct Destination {
  bool exists = false;
  struct stat status {};
};

base::Result Examine(const std::string& path, Destination& out) {
  if (::lstat(path.c_str(), &out.status) != 0) {
    if (errno == ENOENT) return {};
    return Failed("cannot examine it");
  }
  if (!S_ISREG(out.status.st_mode)) return {base::Status::System, kNotRegular};
  out.exists = true;
  return {};
}

base::Result WriteContents(const std::string& name, const Destination& destination, const Producer& produce,
                           bool& exists, bool& created) {
  // O_EXCL: never through a link or file someone placed under the temporary name.
  UniqueFd file(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!file) {
    exists = errno == EEXIST;
    return Failed("cannot create a file beside it");
  }
  created = true;
  if (destination.exists) {
    // The file replaced keeps its owner where this user may give it, and its mode.
    if (::fchown(file.get(), destination.status.st_uid, destination.status.st_gid) != 0 && errno != EPERM)
      return Failed("giving the new file the owner of the old one");
    if (::fchmod(file.get(), destination.status.st_mode & 07777) != 0)
      return Failed("giving the new file the mode of the old one");
  }
  base::Result error;
  const PieceWriter write = [&file, &error](std::string_view piece) {
    for (std::size_t at = 0; at < piece.size();) {
      const ssize_t n = ::write(file.get(), piece.data() + at, piece.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = Failed("writing");
        return false;
      }
      at += static_cast<std::size_t>(n);
    }
    return true;
  };
  if (!produce(write)) return error.ok() ? base::Result(base::Status::IoError, kNotProduced) : error;
  if (::fsync(file.get()) != 0) return Failed("flushing");
  if (::close(file.release()) != 0) return Failed("closing");
  return {};
}

bool Rename(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }
void Remove(const std::string& name) { ::unlink(name.c_str()); }

// A file grown past the size limit (RLIMIT_FSIZE) raises SIGXFSZ, which would end the program
// before the temporary file is removed: while writing, the write fails with EFBIG instead.
class FileSizeSignalIgnored {
 public:
  FileSizeSignalIgnored() { ::sigaction(SIGXFSZ, &ignore_, &previous_); }
  ~FileSizeSignalIgnored() { ::sigaction(SIGXFSZ, &previous_, nullptr); }
  FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
  FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

 private:
  struct sigaction ignore_ = [] {
    struct sigaction a {};
    a.sa_handler = SIG_IGN;
    return a;
  }();
  struct sigaction previous_ {};
};

#endif

// Writes a new file named `name`; removes it again when writing fails.
base::Result WriteNew(const std::string& name, const Destination& destination, const Producer& produce, bool& exists) {
  bool created = false;
  base::Result written = WriteContents(name, destination, produce, exists, created);
  if (!written.ok() && created) Remove(name);
  return written;
}

}  // namespace

Terminal StandardOutput() {
  Terminal t;
  t.columns = ColumnsFromEnvironment();
  const char* term = std::getenv("TERM");
  t.term = term != nullptr ? term : "";
  const char* noColor = std::getenv("NO_COLOR");
  t.noColor = noColor != nullptr && *noColor != '\0';
#ifdef _WIN32
  // The Windows console gets the plain drawing: it needs neither a code page nor colour modes.
  t.isTerminal = false;
#else
  t.isTerminal = ::isatty(STDOUT_FILENO) == 1;
  winsize size{};
  if (t.isTerminal && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 8) t.columns = size.ws_col;
#endif
  return t;
}

base::Result SaveFileWhole(const std::string& path, std::string_view contents) {
  return SaveFileWritten(path, [contents](const PieceWriter& write) { return write(contents); });
}

base::Result SaveFileWritten(const std::string& path, const Producer& produce) {
  Destination destination;
  if (base::Result examined = Examine(path, destination); !examined.ok()) return examined;
  [[maybe_unused]] const FileSizeSignalIgnored sizeLimit{};
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    const std::string name = TemporaryName(path, attempt);
    bool exists = false;
    base::Result written = WriteNew(name, destination, produce, exists);
    if (exists) continue;
    if (!written.ok()) return written;
    if (!Rename(name, path)) {
      base::Result renaming = Failed("renaming the new file over it");
      Remove(name);
      return renaming;
    }
    return {};
  }
  return {base::Status::IoError, "cannot find a free temporary name beside it"};
}

}  // namespace morvel
