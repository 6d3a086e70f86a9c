#pragma once
// Positioned reads from a device, a partition, an image file or a disk-image container.
#include <cstdint>
#include <span>

namespace base {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills `out` from `offset`; false on a read error or a read past the end.
  virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

}  // namespace base
