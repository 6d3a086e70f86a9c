#pragma once
// What the console program learns of one target, from the same report the text output prints:
// the volume query's outcome, the metadata listing and the runtime error that stopped the
// report; and the --json form of it, whose derived figures are the report's own.
#include <optional>
#include <string>

#include "app/cli/Json.h"
#include "app/cli/ScanOutput.h"
#include "core/map/ClusterMap.h"
#include "core/report/VolumeReport.h"

namespace morvel::cli {

struct Findings {
  ReportFindings report;
  std::string runtimeError;       // the text of the runtime error that stopped the report, if any
  std::optional<ClusterMap> map;  // with --map: the cluster map, or why there is none
  std::string mapReason;
  ScanOutcome scan;  // with --analyze or --check: the scan, or why there is none

  // What the target holds instead of an NTFS volume, if known.
  std::string Detected() const { return report.query ? report.query->detected : std::string(); }
  bool queried() const { return report.query && report.query->ok(); }
  // Why the report is incomplete or failed beyond its own lines: the platform's reason for a
  // refused query, or the listing's failure. Empty when there is nothing more to say.
  std::string Reason() const;
  bool ok() const { return queried() && runtimeError.empty() && Reason().empty(); }
};

void WriteFindings(JsonWriter& json, const std::string& target, const Findings& findings);

}  // namespace morvel::cli
