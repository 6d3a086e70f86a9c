#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "base/BitCount.h"

namespace base {
namespace {

TEST(BitCount, CountsSetBitsUpToTheBitCount) {
  // 4 KiB blocks: all set but byte 9 (4 bits of 8), all clear, all set; then 8 bytes of
  // which the last is 0x81.
  std::vector<std::uint8_t> bytes(3 * 4096 + 8, 0);
  std::fill_n(bytes.begin(), 4096, std::uint8_t{0xFF});
  std::fill_n(bytes.begin() + 2 * 4096, 4096, std::uint8_t{0xFF});
  bytes[9] = 0x0F;
  bytes.back() = 0x81;
  constexpr std::uint64_t kBlockBits = 4096 * 8;
  const struct {
    std::uint64_t bits, set;
  } cases[] = {{0, 0},
               {3, 3},
               {64, 64},
               {76, 76},
               {80, 76},
               {kBlockBits, kBlockBits - 4},
               {2 * kBlockBits, kBlockBits - 4},
               {2 * kBlockBits + 6, kBlockBits + 2},
               {3 * kBlockBits, 2 * kBlockBits - 4},
               {3 * kBlockBits + 56, 2 * kBlockBits - 4},
               {3 * kBlockBits + 57, 2 * kBlockBits - 3},
               {3 * kBlockBits + 63, 2 * kBlockBits - 3},
               {3 * kBlockBits + 64, 2 * kBlockBits - 2}};
  for (const auto& c : cases) EXPECT_EQ(CountSetBits(bytes, c.bits), c.set) << c.bits << " bits";
}

// Blocks of random bytes, all clear, all set, or all but one bit alike, counted by every routine
// this CPU runs and compared with a count taken one bit at a time. The bytes past the counted
// bits are all set, and the bitmap also starts off a word boundary, so that reading on or
// assuming alignment shows.
TEST(BitCount, EveryCounterMatchesABitByBitCount) {
  constexpr std::uint64_t kB = 4096 * 8;  // bits in a block
  const std::uint64_t lengths[] = {0, 1, 7, 9, 63, 65, 511, 2051, kB - 1, kB + 1, 2 * kB + 805, 5 * kB + 32007, 8 * kB};
  ASSERT_EQ(AvailableBitCounters().front(), BitCounter::Portable);
  std::mt19937_64 random(20261207);
  std::vector<std::uint8_t> storage(9 * 4096 + 16);
  for (const std::uint64_t bits : lengths) {
    for (const std::size_t offset : {std::size_t{0}, std::size_t{3}}) {
      const std::span bytes(storage.data() + offset, static_cast<std::size_t>(bits / 8) + 8);
      for (std::size_t block = 0; block < bytes.size(); block += 4096) {
        const auto part = bytes.subspan(block, std::min<std::size_t>(4096, bytes.size() - block));
        const auto kind = random() % 5;
        for (auto& b : part) b = kind == 0 ? static_cast<std::uint8_t>(random()) : kind % 2 ? 0x00 : 0xFF;
        if (kind > 2) part[random() % part.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
      }
      std::uint64_t want = 0;
      for (std::uint64_t bit = 0; bit < bits; ++bit) want += (unsigned{bytes[bit / 8]} >> (bit % 8)) & 1u;
      for (std::uint64_t bit = bits; bit < bytes.size() * 8; ++bit)
        bytes[bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
      EXPECT_EQ(CountSetBits(bytes, bits), want) << bits << " bits at offset " << offset;
      for (const BitCounter counter : AvailableBitCounters())
        EXPECT_EQ(CountSetBits(bytes, bits, counter), want)
            << BitCounterName(counter) << ": " << bits << " bits at offset " << offset;
    }
  }
}

// A block all clear or all set but for one bit, at every byte of the block: the check that
// settles uniform blocks without counting must look at all of it.
TEST(BitCount, EveryCounterSeesOneDifferentBitAnywhereInABlock) {
  std::vector<std::uint8_t> block(4096);
  for (const std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
    for (std::size_t at = 0; at < block.size(); ++at) {
      std::fill(block.begin(), block.end(), fill);
      block[at] ^= 0x10;
      const std::uint64_t want = fill == 0 ? 1 : 4096 * 8 - 1;
      for (const BitCounter counter : AvailableBitCounters())
        ASSERT_EQ(CountSetBits(block, 4096 * 8, counter), want) << BitCounterName(counter) << ": byte " << at;
    }
  }
}

}  // namespace
}  // namespace base
