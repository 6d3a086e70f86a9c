#include "platform/reader/CachedByteSource.h"

#include <algorithm>
#include <cstring>

#include "base/Bytes.h"

namespace morvel {

bool CachedByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (out.size() > kLargestCachedRead) return source_->ReadAt(offset, out);
  if (!base::Fits(Size(), offset, out.size())) return false;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    const std::vector<std::uint8_t>* block = Block(at / kBlockSize);
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

const std::vector<std::uint8_t>* CachedByteSource::Block(std::uint64_t index) {
  if (const auto it = blocks_.find(index); it != blocks_.end()) return &it->second;
  const std::uint64_t start = index * kBlockSize;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, Size() - start)));
  if (!source_->ReadAt(start, bytes)) return nullptr;
  if (order_.size() == kMaxBlocks) {
    blocks_.erase(order_.front());
    order_.pop_front();
  }
  order_.push_back(index);
  return &(blocks_[index] = std::move(bytes));
}

}  // namespace morvel
