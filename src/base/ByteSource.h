#pragma once
// Positioned reads from a device, a partition, an image file or a disk-image container.
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "base/Bytes.h"

namespace base {

// Bytes aligned to a page: operating systems copy file data into them fastest.
inline constexpr std::size_t kPageAlignment = 4096;
struct PageDelete {
  void operator()(std::uint8_t* p) const { ::operator delete (p, std::align_val_t{kPageAlignment}); }
};
using PageBuffer = std::unique_ptr<std::uint8_t, PageDelete>;
inline PageBuffer AllocatePages(std::size_t size) {
  return PageBuffer(static_cast<std::uint8_t*>(::operator new (size, std::align_val_t{kPageAlignment})));
}

// An allocator of such bytes that leaves them as they are (a read fills them): a vector of it
// can be read into directly, at no cost for clearing or faulting in its pages twice.
template <class T>
struct PageAllocator {
  using value_type = T;
  PageAllocator() = default;
  template <class U>
  PageAllocator(const PageAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    return static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{kPageAlignment}));
  }
  void deallocate(T* p, std::size_t) noexcept { ::operator delete (p, std::align_val_t{kPageAlignment}); }
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const PageAllocator<U>&) const noexcept {
    return true;
  }
};
using PageBytes = std::vector<std::uint8_t, PageAllocator<std::uint8_t>>;

class ByteSource {
 public:
  // Given each chunk of a streamed read in order: where it lies in the source and its bytes,
  // which stay valid during the call only. Returns false to stop the read.
  using ChunkConsumer = std::function<bool(std::uint64_t offset, Bytes chunk)>;

  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills `out` from `offset`; false on a read error or a read past the end.
  virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
  // Reads [offset, offset + length) and hands it to `consume` in order, in chunks of `chunkSize`
  // bytes, the last one shorter when the length is no multiple of it. False on a read error, a
  // range past the end, or when `consume` stops the read. This one reads each chunk into one
  // page-aligned buffer; a source may hand on bytes it holds already instead of a copy (the
  // Linux file source: the page cache's own pages).
  virtual bool ReadChunks(std::uint64_t offset, std::uint64_t length, std::size_t chunkSize,
                          const ChunkConsumer& consume);
  // A hint that [offset, offset + length) is read next: a source may start reading it (the
  // Linux file source asks the kernel to). This one does nothing.
  virtual void WillRead(std::uint64_t /*offset*/, std::uint64_t /*length*/) {}
};

}  // namespace base
