#include "core/runtime/Checked.h"

#include <limits>

#include "core/runtime/RuntimeError.h"

namespace morvel {

std::int64_t CheckedMul(std::int64_t a, std::int64_t b) {
  std::int64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) throw RuntimeError(RuntimeErrorKind::IntegerOverflow);
  return r;
}

std::int64_t CheckedSub(std::int64_t a, std::int64_t b) {
  std::int64_t r = 0;
  if (__builtin_sub_overflow(a, b, &r)) throw RuntimeError(RuntimeErrorKind::IntegerOverflow);
  return r;
}

std::int32_t CheckedSub32(std::int32_t a, std::int32_t b) {
  std::int32_t r = 0;
  if (__builtin_sub_overflow(a, b, &r)) throw RuntimeError(RuntimeErrorKind::IntegerOverflow);
  return r;
}

std::int32_t RangeCheckedInt32(std::uint32_t v) {
  if (v > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
    throw RuntimeError(RuntimeErrorKind::RangeCheck);
  return static_cast<std::int32_t>(v);
}

long double CheckedDivide(long double a, long double b) {
  if (b == 0.0L) {
    throw RuntimeError(a == 0.0L ? RuntimeErrorKind::InvalidFloatOperation
                                 : RuntimeErrorKind::FloatDivisionByZero);
  }
  return a / b;
}

}  // namespace morvel
