#include "platform/reader/CachedByteSource.h"

#include <algorithm>
#include <cstring>

#include "base/Bytes.h"

namespace morvel {

bool CachedByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (out.size() > kLargestCachedRead) return source_->ReadAt(offset, out);
  if (!base::Fits(Size(), offset, out.size())) return false;
  const std::uint64_t last = out.empty() ? 0 : (offset + out.size() - 1) / kBlockSize;  // the last block read
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    const std::vector<std::uint8_t>* block = Block(at / kBlockSize, last);
    const auto inside = static_cast<std::size_t>(at % kBlockSize);
    if (block == nullptr || block->size() <= inside) return false;
    const std::size_t n = std::min(block->size() - inside, out.size() - done);
    std::memcpy(out.data() + done, block->data() + inside, n);
    done += n;
  }
  return true;
}

bool CachedByteSource::ReadChunks(std::uint64_t offset, std::uint64_t length, std::size_t chunkSize,
                                  const ChunkConsumer& consume) {
  if (length > kLargestCachedRead) return source_->ReadChunks(offset, length, chunkSize, consume);
  return ByteSource::ReadChunks(offset, length, chunkSize, consume);
}

const std::vector<std::uint8_t>* CachedByteSource::Block(std::uint64_t index, std::uint64_t last) {
  if (const auto it = blocks_.find(index); it != blocks_.end()) return &it->second;
  std::uint64_t end = index + 1;  // past the blocks from `index` on that are not kept
  while (end <= last && !blocks_.contains(end)) ++end;
  const std::uint64_t start = index * kBlockSize;
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(std::min<std::uint64_t>((end - index) * kBlockSize, Size() - start)));
  if (!source_->ReadAt(start, bytes)) return nullptr;
  for (std::size_t from = 0; from < bytes.size(); from += kBlockSize) {
    if (order_.size() == kMaxBlocks) {
      blocks_.erase(order_.front());
      order_.pop_front();
    }
    const std::uint64_t kept = index + from / kBlockSize;
    order_.push_back(kept);
    blocks_[kept].assign(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                         bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), from + kBlockSize)));
  }
  return &blocks_[index];
}

}  // namespace morvel
