#pragma once
// Positioned reads from a file through the standard library alone, so the same code reads
// image files on every platform. Offsets are 64-bit (std::streamoff).
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "platform/reader/AlignedByteSource.h"

namespace morvel {

class StreamByteSource final : public AlignedByteSource {
 public:
  StreamByteSource(std::ifstream stream, std::uint64_t size) : stream_(std::move(stream)), size_(size) {}
  std::uint64_t Size() const override { return size_; }

 protected:
  bool ReadDirect(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::ifstream stream_;
  std::uint64_t size_;
};

// Opens `path` for reading. On failure returns null and sets `error` to an errno value
// (ENOENT, EACCES, EISDIR, ...).
std::unique_ptr<base::ByteSource> OpenStreamSource(const std::string& path, int& error);

}  // namespace morvel
