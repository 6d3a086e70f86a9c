#include "core/report/VolumeQuery.h"

#include "base/Text.h"
#include "core/runtime/Checked.h"
#include "core/runtime/Format.h"

namespace morvel {

std::string NtStatusName(std::int32_t status) {
  switch (static_cast<std::uint32_t>(status)) {
    case 0x00000000u:
      return "STATUS_SUCCESS";
    case 0xC000000Du:
      return "STATUS_INVALID_PARAMETER";
    case 0xC0000010u:
      return "STATUS_INVALID_DEVICE_REQUEST";
    case 0xC0000021u:
      return "STATUS_ALREADY_COMMITTED";
    case 0xC0000023u:
      return "STATUS_BUFFER_TOO_SMALL";
    default:
      return Format("%8d", {status});
  }
}

std::string VolumeQuery::ErrorLine() const {
  switch (outcome) {
    case Outcome::Ok:
      return {};
    case Outcome::NotSupported:
      return kNotSupportedText;
    case Outcome::OpenFailed:
      return kOpenErrorPrefix + openErrorText;
    case Outcome::Refused:
      return kQueryErrorPrefix + NtStatusName(status);
  }
  return {};
}

VolumeQuery QueryNtfsVolumeData(VolumeAccess& volume) {
  VolumeQuery query = volume.QueryVolumeData();
  if (query.outcome == VolumeQuery::Outcome::OpenFailed) {
    RangeCheckedInt32(query.openError);
    query.openErrorText = base::TrimMessageTail(std::move(query.openErrorText));
  }
  return query;
}

bool GetNtfsVolumeData(VolumeAccess& volume, NtfsVolumeData& data, std::string& error) {
  const VolumeQuery query = QueryNtfsVolumeData(volume);
  if (!query.ok()) {
    error = query.ErrorLine();
    return false;
  }
  data = query.data;
  return true;
}

MetaDataListing FindMetaDataFiles(VolumeAccess& volume) {
  MetaDataListing listing;
  for (const char* name : MetaDataFileNames) {
    MetaDataLookup found = volume.FindMetaDataFile(name);
    if (found.outcome == MetaDataLookup::Outcome::Found) {
      listing.files.push_back(std::move(found.file));
    } else if (found.outcome == MetaDataLookup::Outcome::Unreadable && listing.failure.empty()) {
      listing.failure = std::string(name) + ": " + found.reason;
    }
  }
  return listing;
}

void AddMetaDataLines(const MetaDataListing& listing, Lines& lines) {
  for (const auto& file : listing.files) lines.Add(Format("%-11s    %d bytes", {file.name, file.size}));
}

void ListMetaDataFiles(VolumeAccess& volume, Lines& lines) { AddMetaDataLines(FindMetaDataFiles(volume), lines); }

}  // namespace morvel
