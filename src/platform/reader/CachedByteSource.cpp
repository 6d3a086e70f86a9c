#include "platform/reader/CachedByteSource.h"

#include <algorithm>
#include <cstring>

#include "base/Bytes.h"

namespace morvel {

bool CachedByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (out.size() > kLargestCachedRead) return source_->ReadAt(offset, out);
  if (!base::Fits(Size(), offset, out.size())) return false;
  if (out.empty()) return true;
  if (!Fetch(offset / kBlockSize, (offset + out.size() - 1) / kBlockSize)) return false;
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

bool CachedByteSource::Fetch(std::uint64_t first, std::uint64_t last) {
  // Each run of blocks not kept yet is read in one call, then kept block by block.
  for (std::uint64_t index = first; index <= last;) {
    if (blocks_.count(index) != 0) {
      ++index;
      continue;
    }
    std::uint64_t end = index;
    while (end < last && blocks_.count(end + 1) == 0) ++end;
    const std::uint64_t start = index * kBlockSize;
    std::vector<std::uint8_t> run(static_cast<std::size_t>(std::min((end + 1) * kBlockSize, Size()) - start));
    if (!source_->ReadAt(start, run)) return false;
    for (std::uint64_t at = 0; at < run.size(); at += kBlockSize, ++index) {
      const auto from = run.begin() + static_cast<std::ptrdiff_t>(at);
      Keep(index, std::vector<std::uint8_t>(
                      from, from + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(kBlockSize, run.size() - at))));
    }
  }
  return true;
}

void CachedByteSource::Keep(std::uint64_t index, std::vector<std::uint8_t> bytes) {
  if (order_.size() == kMaxBlocks) {
    blocks_.erase(order_.front());
    order_.pop_front();
  }
  order_.push_back(index);
  blocks_[index] = std::move(bytes);
}

const std::vector<std::uint8_t>* CachedByteSource::Block(std::uint64_t index) {
  if (const auto it = blocks_.find(index); it != blocks_.end()) return &it->second;
  const std::uint64_t start = index * kBlockSize;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, Size() - start)));
  if (!source_->ReadAt(start, bytes)) return nullptr;
  Keep(index, std::move(bytes));
  return &blocks_[index];
}

}  // namespace morvel
