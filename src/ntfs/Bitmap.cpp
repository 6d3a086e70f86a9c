#include "Bitmap.h"

#include <bit>
#include <cstring>

namespace ntfs {

std::uint64_t CountSetBits(Bytes bytes, std::uint64_t bits) {
  std::uint64_t set = 0;
  const std::size_t words = static_cast<std::size_t>(bits / 64);
  for (std::size_t i = 0; i < words; ++i) {
    std::uint64_t w;
    std::memcpy(&w, bytes.data() + 8 * i, 8);  // byte order does not change a population count
    set += static_cast<std::uint64_t>(std::popcount(w));
  }
  for (std::uint64_t bit = std::uint64_t{words} * 64; bit < bits; ++bit)
    set += (bytes[static_cast<std::size_t>(bit / 8)] >> (bit % 8)) & 1u;
  return set;
}

}  // namespace ntfs
