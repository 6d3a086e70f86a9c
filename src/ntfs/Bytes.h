#pragma once
// Little-endian field access for on-disk structures. Callers check that the field lies inside
// the span (Fits) before reading it; the readers assert nothing themselves.
#include <cstddef>
#include <cstdint>
#include <span>

namespace ntfs {

using Bytes = std::span<const std::uint8_t>;

// Whether [offset, offset + length) lies inside a span of `size` bytes, without overflow.
constexpr bool Fits(std::size_t size, std::uint64_t offset, std::uint64_t length) {
  return offset <= size && length <= size - offset;
}

inline std::uint8_t Le8(Bytes b, std::size_t at) { return b[at]; }

inline std::uint16_t Le16(Bytes b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }

inline std::uint32_t Le32(Bytes b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

inline std::uint64_t Le64(Bytes b, std::size_t at) {
  return static_cast<std::uint64_t>(Le32(b, at)) | (static_cast<std::uint64_t>(Le32(b, at + 4)) << 32);
}

constexpr bool IsPowerOfTwo(std::uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace ntfs
