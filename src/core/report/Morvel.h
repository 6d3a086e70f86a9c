#pragma once
// The volume query, the status names and the metadata file listing.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/report/Lines.h"
#include "core/report/VolumeApi.h"
#include "core/report/VolumeData.h"

namespace morvel {

inline constexpr const char* kNotSupportedText = "Not running on supported version of Windows NT.";
inline constexpr const char* kOpenErrorPrefix = "Error opening volume:";
inline constexpr const char* kQueryErrorPrefix = "Error obtaining NTFS information:";

// Name of a native status code, or its "%8d" form when it has no name here.
std::string NtStatusName(std::int32_t status);

// The system's message for an error code with trailing blanks, line breaks and full stops
// removed. The code must fit a signed 32-bit value ("Range check error" otherwise).
std::string SystemMessageText(VolumeApi& api, std::uint32_t errorCode);

// What the volume query of a drive found: the record, or why there is none.
struct VolumeQuery {
  enum class Outcome {
    Ok,            // `data` holds the record
    NotSupported,  // the control entry point is not bound
    OpenFailed,    // the volume could not be opened: `openError` and its `openErrorText`
    Refused,       // the control request failed: `status`
  };
  Outcome outcome = Outcome::Ok;
  std::uint32_t openError = 0;
  std::string openErrorText;  // the system's message, trimmed
  std::int32_t status = 0;
  std::string reason;  // what the platform says beyond the status (LastReason), if anything
  NtfsVolumeData data;

  bool ok() const { return outcome == Outcome::Ok; }
  // The report's line for a failed query.
  std::string ErrorLine() const;
};

// Fetches the volume data of drive `letter` (opened as \\.\<letter>:).
VolumeQuery QueryNtfsVolumeData(VolumeApi& api, char letter);

// The same query as the report renders it: on failure returns false and sets `error` to the
// report's line; on success `error` is left as it was.
bool GetNtfsVolumeData(VolumeApi& api, char letter, NtfsVolumeData& data, std::string& error);

// The metadata files probed in the volume's root, in this order.
inline constexpr std::array<const char*, 11> MetaDataFileNames = {
    "$mft",    "$mftmirr", "$logfile", "$volume",   "$attrdef", "$bitmap",
    "$boot",   "$badclus", "$quota",   "$badclust", "$upcase",
};

struct MetaDataFile {
  std::string name;  // as stored on the volume
  std::int64_t size = 0;
};

// The metadata files found in <letter>:\, in the order of MetaDataFileNames. `failure` says why
// a lookup could not read the directory (the first such reason); the files found are kept.
struct MetaDataListing {
  std::vector<MetaDataFile> files;
  std::string failure;
};

MetaDataListing FindMetaDataFiles(VolumeApi& api, char letter);

// Appends "%-11s    %d bytes" for every metadata file found in <letter>:\, with its name as
// stored on the volume and its full 64-bit size.
void ListMetaDataFiles(VolumeApi& api, char letter, Lines& lines);
void AddMetaDataLines(const MetaDataListing& listing, Lines& lines);

}  // namespace morvel
