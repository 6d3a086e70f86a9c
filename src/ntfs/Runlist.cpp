#include "ntfs/Runlist.h"

#include "ntfs/Reason.h"

namespace ntfs {
namespace {

// A little-endian integer of 1..8 bytes, sign-extended from its top byte.
std::int64_t SignedField(base::Bytes b, std::size_t at, unsigned bytes) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(b[at + i]) << (8 * i);
  if (bytes < 8 && (b[at + bytes - 1] & 0x80) != 0) v |= ~std::uint64_t{0} << (8 * bytes);
  return static_cast<std::int64_t>(v);
}

// Moves `lcn` by a run's offset field; both are bounded by the volume or by 2^63, so a check
// before adding suffices.
bool MoveLcn(std::int64_t& lcn, std::int64_t delta, std::uint64_t totalClusters) {
  if ((delta < 0 && -(delta + 1) >= lcn) || (delta > 0 && static_cast<std::uint64_t>(delta) >= totalClusters))
    return false;
  lcn += delta;
  return static_cast<std::uint64_t>(lcn) < totalClusters;
}

}  // namespace

Result DecodeRunlist(base::Bytes r, std::int64_t lowestVcn, std::int64_t highestVcn, std::uint64_t totalClusters,
                     std::vector<Run>& runs, std::size_t origin) {
  std::uint64_t vcn = static_cast<std::uint64_t>(lowestVcn);
  const std::uint64_t end = static_cast<std::uint64_t>(highestVcn + 1);  // one past the last VCN
  std::int64_t lcn = 0;  // offsets are relative to the previous run's start
  std::size_t pos = 0;
  while (pos < r.size() && r[pos] != 0) {
    const auto where = [&] { return "run" + AtByte(origin + pos); };  // built only for a reason
    const unsigned lengthBytes = r[pos] & 0x0F;                       // low nibble: size of the length field
    const unsigned offsetBytes = r[pos] >> 4;                         // high nibble: size of the offset field, 0 = hole
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8)
      return Corrupt(where() + ": header " + Hex(r[pos]) + " gives no valid field sizes");
    if (!base::Fits(r.size(), pos + 1, lengthBytes + offsetBytes)) return Corrupt(where() + " runs past the attribute");
    const std::int64_t length = SignedField(r, pos + 1, lengthBytes);
    if (length <= 0 || static_cast<std::uint64_t>(length) > end - vcn)
      return Corrupt(where() + ": length " + std::to_string(length) + " is not within the " + Dec(end - vcn) +
                     " clusters left of the extent");
    Run run{vcn, kSparse, static_cast<std::uint64_t>(length)};
    if (offsetBytes != 0) {
      if (!MoveLcn(lcn, SignedField(r, pos + 1 + lengthBytes, offsetBytes), totalClusters) ||
          run.length > totalClusters - static_cast<std::uint64_t>(lcn))
        return Corrupt(where() + " lies outside the volume's " + Dec(totalClusters) + " clusters");
      run.lcn = static_cast<std::uint64_t>(lcn);
    }
    if (runs.size() >= kMaxRuns) return Corrupt(where() + ": the stream has more than " + Dec(kMaxRuns) + " runs");
    runs.push_back(run);
    vcn += run.length;
    pos += 1 + lengthBytes + offsetBytes;
  }
  if (vcn != end) return Corrupt("runlist" + AtByte(origin) + " covers VCNs to " + Dec(vcn) + ", not to " + Dec(end));
  return {};
}

}  // namespace ntfs
