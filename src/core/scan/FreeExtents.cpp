#include "core/scan/FreeExtents.h"

#include <algorithm>
#include <bit>

namespace morvel {

void FreeExtentCounter::Close() {
  if (open_ == 0) return;
  ++done_.count;
  done_.largest = std::max(done_.largest, open_);
  done_.clusters += open_;
  open_ = 0;
}

// The first `bits` bits of `word`, bit 0 first: a clear bit is a free cluster.
void FreeExtentCounter::Word(std::uint64_t word, unsigned bits) {
  if (bits == 64 && word == 0) {
    open_ += 64;
    return;
  }
  if (bits == 64 && word == ~std::uint64_t{0}) {
    Close();
    return;
  }
  unsigned pos = 0;
  while (pos < bits) {
    const std::uint64_t rest = word >> pos;
    if (open_ > 0 || (rest & 1) == 0) {
      // Free clusters up to the next set bit.
      const unsigned run =
          std::min<unsigned>(rest == 0 ? 64 - pos : static_cast<unsigned>(std::countr_zero(rest)), bits - pos);
      open_ += run;
      pos += run;
      if (pos < bits) Close();
    } else {
      const std::uint64_t clear = ~rest;  // the bits shifted in from the top read as free: clamped
      pos += std::min<unsigned>(clear == 0 ? 64 - pos : static_cast<unsigned>(std::countr_zero(clear)), bits - pos);
    }
  }
}

void FreeExtentCounter::Add(std::uint64_t, base::Bytes bytes, std::uint64_t clusters) {
  clusters = std::min<std::uint64_t>(clusters, std::uint64_t{bytes.size()} * 8);
  std::size_t at = 0;
  for (; clusters >= 64; at += 8, clusters -= 64) Word(base::Le64(bytes, at), 64);
  for (; clusters > 0; ++at) {
    const auto bits = static_cast<unsigned>(std::min<std::uint64_t>(clusters, 8));
    Word(base::Le8(bytes, at), bits);
    clusters -= bits;
  }
}

FreeExtents FreeExtentCounter::Extents() const {
  FreeExtents e = done_;
  if (open_ > 0) {
    ++e.count;
    e.largest = std::max(e.largest, open_);
    e.clusters += open_;
  }
  return e;
}

}  // namespace morvel
