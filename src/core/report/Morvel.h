#pragma once
// The volume query, the status names and the metadata file listing.
#include <array>
#include <cstdint>
#include <string>

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

// Fetches the volume data of drive `letter` (opened as \\.\<letter>:). On failure returns
// false and sets `error` to a line fit for the report; on success `error` is left as it was.
bool GetNtfsVolumeData(VolumeApi& api, char letter, NtfsVolumeData& data, std::string& error);

// The metadata files probed in the volume's root, in this order.
inline constexpr std::array<const char*, 11> MetaDataFileNames = {
    "$mft",    "$mftmirr", "$logfile", "$volume",   "$attrdef", "$bitmap",
    "$boot",   "$badclus", "$quota",   "$badclust", "$upcase",
};

// Appends "%-11s    %d bytes" for every metadata file found in <letter>:\, with its name as
// stored on the volume and its full 64-bit size.
void ListMetaDataFiles(VolumeApi& api, char letter, Lines& lines);

}  // namespace morvel
