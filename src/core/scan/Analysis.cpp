#include "core/scan/Analysis.h"

#include <algorithm>

namespace morvel {
namespace {

constexpr std::size_t kProblemsShown = 10;

StreamFragments& TypeEntry(std::vector<StreamFragments>& types, std::uint32_t type) {
  const auto it = std::ranges::lower_bound(types, type, {}, &StreamFragments::type);
  if (it != types.end() && it->type == type) return *it;
  return *types.insert(it, StreamFragments{type, {}, 0, 0, 0});
}

// More fragments first, then the larger file.
bool MoreFragmented(const FragmentedFile& a, const FragmentedFile& b) {
  if (a.fragments != b.fragments) return a.fragments > b.fragments;
  return a.size > b.size;
}

}  // namespace

AnalysisBuilder::AnalysisBuilder(std::uint64_t mftRecords, std::uint64_t recordsInUseByBitmap,
                                 std::uint64_t recordsFound) {
  a_.mftRecords = mftRecords;
  a_.recordsInUseByBitmap = recordsInUseByBitmap;
  a_.recordsFound = recordsFound;
}

void AnalysisBuilder::AddFile(std::uint64_t record, bool directory, std::uint64_t dataSize,
                              std::span<const StreamFacts> streams) {
  ++(directory ? a_.directories : a_.files);
  std::uint64_t dataFragments = 0;
  bool hasData = false, compressed = false;
  for (const StreamFacts& s : streams) {
    if (s.fragments > 0) {
      StreamFragments& t = TypeEntry(a_.streamTypes, s.type);
      ++t.streams;
      t.fragmented += s.fragments > 1;
      t.fragments += s.fragments;
    }
    if (s.type != kDataAttribute) continue;
    compressed |= (s.flags & kCompressedFlag) != 0;
    hasData |= s.fragments > 0;
    dataFragments += s.fragments;
  }
  if (compressed) {
    ++a_.compressedFiles;
    return;
  }
  if (!hasData) return;
  ++a_.dataFiles;
  a_.fragments += dataFragments;
  if (dataFragments < 2) return;
  ++a_.fragmentedFiles;
  fragmented_.push_back({record, {}, dataSize, dataFragments});
}

void AnalysisBuilder::AddResidentFiles(std::uint64_t count) { a_.files += count; }

void AnalysisBuilder::AddProblem(std::uint64_t record, const std::string& reason) {
  if (a_.problems.size() < kProblemsShown) a_.problems.push_back("record " + std::to_string(record) + ": " + reason);
}

void AnalysisBuilder::CountProblems(std::uint64_t count) { a_.problemCount = count; }

VolumeAnalysis AnalysisBuilder::Finish(const FreeExtents& free,
                                       const std::function<std::string(std::uint64_t)>& pathOf) {
  a_.freeExtents = free;
  // The ranking's last places may tie on fragments and size: every file tied with the last one
  // kept gets its path, so that the path decides among them exactly.
  std::ranges::sort(fragmented_, MoreFragmented);
  std::size_t keep = std::min(fragmented_.size(), kMostFragmentedCount);
  while (keep > 0 && keep < fragmented_.size() && !MoreFragmented(fragmented_[keep - 1], fragmented_[keep])) ++keep;
  fragmented_.resize(keep);
  for (FragmentedFile& f : fragmented_) f.path = pathOf(f.record);
  std::ranges::sort(fragmented_, [](const FragmentedFile& a, const FragmentedFile& b) {
    if (MoreFragmented(a, b) || MoreFragmented(b, a)) return MoreFragmented(a, b);
    return a.path < b.path;
  });
  if (fragmented_.size() > kMostFragmentedCount) fragmented_.resize(kMostFragmentedCount);
  a_.mostFragmented = std::move(fragmented_);
  fragmented_.clear();
  return std::move(a_);
}

}  // namespace morvel
