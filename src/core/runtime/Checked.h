#pragma once
// Overflow-checked integer arithmetic and checked floating-point division, raising the
// runtime errors of RuntimeError.h instead of wrapping or producing infinities.
#include <cstdint>

namespace morvel {

std::int64_t CheckedMul(std::int64_t a, std::int64_t b);
std::int64_t CheckedSub(std::int64_t a, std::int64_t b);
std::int32_t CheckedSub32(std::int32_t a, std::int32_t b);

// Widens an unsigned 32-bit count without sign extension.
constexpr std::int64_t Widen(std::uint32_t v) { return static_cast<std::int64_t>(v); }

// Reads a 32-bit value as signed, raising "Range check error" when it does not fit
// (the top bit is set).
std::int32_t RangeCheckedInt32(std::uint32_t v);

// a / b in extended precision: "Floating point division by zero" for b == 0 with a != 0,
// "Invalid floating point operation" for 0 / 0.
long double CheckedDivide(long double a, long double b);

}  // namespace morvel
