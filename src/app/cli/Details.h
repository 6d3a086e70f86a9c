#pragma once
// The --details section after a report, and its --json form: what the volume is and where
// its figures came from.
#include <string>
#include <vector>

#include "app/cli/Json.h"
#include "platform/reader/VolumeDetails.h"

namespace morvel::cli {

struct DetailsOutcome {
  VolumeDetails details;
  std::string mountPoint;  // when the target was a folder or file on a mounted volume
  std::string error;       // why the facts could not be read; "" when they were
};

// "Volume details", its underline and one "name : value" line per fact. Texts from the volume
// and paths are not escaped here: the caller prints every line escaped.
std::vector<std::string> DetailsLines(const DetailsOutcome& outcome);

void WriteDetails(JsonWriter& json, const std::string& target, const DetailsOutcome& outcome);

}  // namespace morvel::cli
