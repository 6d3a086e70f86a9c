#include "platform/reader/AlignedByteSource.h"

#include <algorithm>
#include <cstring>

namespace morvel {
namespace {

// Below this a read is a record or an index block: the copy would not pay.
constexpr std::size_t kBounceThreshold = 64 * 1024;

}  // namespace

bool AlignedByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > Size() || out.size() > Size() - offset) return false;
  const bool aligned = reinterpret_cast<std::uintptr_t>(out.data()) % kAlignment == 0;
  if (aligned || out.size() < kBounceThreshold) return ReadDirect(offset, out);
  if (!bounce_) bounce_ = base::AllocatePages(kBounceSize);
  for (std::size_t done = 0; done < out.size();) {
    const std::size_t n = std::min(kBounceSize, out.size() - done);
    if (!ReadDirect(offset + done, std::span(bounce_.get(), n))) return false;
    std::memcpy(out.data() + done, bounce_.get(), n);
    done += n;
  }
  return true;
}

}  // namespace morvel
