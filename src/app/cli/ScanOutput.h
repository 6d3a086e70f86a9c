#pragma once
// The console program's --analyze and --check: the scan asked of each volume before its report,
// and its outcome after it, in text and in --json.
#include <optional>
#include <ostream>
#include <string>

#include "app/cli/CommandLine.h"
#include "app/cli/Json.h"
#include "core/scan/VolumeScan.h"
#include "platform/reader/OpenedVolume.h"

namespace morvel::cli {

// What a target's scan gave: the scan, or why there is none; nothing asked, nothing said.
struct ScanOutcome {
  bool asked = false;
  const char* what = "analysis";  // what was asked: "analysis", "check", "analysis or check"
  std::optional<VolumeScan> scan;
  std::string reason;

  bool ok() const { return !asked || scan.has_value(); }
};

// What the options ask of a volume's scan.
ScanRequest ScanRequestOf(const Options& options);
// Whether the check ran and found an error (not only warnings).
bool FoundInconsistent(const ScanOutcome& outcome);
// Asks `volume` for the scan before the report's query, when the options want one.
void RequestScan(OpenedVolume& volume, const Options& options, ScanOutcome& outcome);
// The scan the report's query made, or why there is none.
void CollectScan(OpenedVolume& volume, ScanOutcome& outcome);

// "analysis", "findings" (when the check ran) or "scanError" of a queried report in --json.
void WriteScanJson(JsonWriter& json, const ScanOutcome& outcome);

}  // namespace morvel::cli
