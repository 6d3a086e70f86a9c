#include "core/report/Figures.h"

#include "core/runtime/Checked.h"

namespace morvel {
namespace {

constexpr long double kMegabyte = 1048576.0L;

// Extended-precision quotient, rounded to double for formatting.
double Ratio(std::int64_t dividend, long double divisor) {
  return static_cast<double>(CheckedDivide(static_cast<long double>(dividend), divisor));
}

double Percent(std::int64_t part, std::int64_t total) {
  return Ratio(CheckedMul(part, 100), static_cast<long double>(total));
}

}  // namespace

double VolumeSizeMb(const NtfsVolumeData& d) {
  return Ratio(CheckedMul(d.NumberSectors, Widen(d.BytesPerSector)), kMegabyte);
}

double FreeSpaceMb(const NtfsVolumeData& d) {
  return Ratio(CheckedMul(d.FreeClusters, Widen(d.BytesPerCluster)), kMegabyte);
}

double FreeSpacePercent(const NtfsVolumeData& d) { return Percent(d.FreeClusters, d.TotalClusters); }

double MftSizeMb(const NtfsVolumeData& d) { return Ratio(d.MftValidDataLength, kMegabyte); }

double MftPercent(const NtfsVolumeData& d) {
  const long double perCluster = CheckedDivide(static_cast<long double>(CheckedMul(d.MftValidDataLength, 100)),
                                               static_cast<long double>(Widen(d.BytesPerCluster)));
  return static_cast<double>(CheckedDivide(perCluster, static_cast<long double>(d.TotalClusters)));
}

std::int64_t MftZoneClusters(const NtfsVolumeData& d) { return CheckedSub(d.MftZoneEnd, d.MftZoneStart); }

double MftZoneSizeMb(const NtfsVolumeData& d) {
  return Ratio(CheckedMul(MftZoneClusters(d), Widen(d.BytesPerCluster)), kMegabyte);
}

double MftZonePercent(const NtfsVolumeData& d) { return Percent(MftZoneClusters(d), d.TotalClusters); }

}  // namespace morvel
