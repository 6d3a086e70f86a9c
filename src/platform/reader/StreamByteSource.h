#pragma once
// Positioned reads from a file through the standard library alone: how the Windows build reads
// image files (Linux reads every file through its descriptor). Offsets are 64-bit
// (std::streamoff).
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "base/Result.h"
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

// Opens `path` for reading into `out`. A failure carries the C library's errno value (ENOENT,
// EACCES, EISDIR, ...).
base::Result OpenStreamSource(const std::string& path, std::unique_ptr<base::ByteSource>& out);

}  // namespace morvel
