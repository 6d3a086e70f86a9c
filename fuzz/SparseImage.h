#pragma once
// A disk image kept as its non-zero sectors, so that fuzzing inputs stay small while the
// image they stand for spans megabytes. Layout, little-endian:
//   u64 image size (capped at kMaxImageSize)
//   records: u32 first sector, u16 repeat count, 512 bytes that fill that many sectors
// Sectors no record names read as zeros; the first record naming a sector wins; a trailing
// partial record is ignored.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <vector>

#include "ntfs/Ntfs.h"

namespace ntfs::fuzzing {

inline constexpr std::size_t kSectorBytes = 512;
inline constexpr std::size_t kRecordBytes = 4 + 2 + kSectorBytes;
inline constexpr std::uint64_t kMaxImageSize = std::uint64_t{1} << 30;

class SparseImage : public ByteSource {
 public:
  SparseImage(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return;
    size_ = std::min(Le(data, 8), kMaxImageSize);
    for (std::size_t at = 8; size - at >= kRecordBytes; at += kRecordBytes) {
      const std::uint64_t first = Le(data + at, 4);
      const std::uint64_t count = std::max<std::uint64_t>(1, Le(data + at + 4, 2));
      if (!Overlaps(first, count)) runs_.emplace(first, Sectors{count, data + at + 6});
    }
  }

  std::uint64_t Size() const override { return size_; }

  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return false;
    std::size_t done = 0;
    while (done < out.size()) {
      const std::uint64_t at = offset + done;
      const std::uint64_t sector = at / kSectorBytes;
      const std::size_t inSector = static_cast<std::size_t>(at % kSectorBytes);
      const std::size_t n = std::min(kSectorBytes - inSector, out.size() - done);
      const std::uint8_t* bytes = Find(sector);
      if (bytes != nullptr)
        std::memcpy(out.data() + done, bytes + inSector, n);
      else
        std::memset(out.data() + done, 0, n);
      done += n;
    }
    return true;
  }

 private:
  static std::uint64_t Le(const std::uint8_t* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= std::uint64_t{p[i]} << (8 * i);
    return v;
  }

  struct Sectors {
    std::uint64_t count;
    const std::uint8_t* bytes;
  };

  const std::uint8_t* Find(std::uint64_t sector) const {
    auto it = runs_.upper_bound(sector);
    if (it == runs_.begin()) return nullptr;
    --it;
    return sector - it->first < it->second.count ? it->second.bytes : nullptr;
  }

  bool Overlaps(std::uint64_t first, std::uint64_t count) const {
    auto it = runs_.lower_bound(first);
    if (it != runs_.end() && it->first < first + count) return true;
    return it != runs_.begin() && Find(first) != nullptr;
  }

  std::uint64_t size_ = 0;
  std::map<std::uint64_t, Sectors> runs_;
};

}  // namespace ntfs::fuzzing
