#pragma once
// Little-endian fields and update sequences of records in an image's bytes, for tests that
// patch mkntfs-made volumes into shapes or faults mkntfs does not make.
#include <cstdint>
#include <vector>

namespace ntfs::testing {

using Block = std::vector<std::uint8_t>;

inline void Put(Block& b, std::size_t at, std::uint64_t v, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint64_t Get(const Block& b, std::size_t at, unsigned bytes) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < bytes; ++i) v |= std::uint64_t{b[at + i]} << (8 * i);
  return v;
}

// Swaps the update sequence in (protect) or out (unprotect) of a record.
inline void Unprotect(Block& r) {
  const std::size_t usa = Get(r, 4, 2);
  for (std::size_t i = 1; i < Get(r, 6, 2); ++i) Put(r, i * 512 - 2, Get(r, usa + 2 * i, 2), 2);
}
inline void Protect(Block& r) {
  const std::size_t usa = Get(r, 4, 2);
  for (std::size_t i = 1; i < Get(r, 6, 2); ++i) {
    Put(r, usa + 2 * i, Get(r, i * 512 - 2, 2), 2);
    Put(r, i * 512 - 2, Get(r, usa, 2), 2);
  }
}

}  // namespace ntfs::testing
