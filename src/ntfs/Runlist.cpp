#include "ntfs/Runlist.h"

namespace ntfs {
namespace {

// A little-endian integer of 1..8 bytes, sign-extended from its top byte.
std::int64_t SignedField(base::Bytes b, std::size_t at, unsigned bytes) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(b[at + i]) << (8 * i);
  if (bytes < 8 && (b[at + bytes - 1] & 0x80) != 0) v |= ~std::uint64_t{0} << (8 * bytes);
  return static_cast<std::int64_t>(v);
}

}  // namespace

Status DecodeRunlist(base::Bytes r, std::int64_t lowestVcn, std::int64_t highestVcn, std::uint64_t totalClusters,
                     std::vector<Run>& runs) {
  std::uint64_t vcn = static_cast<std::uint64_t>(lowestVcn);
  const std::uint64_t end = static_cast<std::uint64_t>(highestVcn + 1);  // one past the last VCN
  std::int64_t lcn = 0;  // offsets are relative to the previous run's start
  std::size_t pos = 0;
  while (pos < r.size() && r[pos] != 0) {
    const unsigned lengthBytes = r[pos] & 0x0F;  // low nibble: size of the length field
    const unsigned offsetBytes = r[pos] >> 4;    // high nibble: size of the offset field, 0 = hole
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8 || !base::Fits(r.size(), pos + 1, lengthBytes + offsetBytes))
      return Status::Corrupt;
    const std::int64_t length = SignedField(r, pos + 1, lengthBytes);
    if (length <= 0 || static_cast<std::uint64_t>(length) > end - vcn) return Status::Corrupt;
    Run run{vcn, kSparse, static_cast<std::uint64_t>(length)};
    if (offsetBytes != 0) {
      const std::int64_t delta = SignedField(r, pos + 1 + lengthBytes, offsetBytes);
      // Both lcn and delta are bounded by the volume or by 2^63, so a check before adding suffices.
      if ((delta < 0 && -(delta + 1) >= lcn) || (delta > 0 && static_cast<std::uint64_t>(delta) >= totalClusters))
        return Status::Corrupt;
      lcn += delta;
      if (static_cast<std::uint64_t>(lcn) >= totalClusters ||
          run.length > totalClusters - static_cast<std::uint64_t>(lcn))
        return Status::Corrupt;
      run.lcn = static_cast<std::uint64_t>(lcn);
    }
    if (runs.size() >= kMaxRuns) return Status::Corrupt;
    runs.push_back(run);
    vcn += run.length;
    pos += 1 + lengthBytes + offsetBytes;
  }
  return vcn == end ? Status::Ok : Status::Corrupt;
}

}  // namespace ntfs
