#pragma once
// Runlists (mapping pairs): where the clusters of a non-resident attribute lie.
#include <cstdint>
#include <vector>

#include "base/Bytes.h"
#include "ntfs/Ntfs.h"

namespace ntfs {

inline constexpr std::uint64_t kSparse = ~std::uint64_t{0};
// Enough for any stream this reader follows; keeps a hostile runlist from growing memory.
inline constexpr std::size_t kMaxRuns = 1u << 16;

struct Run {
  std::uint64_t vcn = 0;
  std::uint64_t lcn = 0;  // kSparse for a hole
  std::uint64_t length = 0;
};

// Decodes the runlist of one extent covering VCNs lowestVcn..highestVcn and appends its runs.
// Every run must lie inside the volume's totalClusters and the runs must cover the extent
// exactly.
Status DecodeRunlist(base::Bytes runlist, std::int64_t lowestVcn, std::int64_t highestVcn, std::uint64_t totalClusters,
                     std::vector<Run>& runs);

}  // namespace ntfs
