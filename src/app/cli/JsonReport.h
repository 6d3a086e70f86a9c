#pragma once
// The figures of one target for --json: what the volume query returned (through the same core
// query the text report uses), the derived figures and the metadata files found.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/Json.h"
#include "core/report/VolumeApi.h"
#include "core/report/VolumeData.h"

namespace morvel::cli {

struct MetaDataFile {
  std::string name;  // as stored on the volume
  std::uint64_t size = 0;
};

// The report's computed figures, as numbers.
struct DerivedFigures {
  double volumeSizeMB = 0;
  double freeSpaceMB = 0;
  double freeSpacePercent = 0;
  double mftSizeMB = 0;
  double mftPercent = 0;
  std::int64_t mftZoneClusters = 0;
  double mftZoneSizeMB = 0;
  double mftZonePercent = 0;
};

struct Findings {
  bool queried = false;                    // the volume query succeeded
  std::string error;                       // the report's error line when it did not
  std::optional<std::uint32_t> openError;  // the system error of a failed open
  std::optional<std::int32_t> status;      // the status of a refused query
  NtfsVolumeData data;
  std::optional<DerivedFigures> derived;  // empty when a runtime error stopped them
  std::string runtimeError;               // that error's text
  std::vector<MetaDataFile> files;

  bool ok() const { return queried && runtimeError.empty(); }
};

// Raises the report's runtime errors (overflow, division by zero).
DerivedFigures ComputeDerivedFigures(const NtfsVolumeData& d);

// Queries drive `letter` and probes its metadata files, as the report does.
Findings CollectFindings(char letter, VolumeApi& api);

void WriteFindings(JsonWriter& json, const std::string& target, const Findings& findings);

}  // namespace morvel::cli
