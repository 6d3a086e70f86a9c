#pragma once
// The text of a volume scan after the report: the "Analysis" section of --analyze and the
// "Consistency check" section of the check's findings. Texts read from the volume (paths,
// the reader's reasons) are escaped here, so every program may show the lines as they are.
#include <string>
#include <vector>

#include "core/runtime/Format.h"
#include "core/scan/VolumeScan.h"

namespace morvel {

std::vector<std::string> AnalysisLines(const VolumeAnalysis& analysis, const NumberSeparators& separators);
std::vector<std::string> FindingLines(const std::vector<Finding>& findings);
// Both, as the scan holds them, with an empty line before each section.
std::vector<std::string> ScanLines(const VolumeScan& scan, const NumberSeparators& separators);

// "error", "warning", "info"
const char* SeverityName(Finding::Severity severity);

}  // namespace morvel
