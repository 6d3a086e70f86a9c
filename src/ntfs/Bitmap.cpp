#include "ntfs/Bitmap.h"

#include <array>
#include <bit>
#include <cstring>

namespace ntfs {
namespace {

constexpr std::size_t kBlock = 4096;
constexpr std::array<std::uint8_t, kBlock> kClear{};
const std::array<std::uint8_t, kBlock> kSet = [] {
  std::array<std::uint8_t, kBlock> a;
  a.fill(0xFF);
  return a;
}();

std::uint64_t CountWord(const std::uint8_t* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);  // byte order does not change a population count
  return static_cast<std::uint64_t>(std::popcount(w));
}

}  // namespace

std::uint64_t CountSetBits(base::Bytes bytes, std::uint64_t bits) {
  std::uint64_t set = 0;
  const std::uint8_t* p = bytes.data();
  const std::size_t whole = static_cast<std::size_t>(bits / 8);
  std::size_t at = 0;
  // Real bitmaps are long stretches of free or used clusters: a block that is all clear or all
  // set is settled by a comparison, which the C library does many bytes at a time.
  for (; at + kBlock <= whole; at += kBlock) {
    if (std::memcmp(p + at, kClear.data(), kBlock) == 0) continue;
    if (std::memcmp(p + at, kSet.data(), kBlock) == 0) {
      set += kBlock * 8;
      continue;
    }
    for (std::size_t k = 0; k < kBlock; k += 8) set += CountWord(p + at + k);
  }
  for (; at + 8 <= whole; at += 8) set += CountWord(p + at);
  for (std::uint64_t bit = std::uint64_t{at} * 8; bit < bits; ++bit)
    set += (static_cast<unsigned>(bytes[static_cast<std::size_t>(bit / 8)]) >> (bit % 8)) & 1u;
  return set;
}

}  // namespace ntfs
