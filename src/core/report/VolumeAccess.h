#pragma once
// What the report asks of a volume, in its own terms: the volume's facts or why there are
// none, and the metadata files in its root. Each platform answers in its own way (the file
// system driver on Windows, the built-in reader elsewhere and for image files).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/report/VolumeData.h"

namespace morvel {

// The volume's facts, or why there are none.
struct VolumeQuery {
  enum class Outcome {
    Ok,            // `data` holds the record
    NotSupported,  // the system offers no volume-data request: no open was attempted
    OpenFailed,    // the volume could not be opened: `openError` and `openErrorText`
    Refused,       // the request failed: `status`
  };
  Outcome outcome = Outcome::Ok;
  std::uint32_t openError = 0;
  // The system's message for `openError`: as the system gave it from a volume, trimmed once the
  // core has checked it (QueryVolume).
  std::string openErrorText;
  std::int32_t status = 0;
  std::string reason;  // what the reader says beyond the status: which structure, which check
  NtfsVolumeData data;
  std::string detected;  // what the target holds when it is no NTFS volume, when known
  std::string where;     // where the program looked when the volume could not be opened
  // What was found damaged and passed over on the way to the volume (a partition table read
  // from its backup): the figures stand, and the user should know.
  std::vector<std::string> warnings;

  bool ok() const { return outcome == Outcome::Ok; }
  // The report's line for a failed query.
  std::string ErrorLine() const;
};

struct MetaDataFile {
  std::string name;  // as stored on the volume
  std::int64_t size = 0;
};

// One metadata file looked up in the volume's root.
struct MetaDataLookup {
  enum class Outcome { Found, Absent, Unreadable };
  Outcome outcome = Outcome::Absent;
  MetaDataFile file;   // when found
  std::string reason;  // why the directory could not be read
};

class VolumeAccess {
 public:
  virtual ~VolumeAccess() = default;
  // The volume-data record, or why not. An open failure carries the system's code and its
  // message text untrimmed.
  virtual VolumeQuery QueryVolumeData() = 0;
  // The root directory entry NAME (matched without regard to case).
  virtual MetaDataLookup FindMetaDataFile(const std::string& name) = 0;
};

// The volumes of the drive letters, as the drive buttons report them.
class DriveVolumes {
 public:
  virtual ~DriveVolumes() = default;
  virtual std::unique_ptr<VolumeAccess> OpenDrive(char letter) = 0;
};

}  // namespace morvel
