#pragma once
// Little-endian fields of binary formats, read from and appended to byte buffers. Readers are
// given the offset of the field; callers check it lies inside the buffer first (Fits).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace morvel::le {

// Whether [offset, offset + size) lies inside a buffer of `total` bytes, without overflow.
constexpr bool Fits(std::size_t total, std::size_t offset, std::size_t size) {
  return offset <= total && size <= total - offset;
}

inline std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}
inline std::uint64_t U64(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint64_t>(U32(b, at)) | (static_cast<std::uint64_t>(U32(b, at + 4)) << 32);
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
inline void Set16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Set32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  Set16(out, at, static_cast<std::uint16_t>(v));
  Set16(out, at + 2, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace morvel::le
