#pragma once
// What a whole-volume scan found, in the core's own terms so that every program renders it
// without the reader's types: the figures of --analyze, and the findings of a consistency check.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvel {

// A file of the most-fragmented list: its path as read from the volume (raw UTF-8, escaped by
// whoever shows it), its unnamed $DATA size in bytes and the fragments of its $DATA streams.
struct FragmentedFile {
  std::uint64_t record = 0;
  std::string path;
  std::uint64_t size = 0;
  std::uint64_t fragments = 0;
};

// The fragments of one kind of non-resident attribute over the whole volume.
struct StreamFragments {
  std::uint32_t type = 0;        // 0x80 $DATA, 0xA0 $INDEX_ALLOCATION, ...
  std::string typeName;          // "$DATA", as the reader names the type
  std::uint64_t streams = 0;     // streams with allocated clusters
  std::uint64_t fragmented = 0;  // of them, those in more than one fragment
  std::uint64_t fragments = 0;   // over all of them
};

// Free space as runs of clear bits of $Bitmap.
struct FreeExtents {
  std::uint64_t count = 0;
  std::uint64_t largest = 0;   // clusters
  std::uint64_t clusters = 0;  // free clusters in all of them
};

inline constexpr std::size_t kMostFragmentedCount = 20;

struct VolumeAnalysis {
  std::uint64_t mftRecords = 0;            // records $MFT's data holds
  std::uint64_t recordsInUseByBitmap = 0;  // per $MFT's $BITMAP
  std::uint64_t recordsFound = 0;          // valid records whose header says in use
  std::uint64_t files = 0;                 // in-use base records that are not directories
  std::uint64_t directories = 0;
  // Files whose $DATA streams lie in more than one fragment (a fragment: a physically separate
  // extent of the allocated runs; adjacent runs join, holes count for nothing), compressed
  // files apart. `fragments` and `dataFiles` are over every file with allocated, uncompressed
  // $DATA, so fragments / dataFiles is the fragments per file.
  std::uint64_t fragmentedFiles = 0;
  std::uint64_t fragments = 0;
  std::uint64_t dataFiles = 0;
  std::uint64_t compressedFiles = 0;
  std::vector<StreamFragments> streamTypes;  // by type, every kind the volume has
  FreeExtents freeExtents;
  // At most kMostFragmentedCount: fragments descending, then size descending, then path.
  std::vector<FragmentedFile> mostFragmented;
  // Records the scan could not read as they should be: how many, and the first few reasons.
  std::uint64_t problemCount = 0;
  std::vector<std::string> problems;
};

struct Finding {
  enum class Severity { Error, Warning, Info } severity = Severity::Info;
  std::string code;  // stable, e.g. "bitmap-free-in-use"
  std::string text;  // what differs and where
  std::vector<std::string> notes;
};

// What a program asks of a volume's scan: the --analyze figures, the consistency check.
struct ScanRequest {
  bool analyze = false;
  bool check = false;
};

struct VolumeScan {
  std::optional<VolumeAnalysis> analysis;
  std::vector<Finding> findings;
  bool checked = false;  // the consistency check ran: `findings` is its whole word
};

}  // namespace morvel
