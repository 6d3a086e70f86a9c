#pragma once
// Byte sources for the reader's tests: bytes in memory, and image files.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ntfs/Ntfs.h"

namespace ntfs::testing {

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
  }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
    if (file_ != nullptr && std::fseek(file_, 0, SEEK_END) == 0) size_ = static_cast<std::uint64_t>(ftello(file_));
  }
  ~FileSource() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool ok() const { return file_ != nullptr; }
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    ++reads;
    if (file_ == nullptr || fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    return std::fread(out.data(), 1, out.size(), file_) == out.size();
  }
  int reads = 0;

 private:
  std::FILE* file_;
  std::uint64_t size_ = 0;
};

// Reads a file, or its first maxBytes; empty when it cannot.
inline std::vector<std::uint8_t> ReadFile(const std::string& path, std::size_t maxBytes = ~std::size_t{0}) {
  std::vector<std::uint8_t> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::uint8_t buf[65536];
    for (std::size_t n; bytes.size() < maxBytes && (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
      bytes.insert(bytes.end(), buf, buf + std::min(n, maxBytes - bytes.size()));
    std::fclose(f);
  }
  return bytes;
}

}  // namespace ntfs::testing
