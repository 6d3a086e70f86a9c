#pragma once
// The --analyze figures from the files of a volume scan, in the core's terms: the platform
// layer hands each in-use base record with the fragments of its streams (counted by the reader,
// ntfs::CountFragments) and the free extents of the report's $Bitmap pass; this step classifies,
// totals and ranks. Pure: no reading, no OS.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/scan/VolumeScan.h"

namespace morvel {

inline constexpr std::uint32_t kDataAttribute = 0x80;
inline constexpr std::uint16_t kCompressedFlag = 0x0001;

// One non-resident attribute of a file: its type, its attribute flags and the fragments of its
// allocated runs.
struct StreamFacts {
  std::uint32_t type = 0;
  std::uint16_t flags = 0;
  std::uint64_t fragments = 0;
};

class AnalysisBuilder {
 public:
  AnalysisBuilder(std::uint64_t mftRecords, std::uint64_t recordsInUseByBitmap, std::uint64_t recordsFound);

  // One in-use base record, each once whatever its links. `dataSize`: its unnamed $DATA.
  void AddFile(std::uint64_t record, bool directory, std::uint64_t dataSize, std::span<const StreamFacts> streams);
  // Files with no non-resident attribute, counted without being added one by one.
  void AddResidentFiles(std::uint64_t count);
  void AddProblem(std::uint64_t record, const std::string& reason);
  void CountProblems(std::uint64_t count);

  // The figures; `pathOf` names a record (only the few the ranking keeps are asked for).
  VolumeAnalysis Finish(const FreeExtents& free, const std::function<std::string(std::uint64_t)>& pathOf);

 private:
  VolumeAnalysis a_;
  std::vector<FragmentedFile> fragmented_;  // every fragmented file, without its path yet
};

}  // namespace morvel
