#include "ntfs/Stream.h"

#include <algorithm>
#include <cstring>

#include "base/Bytes.h"
#include "ntfs/Reason.h"

namespace ntfs {

Result Disk::Read(std::uint64_t at, std::span<std::uint8_t> out) {
  if (at > size_ || out.size() > size_ - at)
    return Corrupt(Dec(out.size()) + " bytes" + AtByte(at) + " lie past the volume's end " + Hex(size_));
  if (!source_.ReadAt(offset_ + at, out))
    return IoError("reading " + Dec(out.size()) + " bytes" + AtByte(at) + " of the volume failed");
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

}  // namespace

Result ReadStream(Disk& disk, const Stream& stream, std::uint32_t clusterShift, std::uint64_t offset,
                  std::span<std::uint8_t> out) {
  // Holes are bounded only by their VCNs, so the byte length could overflow.
  if (stream.Clusters() > (~std::uint64_t{0} >> clusterShift))
    return Corrupt(Dec(stream.Clusters()) + " clusters are too many to address in bytes");
  const std::uint64_t limit = stream.Clusters() << clusterShift;
  if (offset > limit || out.size() > limit - offset)
    return Corrupt(Dec(out.size()) + " bytes" + AtByte(offset) + " lie past the " + Dec(limit) + " bytes of its runs");
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    const std::uint64_t vcn = at >> clusterShift;
    const Run* run = FindRun(stream.runs, vcn);
    if (run == nullptr) return Corrupt("VCN " + Dec(vcn) + " lies in no run");
    const std::uint64_t inRun = at - (run->vcn << clusterShift);
    const std::uint64_t left = (run->length << clusterShift) - inRun;
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

}  // namespace ntfs
