#include "ntfs/Stream.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/ByteSource.h"
#include "base/Bytes.h"
#include "ntfs/Reason.h"

namespace ntfs {

namespace {

Result PastTheEnd(std::uint64_t length, std::uint64_t at, std::uint64_t size) {
  return Corrupt(Dec(length) + " bytes" + AtByte(at) + " lie past the volume's end " + Hex(size));
}

Result ReadFailed(std::uint64_t length, std::uint64_t at) {
  return IoError("reading " + Dec(length) + " bytes" + AtByte(at) + " of the volume failed");
}

}  // namespace

Result Disk::Read(std::uint64_t at, std::span<std::uint8_t> out) {
  if (at > size_ || out.size() > size_ - at) return PastTheEnd(out.size(), at, size_);
  if (!source_.ReadAt(offset_ + at, out)) return ReadFailed(out.size(), at);
  return {};
}

void Disk::WillRead(std::uint64_t at, std::uint64_t length) {
  if (at <= size_ && length <= size_ - at) source_.WillRead(offset_ + at, length);
}

Result Disk::ReadChunks(std::uint64_t at, std::uint64_t length, std::size_t chunkSize, const ChunkHandler& consume) {
  if (at > size_ || length > size_ - at) return PastTheEnd(length, at, size_);
  std::uint64_t next = at;  // where the chunk after the last one consumed starts
  const bool read = source_.ReadChunks(offset_ + at, length, chunkSize, [&](std::uint64_t offset, base::Bytes bytes) {
    consume(offset - offset_, bytes);
    next = offset - offset_ + bytes.size();
    return true;
  });
  if (!read) return ReadFailed(std::min<std::uint64_t>(chunkSize, at + length - next), next);
  return {};
}

namespace {

// The run holding `vcn`; runs are contiguous and sorted, so a binary search finds it.
const Run* FindRun(const std::vector<Run>& runs, std::uint64_t vcn) {
  auto it = std::upper_bound(runs.begin(), runs.end(), vcn, [](std::uint64_t v, const Run& r) { return v < r.vcn; });
  if (it == runs.begin()) return nullptr;
  --it;
  return vcn - it->vcn < it->length ? &*it : nullptr;
}

// Corrupt when [offset, offset + length) of the stream lies past its runs' bytes.
Result CheckRange(const Stream& stream, std::uint32_t clusterShift, std::uint64_t offset, std::uint64_t length) {
  // Holes are bounded only by their VCNs, so the byte length could overflow.
  if (stream.Clusters() > (~std::uint64_t{0} >> clusterShift))
    return Corrupt(Dec(stream.Clusters()) + " clusters are too many to address in bytes");
  const std::uint64_t limit = stream.Clusters() << clusterShift;
  if (offset > limit || length > limit - offset)
    return Corrupt(Dec(length) + " bytes" + AtByte(offset) + " lie past the " + Dec(limit) + " bytes of its runs");
  return {};
}

// The run holding byte `at` of the stream, and how many of its bytes lie from `at` on; null
// when no run holds it.
const Run* RunHolding(const Stream& stream, std::uint32_t clusterShift, std::uint64_t at, std::uint64_t& left) {
  const Run* run = FindRun(stream.runs, at >> clusterShift);
  if (run != nullptr) left = (run->length << clusterShift) - (at - (run->vcn << clusterShift));
  return run;
}

// RunHolding, Corrupt when no run holds the byte.
Result RunAt(const Stream& stream, std::uint32_t clusterShift, std::uint64_t at, const Run*& run, std::uint64_t& left) {
  run = RunHolding(stream, clusterShift, at, left);
  if (run == nullptr) return Corrupt("VCN " + Dec(at >> clusterShift) + " lies in no run");
  return {};
}

}  // namespace

Result ReadStream(Disk& disk, const Stream& stream, std::uint32_t clusterShift, std::uint64_t offset,
                  std::span<std::uint8_t> out) {
  if (Result r = CheckRange(stream, clusterShift, offset, out.size()); !r.ok()) return r;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    const Run* run = nullptr;
    std::uint64_t left = 0;
    if (Result r = RunAt(stream, clusterShift, at, run, left); !r.ok()) return r;
    const std::uint64_t inRun = at - (run->vcn << clusterShift);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, out.size() - done));
    auto part = out.subspan(done, n);
    if (run->lcn == kSparse || at >= stream.initializedSize) {
      std::fill(part.begin(), part.end(), std::uint8_t{0});
    } else {
      if (Result r = disk.Read((run->lcn << clusterShift) + inRun, part); !r.ok()) return r;
      if (stream.initializedSize - at < n) {
        auto tail = part.subspan(static_cast<std::size_t>(stream.initializedSize - at));
        std::fill(tail.begin(), tail.end(), std::uint8_t{0});
      }
    }
    done += n;
  }
  return {};
}

Result ReadStreamChunks(Disk& disk, const Stream& stream, std::uint32_t clusterShift, std::uint64_t offset,
                        std::uint64_t length, std::size_t chunkSize, const ChunkHandler& consume) {
  if (chunkSize == 0) return Corrupt("chunks of 0 bytes");
  if (Result r = CheckRange(stream, clusterShift, offset, length); !r.ok()) return r;
  std::vector<std::uint8_t> zeros;
  for (std::uint64_t done = 0; done < length;) {
    const std::uint64_t at = offset + done;
    const Run* run = nullptr;
    std::uint64_t left = 0;
    if (Result r = RunAt(stream, clusterShift, at, run, left); !r.ok()) return r;
    const std::uint64_t n = std::min(left, length - done);
    // The run's bytes up to the valid data length are on the disk, the rest read as zeros.
    const std::uint64_t stored =
        run->lcn == kSparse || at >= stream.initializedSize ? 0 : std::min(n, stream.initializedSize - at);
    if (stored > 0) {
      const std::uint64_t start = (run->lcn << clusterShift) + (at - (run->vcn << clusterShift));
      if (Result r =
              disk.ReadChunks(start, stored, chunkSize,
                              [&](std::uint64_t diskAt, base::Bytes bytes) { consume(at + (diskAt - start), bytes); });
          !r.ok())
        return r;
    }
    for (std::uint64_t z = stored; z < n;) {
      const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, n - z));
      if (zeros.size() < part) zeros.resize(part);
      consume(at + z, base::Bytes(zeros).first(part));
      z += part;
    }
    done += n;
  }
  return {};
}

Result ReadStreamAhead(Disk& disk, const Stream& stream, std::uint32_t clusterShift, std::uint64_t offset,
                       std::uint64_t length, std::size_t chunkSize, const WritableChunkHandler& consume) {
  if (chunkSize == 0) return Corrupt("chunks of 0 bytes");
  if (Result r = CheckRange(stream, clusterShift, offset, length); !r.ok()) return r;
  const std::uint64_t chunks = (length + chunkSize - 1) / chunkSize;
  // Enough buffers that the reader runs well ahead of an uneven consumer (fewer than four made
  // the scan of a million records measurably slower, more than eight no faster).
  constexpr std::size_t kBuffers = 8;
  struct Buffer {
    base::PageBytes bytes;
    std::size_t size = 0;
    bool full = false;
  };
  std::array<Buffer, kBuffers> buffers;
  for (Buffer& b : buffers) b.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, length)));
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;    // the consumer is done, or gave up
  bool failed = false;  // the reader met `failure` at the chunk after the last one filled
  Result failure;
  // The disk is told of the chunks a ring of buffers ahead of the one read, so that a cold
  // cache reads them while the buffers before are consumed.
  const auto hint = [&](std::uint64_t first, std::uint64_t count) noexcept {
    const std::uint64_t from = first * chunkSize, to = std::min(length, (first + count) * chunkSize);
    for (std::uint64_t at = offset + from; at < offset + to;) {
      std::uint64_t left = 0;
      const Run* run = RunHolding(stream, clusterShift, at, left);
      if (run == nullptr) return;
      const std::uint64_t n = std::min(left, offset + to - at);
      if (run->lcn != kSparse && at < stream.initializedSize)
        disk.WillRead((run->lcn << clusterShift) + (at - (run->vcn << clusterShift)),
                      std::min(n, stream.initializedSize - at));
      at += n;
    }
  };
  const auto readAhead = [&] {
    hint(0, kBuffers);
    for (std::uint64_t k = 0; k < chunks; ++k) {
      Buffer& b = buffers[k % kBuffers];
      if (k + kBuffers < chunks) hint(k + kBuffers, 1);
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || !b.full; });
        if (stop) return;
      }
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, length - k * chunkSize));
      Result r;
      try {
        r = ReadStream(disk, stream, clusterShift, offset + k * chunkSize, std::span(b.bytes.data(), n));
      } catch (const std::exception& e) {
        r = IoError(std::string("reading failed: ") + e.what());
      }
      {
        std::lock_guard lock(mutex);
        if (r.ok()) {
          b.size = n;
          b.full = true;
        } else {
          failure = std::move(r);
          failed = true;
        }
      }
      changed.notify_all();
      if (failed) return;  // set by this thread alone, read under the lock by the other
    }
  };
  std::thread reader;
  try {
    reader = std::thread(readAhead);
  } catch (const std::system_error&) {
    // No second thread to be had (a limit on the process's threads, say): the chunks are read
    // in turn on this one.
    for (std::uint64_t k = 0; k < chunks; ++k) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, length - k * chunkSize));
      const std::span<std::uint8_t> bytes(buffers[0].bytes.data(), n);
      if (Result r = ReadStream(disk, stream, clusterShift, offset + k * chunkSize, bytes); !r.ok()) return r;
      consume(offset + k * chunkSize, bytes);
    }
    return {};
  }
  // However the consumer leaves (a return or an exception), the reader stops before the
  // buffers go.
  struct Join {
    std::thread& reader;
    std::mutex& mutex;
    std::condition_variable& changed;
    bool& stop;
    ~Join() {
      {
        std::lock_guard lock(mutex);
        stop = true;
      }
      changed.notify_all();
      reader.join();
    }
  } join{reader, mutex, changed, stop};
  for (std::uint64_t k = 0; k < chunks; ++k) {
    Buffer& b = buffers[k % kBuffers];
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return b.full || failed; });
      if (!b.full) return failure;
    }
    consume(offset + k * chunkSize, std::span(b.bytes.data(), b.size));
    {
      std::lock_guard lock(mutex);
      b.full = false;
    }
    changed.notify_all();
  }
  return {};
}

}  // namespace ntfs
