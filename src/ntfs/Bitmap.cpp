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
    // Real bitmaps are long stretches of free or used clusters: skip the count for those.
    if (w == 0) continue;
    set += w == ~std::uint64_t{0} ? 64 : static_cast<std::uint64_t>(std::popcount(w));
  }
  for (std::uint64_t bit = std::uint64_t{words} * 64; bit < bits; ++bit)
    set += (static_cast<unsigned>(bytes[static_cast<std::size_t>(bit / 8)]) >> (bit % 8)) & 1u;
  return set;
}

}  // namespace ntfs
