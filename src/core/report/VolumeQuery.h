#pragma once
// The volume query, the status names and the metadata file listing.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/report/Lines.h"
#include "core/report/VolumeAccess.h"
#include "core/report/VolumeData.h"

namespace morvel {

inline constexpr const char* kNotSupportedText = "Not running on supported version of Windows NT.";
inline constexpr const char* kOpenErrorPrefix = "Error opening volume:";
inline constexpr const char* kQueryErrorPrefix = "Error obtaining NTFS information:";

// Name of a native status code, or its "%8d" form when it has no name here.
std::string NtStatusName(std::int32_t status);

// The volume's facts as the report uses them: an open failure's code must fit a signed 32-bit
// value ("Range check error" otherwise), and its message loses its trailing blanks, line
// breaks and full stops.
VolumeQuery QueryNtfsVolumeData(VolumeAccess& volume);

// The same query as the report renders it: on failure returns false and sets `error` to the
// report's line; on success `error` is left as it was.
bool GetNtfsVolumeData(VolumeAccess& volume, NtfsVolumeData& data, std::string& error);

// The metadata files probed in the volume's root, in this order.
inline constexpr std::array<const char*, 11> MetaDataFileNames = {
    "$mft",  "$mftmirr", "$logfile", "$volume",   "$attrdef", "$bitmap",
    "$boot", "$badclus", "$quota",   "$badclust", "$upcase",
};

// The metadata files found in the volume's root, in the order of MetaDataFileNames. `failure`
// says why a lookup could not read the directory (the first such reason); the files found are
// kept.
struct MetaDataListing {
  std::vector<MetaDataFile> files;
  std::string failure;
};

MetaDataListing FindMetaDataFiles(VolumeAccess& volume);

// Appends "%-11s    %d bytes" for every metadata file found, with its name as stored on the
// volume and its full 64-bit size.
void ListMetaDataFiles(VolumeAccess& volume, Lines& lines);
void AddMetaDataLines(const MetaDataListing& listing, Lines& lines);

}  // namespace morvel
