#pragma once
#include <cstdint>
#include <span>

#include "base/Bytes.h"

namespace base {

// Set bits among the first `bits` bits of `bytes` (bit 0 of byte 0 first); bits must not
// exceed bytes.size() * 8. Counts with ChosenBitCounter().
std::uint64_t CountSetBits(base::Bytes bytes, std::uint64_t bits);

// The population-count routines of this build. Each gives the same count; the CPU decides at
// run time which of them it can execute.
enum class BitCounter { Portable, Popcnt, Avx2, Avx512 };

const char* BitCounterName(BitCounter counter);

// The routines this CPU runs, the portable one first and the fastest last.
std::span<const BitCounter> AvailableBitCounters();

// The routine CountSetBits uses: the fastest this CPU runs, unless the environment variable
// MORVEL_BITCOUNT names another that it runs (by BitCounterName), so that a slower routine can
// be measured on a faster CPU. Read once.
BitCounter ChosenBitCounter();

// CountSetBits with a chosen routine, which must be one of AvailableBitCounters().
std::uint64_t CountSetBits(base::Bytes bytes, std::uint64_t bits, BitCounter counter);

}  // namespace base
