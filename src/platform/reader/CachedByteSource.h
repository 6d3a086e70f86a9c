#pragma once
// Reads of another source kept in 4 KiB blocks, so that the structures a report reads again
// (the boot sector, file records, index blocks, $UpCase) cost one read of the source each, and
// the blocks of one read that are not kept are read together. Large reads and streamed reads
// ($Bitmap's chunks) pass through uncached. The blocks kept are bounded: past the bound the
// oldest are dropped.
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/ByteSource.h"

namespace morvel {

class CachedByteSource final : public base::ByteSource {
 public:
  static constexpr std::size_t kBlockSize = 4096;
  static constexpr std::size_t kLargestCachedRead = 64u << 10;
  static constexpr std::size_t kMaxBlocks = 1024;  // 4 MiB

  explicit CachedByteSource(std::unique_ptr<base::ByteSource> source) : source_(std::move(source)) {}

  std::uint64_t Size() const override { return source_->Size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  // Streamed reads larger than the largest cached read pass through to the source.
  void WillRead(std::uint64_t offset, std::uint64_t length) override { source_->WillRead(offset, length); }
  bool ReadChunks(std::uint64_t offset, std::uint64_t length, std::size_t chunkSize,
                  const ChunkConsumer& consume) override;

 private:
  // Block `index`, read from the source when it is not kept, in one read with the blocks after
  // it up to `last` that are not kept either; null when it cannot be read.
  const std::vector<std::uint8_t>* Block(std::uint64_t index, std::uint64_t last);

  std::unique_ptr<base::ByteSource> source_;
  std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> blocks_;
  std::deque<std::uint64_t> order_;  // oldest first
};

}  // namespace morvel
