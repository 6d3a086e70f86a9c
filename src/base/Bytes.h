#pragma once
// Little-endian fields of on-disk structures and binary formats, read from byte spans and
// appended to byte buffers. Readers are given the offset of the field; callers check that it
// lies inside the span (Fits) first: the readers assert nothing themselves.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace base {

using Bytes = std::span<const std::uint8_t>;

// Whether [offset, offset + length) lies inside a span of `size` bytes, without overflow.
constexpr bool Fits(std::size_t size, std::uint64_t offset, std::uint64_t length) {
  return offset <= size && length <= size - offset;
}

constexpr bool IsPowerOfTwo(std::uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

inline std::uint8_t Le8(Bytes b, std::size_t at) { return b[at]; }
inline std::uint16_t Le16(Bytes b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }
inline std::uint32_t Le32(Bytes b, std::size_t at) {
  return static_cast<std::uint32_t>(Le16(b, at)) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}
inline std::uint64_t Le64(Bytes b, std::size_t at) {
  return static_cast<std::uint64_t>(Le32(b, at)) | (static_cast<std::uint64_t>(Le32(b, at + 4)) << 32);
}

inline void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}
inline void Put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  Put32(out, static_cast<std::uint32_t>(v));
  Put32(out, static_cast<std::uint32_t>(v >> 32));
}

inline void Set16(std::span<std::uint8_t> out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Set32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t v) {
  Set16(out, at, static_cast<std::uint16_t>(v));
  Set16(out, at + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void Set64(std::span<std::uint8_t> out, std::size_t at, std::uint64_t v) {
  Set32(out, at, static_cast<std::uint32_t>(v));
  Set32(out, at + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace base
