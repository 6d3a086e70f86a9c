#include "platform/reader/StreamByteSource.h"

#include <cerrno>
#include <filesystem>
#include <limits>

namespace morvel {
namespace {

// The path as the file system names it. Paths are UTF-8 inside the program; Windows opens
// them by their UTF-16 form, so a name outside the ANSI code page reaches the right file
// instead of a best-fit lookalike.
std::filesystem::path FileSystemPath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

bool StreamByteSource::ReadDirect(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (out.empty()) return true;
  constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<std::streamoff>::max());
  if (offset > kMaxOffset || out.size() > static_cast<std::size_t>(std::numeric_limits<std::streamsize>::max())) {
    return false;
  }
  stream_.clear();
  stream_.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
  stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return stream_.gcount() == static_cast<std::streamsize>(out.size());
}

base::Result OpenStreamSource(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  out.reset();
  const std::filesystem::path file = FileSystemPath(path);
  std::error_code ec;
  // A directory opens as a stream on some systems and then fails every read: refuse it here.
  if (std::filesystem::is_directory(file, ec)) return base::ErrnoFailure(EISDIR);
  errno = 0;
  std::ifstream stream(file, std::ios::binary);
  // The C library beneath the stream leaves the cause of a failed open in errno.
  const int openError = errno;
  if (!stream.is_open()) return base::ErrnoFailure(openError != 0 ? openError : EIO);
  stream.seekg(0, std::ios::end);
  const std::streamoff end = stream.tellg();
  if (!stream || end < 0) return base::ErrnoFailure(EIO);
  out = std::make_unique<StreamByteSource>(std::move(stream), static_cast<std::uint64_t>(end));
  return {};
}

}  // namespace morvel
