#pragma once
// A read-only consistency check of an NTFS volume: the boot sector against its backup, $MFTMirr
// against $MFT, the clusters the attributes claim against $Bitmap, the records flagged in use
// against $MFT's $BITMAP, and whether the volume was cleanly unmounted. Each check says what it
// found as findings that name what differs and where; nothing here writes to the volume.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Bytes.h"
#include "ntfs/BootSector.h"
#include "ntfs/Ntfs.h"
#include "ntfs/VolumeReader.h"

namespace ntfs {

struct CheckFinding {
  enum class Severity { Error, Warning, Info };
  Severity severity = Severity::Error;
  std::string code;  // stable: "boot-backup-differs", "cross-linked", ...
  std::string text;
  std::vector<std::string> notes;
};
using CheckFindings = std::vector<CheckFinding>;

// How many items (extents, records, byte ranges) a finding lists; it counts them all.
inline constexpr std::size_t kMaxListed = 10;

// Compares the boot sector with its backup in the sector after the volume's last one, field by
// field. A backup the source does not hold is a finding of its own.
void CheckBootBackup(ByteSource& source, std::uint64_t offset, const BootSector& boot, CheckFindings& out);

// Compares the records $MFTMirr holds (at most the first four) with $MFT's, after their fix-ups,
// up to the used size and leaving out the update sequence arrays.
Result CheckMftMirror(VolumeReader& reader, CheckFindings& out);

// What the first two pages of $LogFile say of the last unmount.
struct LogState {
  enum class Kind { Empty, Clean, Unclean, Unreadable } kind = Kind::Unreadable;
  std::uint64_t page = 0;        // offset of the restart page read, the newer by current LSN
  std::uint64_t currentLsn = 0;  // its restart area's
  std::uint16_t flags = 0;
  std::uint16_t clientsInUse = 0;  // the in-use list's first client, 0xFFFF for none
  std::string reason;              // Unreadable: why neither page could be read
};

// Reads the restart pages from `bytes`, the start of $LogFile (its first two pages or less).
LogState ParseLogRestart(base::Bytes bytes);

// Warnings when $Volume's dirty flag is set or $LogFile's restart area says the volume was not
// cleanly unmounted; `unclean` says whether either holds.
Result CheckVolumeState(VolumeReader& reader, CheckFindings& out, bool& unclean);

// Records flagged in use in their headers against those in use per $MFT's $BITMAP.
using RecordLookup = std::function<bool(std::uint64_t record)>;
void CheckRecordsInUse(std::uint64_t records, const RecordLookup& inBitmap, const RecordLookup& flagged,
                       CheckFindings& out);

// The clusters every attribute claims against $Bitmap: cross-links, clusters claimed but free,
// clusters in use that nothing claims. Given every claim first, then the chunks of $Bitmap in
// order, each in the shape of Volume::BitmapCounter. Memory grows with the claims, not with the
// clusters.
class AllocationCheck {
 public:
  explicit AllocationCheck(std::uint64_t totalClusters) : totalClusters_(totalClusters) {}

  // `label` names the attribute ("$DATA", "$DATA:name"; names escaped for display).
  void Claim(std::uint64_t lcn, std::uint64_t length, std::uint64_t record, const std::string& label);
  // Compares a chunk of $Bitmap with the claims and returns how many of its `clusters` bits are
  // set. The first call sorts the claims and finds the cross-links.
  std::uint64_t Feed(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters);
  // The findings, once the last chunk is fed.
  CheckFindings Finish();

 private:
  struct Claimed {
    std::uint64_t lcn = 0;
    std::uint64_t end = 0;
    std::uint64_t record = 0;
    std::uint32_t label = 0;
  };
  // Extents of one kind met in cluster order: the first kMaxListed, and all counted.
  struct Extents {
    std::vector<std::string> listed;
    std::uint64_t count = 0;
    std::uint64_t clusters = 0;
    std::uint64_t start = 0, end = 0;  // the run still open
    std::size_t owner = 0;             // the claim the open run starts in
  };

  void SortClaims();
  std::string Owner(std::size_t claim) const;
  void Add(Extents& kind, std::uint64_t start, std::uint64_t end, std::size_t owner);
  void Close(Extents& kind, bool named);

  std::uint64_t totalClusters_;
  std::vector<Claimed> claims_;
  std::vector<std::string> labels_;
  std::map<std::string, std::uint32_t, std::less<>> labelIndex_;
  bool sorted_ = false;
  Extents crossLinked_, claimedFree_, lost_, outside_;
  std::size_t next_ = 0;          // the first claim not yet started
  std::uint64_t coveredEnd_ = 0;  // the end of the claims started so far
  std::size_t coverOwner_ = 0;    // the started claim reaching furthest
  std::uint64_t fed_ = 0;         // clusters compared so far
};

// "$DATA", "$INDEX_ALLOCATION:$I30", "attribute 0x1234": an attribute as findings name it, its
// name (UTF-16LE, or UTF-8 as a scan keeps it) escaped.
std::string AttributeLabel(std::uint32_t type, base::Bytes name);
std::string AttributeLabel(std::uint32_t type, std::string_view utf8Name);

// The checks of the volume's own structures: the boot sector's backup, $MFTMirr, the clean
// state. A check that cannot run is a finding; `unclean` says whether the volume was not cleanly
// unmounted, for the notes of the findings that follow.
void CheckStructures(ByteSource& source, std::uint64_t offset, VolumeReader& reader, CheckFindings& out, bool& unclean);

// An Error finding for a check that could not run: "$Bitmap could not be checked: why".
CheckFinding CheckIncomplete(const std::string& what, const Result& why);

// Adds `note` to every finding from `first` on.
void NoteFindings(CheckFindings& findings, std::size_t first, const std::string& note);

inline constexpr const char* kReplayNote = "may be repaired by replaying the log";

}  // namespace ntfs
