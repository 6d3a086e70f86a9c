#include "ntfs/Stream.h"

#include <algorithm>
#include <cstring>

#include "base/Bytes.h"

namespace ntfs {

Status Disk::Read(std::uint64_t at, std::span<std::uint8_t> out) {
  if (at > size_ || out.size() > size_ - at) return Status::Corrupt;
  return source_.ReadAt(offset_ + at, out) ? Status::Ok : Status::IoError;
}

namespace {

// The run holding `vcn`; runs are contiguous and sorted, so a binary search finds it.
const Run* FindRun(const std::vector<Run>& runs, std::uint64_t vcn) {
  auto it = std::upper_bound(runs.begin(), runs.end(), vcn, [](std::uint64_t v, const Run& r) { return v < r.vcn; });
  if (it == runs.begin()) return nullptr;
  --it;
  return vcn - it->vcn < it->length ? &*it : nullptr;
}

}  // namespace

Status ReadStream(Disk& disk, const Stream& stream, std::uint32_t clusterShift, std::uint64_t offset,
                  std::span<std::uint8_t> out) {
  // Holes are bounded only by their VCNs, so the byte length could overflow.
  if (stream.Clusters() > (~std::uint64_t{0} >> clusterShift)) return Status::Corrupt;
  const std::uint64_t limit = stream.Clusters() << clusterShift;
  if (offset > limit || out.size() > limit - offset) return Status::Corrupt;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    const std::uint64_t vcn = at >> clusterShift;
    const Run* run = FindRun(stream.runs, vcn);
    if (run == nullptr) return Status::Corrupt;
    const std::uint64_t inRun = at - (run->vcn << clusterShift);
    const std::uint64_t left = (run->length << clusterShift) - inRun;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, out.size() - done));
    auto part = out.subspan(done, n);
    if (run->lcn == kSparse || at >= stream.initializedSize) {
      std::fill(part.begin(), part.end(), std::uint8_t{0});
    } else {
      if (const Status s = disk.Read((run->lcn << clusterShift) + inRun, part); s != Status::Ok) return s;
      if (stream.initializedSize - at < n) {
        auto tail = part.subspan(static_cast<std::size_t>(stream.initializedSize - at));
        std::fill(tail.begin(), tail.end(), std::uint8_t{0});
      }
    }
    done += n;
  }
  return Status::Ok;
}

}  // namespace ntfs
