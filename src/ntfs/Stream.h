#pragma once
// Positioned reads inside the volume and through the runs of a non-resident attribute.
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "ntfs/Ntfs.h"
#include "ntfs/Runlist.h"

namespace ntfs {

// Given the chunks of a streamed read in order: where each starts and its bytes, valid during
// the call only.
using ChunkHandler = std::function<void(std::uint64_t at, base::Bytes bytes)>;

// The volume's bytes inside its source; every read is checked against the volume's size.
class Disk {
 public:
  Disk(ByteSource& source, std::uint64_t offset, std::uint64_t size) : source_(source), offset_(offset), size_(size) {}
  Result Read(std::uint64_t at, std::span<std::uint8_t> out);
  // Hands [at, at + length) to `consume` in chunks of `chunkSize` bytes
  // (base::ByteSource::ReadChunks).
  Result ReadChunks(std::uint64_t at, std::uint64_t length, std::size_t chunkSize, const ChunkHandler& consume);
  // A hint that [at, at + length) is read next (base::ByteSource::WillRead); ignored past the end.
  void WillRead(std::uint64_t at, std::uint64_t length);
  std::uint64_t size() const { return size_; }

 private:
  ByteSource& source_;
  std::uint64_t offset_;
  std::uint64_t size_;
};

// A non-resident attribute's data: its runs in VCN order from 0 and its sizes.
struct Stream {
  std::vector<Run> runs;
  std::uint64_t dataSize = 0;
  std::uint64_t initializedSize = 0;  // bytes past it read as zeros

  std::uint64_t Clusters() const { return runs.empty() ? 0 : runs.back().vcn + runs.back().length; }
};

// Reads `out.size()` bytes at `offset` of the stream; holes and bytes past the valid data
// length read as zeros. Corrupt when the range is not covered by the runs.
Result ReadStream(Disk& disk, const Stream& stream, std::uint32_t clusterShift, std::uint64_t offset,
                  std::span<std::uint8_t> out);

// Hands `length` bytes at `offset` of the stream to `consume` in order, in chunks of at most
// `chunkSize` bytes that lie inside one run each; holes and bytes past the valid data length are
// handed as zeros. Corrupt when the range is not covered by the runs.
Result ReadStreamChunks(Disk& disk, const Stream& stream, std::uint32_t clusterShift, std::uint64_t offset,
                        std::uint64_t length, std::size_t chunkSize, const ChunkHandler& consume);

// Given the chunks of ReadStreamAhead in order: where each starts in the stream and its bytes,
// the consumer's to change (fix-ups applied in place, say) during the call only.
using WritableChunkHandler = std::function<void(std::uint64_t at, std::span<std::uint8_t> bytes)>;

// As ReadStreamChunks, but the chunks are read ahead on a thread of their own into a few
// buffers of `chunkSize` bytes while `consume` works, on the calling thread, through those read
// before: reading and working overlap on two cores. The k-th chunk starts at offset + k *
// chunkSize. Until the call returns the disk's source is read by that thread alone, so the
// caller must not read it in `consume`. A failed read ends the call with its reason once the
// chunks before it were consumed.
Result ReadStreamAhead(Disk& disk, const Stream& stream, std::uint32_t clusterShift, std::uint64_t offset,
                       std::uint64_t length, std::size_t chunkSize, const WritableChunkHandler& consume);

}  // namespace ntfs
