#include "base/ByteSource.h"

#include <algorithm>

namespace base {

bool ByteSource::ReadChunks(std::uint64_t offset, std::uint64_t length, std::size_t chunkSize,
                            const ChunkConsumer& consume) {
  if (offset > Size() || length > Size() - offset || chunkSize == 0) return false;
  if (length == 0) return true;
  const PageBuffer buffer = AllocatePages(static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, length)));
  for (std::uint64_t done = 0; done < length;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, length - done));
    const std::span chunk(buffer.get(), n);
    if (!ReadAt(offset + done, chunk) || !consume(offset + done, chunk)) return false;
    done += n;
  }
  return true;
}

}  // namespace base
