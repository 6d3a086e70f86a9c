#include "platform/reader/AlignedByteSource.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>

namespace morvel {
namespace {

// Below this a read is a record or an index block: the copy would not pay.
constexpr std::size_t kBounceThreshold = 64 * 1024;

// Waits until `counter` exceeds `value` and returns it. The other thread is usually one chunk's
// copy away, tens of microseconds: it is awaited spinning a while first, because putting a
// thread to sleep and waking it costs as much as the copy of a chunk (measured: a stream of
// 256 KiB chunks from the page cache took 1.37 times as long as reading it alone, sleeping at
// every chunk, and 1.13 times spinning).
std::uint64_t WaitPast(const std::atomic<std::uint64_t>& counter, std::uint64_t value) {
  constexpr int kSpins = 4096;  // about 100 to 500 microseconds
  for (int spin = 0; spin < kSpins; ++spin) {
    if (const std::uint64_t now = counter.load(std::memory_order_acquire); now > value) return now;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  for (;;) {
    const std::uint64_t now = counter.load(std::memory_order_acquire);
    if (now > value) return now;
    counter.wait(now, std::memory_order_acquire);
  }
}

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

bool AlignedByteSource::ReadChunks(std::uint64_t offset, std::uint64_t length, std::size_t chunkSize,
                                   const ChunkConsumer& consume) {
  if (offset > Size() || length > Size() - offset || chunkSize == 0) return false;
  if (length <= chunkSize) return ByteSource::ReadChunks(offset, length, chunkSize, consume);
  const std::uint64_t chunks = (length - 1) / chunkSize + 1;
  std::array<base::PageBuffer, kStreamBuffers> buffers;
  for (base::PageBuffer& b : buffers) b = base::AllocatePages(chunkSize);
  const auto chunk = [&](std::uint64_t i) {
    return std::span(buffers[i % kStreamBuffers].get(),
                     static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, length - i * chunkSize)));
  };
  // The reading thread fills chunk i once the consumer has released chunk i - kStreamBuffers;
  // the consumer takes chunk i once the reading thread has read it. `released` jumps to kStop
  // when the consumer leaves early, `failed` names the chunk whose read failed.
  constexpr std::uint64_t kStop = ~std::uint64_t{0} >> 1;
  std::atomic<std::uint64_t> read{0}, released{0}, failed{kStop};
  const auto readAhead = [&] {
    for (std::uint64_t i = 0; i < chunks; ++i) {
      if (i >= kStreamBuffers && WaitPast(released, i - kStreamBuffers) == kStop) return;
      const bool ok = ReadDirect(offset + i * chunkSize, chunk(i));
      if (!ok) failed.store(i, std::memory_order_relaxed);
      read.store(i + 1, std::memory_order_release);
      read.notify_one();
      if (!ok) return;
    }
  };
  std::thread reader;
  try {
    reader = std::thread(readAhead);
  } catch (const std::system_error&) {  // no thread to be had: read one chunk after another
    return ByteSource::ReadChunks(offset, length, chunkSize, consume);
  }
  // However the consumer leaves, the reading thread stops before the buffers go.
  struct Join {
    std::thread& thread;
    std::atomic<std::uint64_t>& released;
    ~Join() {
      released.store(kStop, std::memory_order_release);
      released.notify_one();
      thread.join();
    }
  } join{reader, released};
  for (std::uint64_t i = 0; i < chunks; ++i) {
    WaitPast(read, i);
    if (failed.load(std::memory_order_relaxed) == i || !consume(offset + i * chunkSize, chunk(i))) return false;
    released.store(i + 1, std::memory_order_release);
    released.notify_one();
  }
  return true;
}

}  // namespace morvel
