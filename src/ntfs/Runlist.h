#pragma once
// Runlists (mapping pairs): where the clusters of a non-resident attribute lie.
#include <cstdint>
#include <vector>

#include "base/Bytes.h"
#include "ntfs/Ntfs.h"

namespace ntfs {

inline constexpr std::uint64_t kSparse = ~std::uint64_t{0};
// Runs of one stream, over all its extents: enough for any stream this reader follows, and
// a bound on the memory and the decoding work a hostile runlist can cause.
inline constexpr std::size_t kMaxRuns = 1u << 16;

struct Run {
  std::uint64_t vcn = 0;
  std::uint64_t lcn = 0;  // kSparse for a hole
  std::uint64_t length = 0;
};

// Decodes the runlist of one extent covering VCNs lowestVcn..highestVcn and appends its runs.
// Every run must lie inside the volume's totalClusters, the runs must cover the extent exactly,
// and `runs` may not grow past kMaxRuns. `origin` is where the runlist starts in its record,
// so that reasons give record offsets.
Result DecodeRunlist(base::Bytes runlist, std::int64_t lowestVcn, std::int64_t highestVcn, std::uint64_t totalClusters,
                     std::vector<Run>& runs, std::size_t origin);

}  // namespace ntfs
