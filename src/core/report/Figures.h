#pragma once
// The report's derived figures, one function each. The text report calls each just before the
// line that shows it, the JSON document calls the same; each raises the report's runtime
// errors (integer overflow, division by zero) where its arithmetic does.
#include <cstdint>

#include "core/report/VolumeData.h"

namespace morvel {

// Checked 64-bit products, extended-precision quotients rounded to double.
double VolumeSizeMb(const NtfsVolumeData& d);
double FreeSpaceMb(const NtfsVolumeData& d);
double FreeSpacePercent(const NtfsVolumeData& d);
double MftSizeMb(const NtfsVolumeData& d);
// Divided left to right in extended precision: first by the cluster size, then by the count.
double MftPercent(const NtfsVolumeData& d);
std::int64_t MftZoneClusters(const NtfsVolumeData& d);
double MftZoneSizeMb(const NtfsVolumeData& d);
double MftZonePercent(const NtfsVolumeData& d);

}  // namespace morvel
