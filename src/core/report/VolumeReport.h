#pragma once
// The volume report the main window's drive buttons write into the memo.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/report/Lines.h"
#include "core/report/VolumeQuery.h"
#include "core/report/VolumeAccess.h"
#include "core/report/VolumeData.h"
#include "core/runtime/Format.h"

namespace morvel {

// What a report found besides its lines: the query's outcome and, when the report got as far,
// the metadata listing.
struct ReportFindings {
  std::optional<VolumeQuery> query;  // empty when an error stopped the query itself
  std::optional<MetaDataListing> listing;
};

// The six header lines every report opens with.
const std::vector<std::string>& ReportHeaderLines();

// The section lines of a successful query, up to the "Meta-Data files" heading and its
// underline. Each derived figure is computed just before its line, so a runtime error leaves
// the lines before it in `lines`.
void AddVolumeSections(const NtfsVolumeData& data, Lines& lines, const NumberSeparators& separators);

// The drive button handler: empties `lines`, writes the header, takes the drive letter from
// the first character of `caption` ("Range check error" when there is none) and writes the
// report of that drive. Returns whether the volume query succeeded.
bool WriteDriveReport(std::string_view caption, DriveVolumes& drives, Lines& lines, const NumberSeparators& separators,
                      ReportFindings* findings = nullptr);

// The same report of `volume`, titled with `title` (a drive letter, or the path of a device,
// image file or folder). `findings`, when given, receives what the report found, also when a
// runtime error stops it.
bool WriteVolumeReport(std::string_view title, VolumeAccess& volume, Lines& lines, const NumberSeparators& separators,
                       ReportFindings* findings = nullptr);

}  // namespace morvel
