#pragma once
// The volume report the main window's drive buttons write into the memo.
#include <string>
#include <string_view>
#include <vector>

#include "core/runtime/Format.h"
#include "core/report/Lines.h"
#include "core/report/VolumeApi.h"
#include "core/report/VolumeData.h"

namespace morvel {

// The six header lines every report opens with.
const std::vector<std::string>& ReportHeaderLines();

// The section lines of a successful query, up to the "Meta-Data files" heading and its
// underline. Each derived figure is computed just before its line, so a runtime error leaves
// the lines before it in `lines`.
void AddVolumeSections(const NtfsVolumeData& data, Lines& lines, const NumberSeparators& separators);

// The drive button handler: empties `lines`, writes the header, takes the drive letter from
// the first character of `caption` ("Range check error" when there is none) and writes the
// report of that drive. Returns whether the volume query succeeded.
bool WriteDriveReport(std::string_view caption, VolumeApi& api, Lines& lines, const NumberSeparators& separators);

// The same report for drive `letter`, titled with `targetName` instead of the letter (the
// console program names a device or image file this way).
bool WriteTargetReport(char letter, std::string_view targetName, VolumeApi& api, Lines& lines,
                       const NumberSeparators& separators);

}  // namespace morvel
