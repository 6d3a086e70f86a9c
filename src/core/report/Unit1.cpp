#include "core/report/Unit1.h"

#include "core/runtime/Checked.h"
#include "core/report/Morvel.h"
#include "core/runtime/RuntimeError.h"

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

bool AddReportBody(char letter, std::string_view titleName, VolumeApi& api, Lines& lines,
                   const NumberSeparators& separators) {
  lines.Add("");
  lines.Add("NTFS VOLUME DATA OF [" + std::string(titleName) + "] DRIVE");
  NtfsVolumeData data;
  std::string error;
  const bool succeeded = GetNtfsVolumeData(api, letter, data, error);
  lines.Add("");
  if (!succeeded) {
    lines.Add(error);
    return false;
  }
  AddVolumeSections(data, lines, separators);
  ListMetaDataFiles(api, letter, lines);
  return true;
}

void StartReport(Lines& lines) {
  lines.Clear();
  for (const auto& line : ReportHeaderLines()) lines.Add(line);
}

}  // namespace

const std::vector<std::string>& ReportHeaderLines() {
  static const std::vector<std::string> header = {
      "Message from Original ...",
      std::string(35, '-'),
      "Vantry",
      "NTFS volume layout report",
      "http://www.example.org/morvel/",
      std::string(35, '-'),
  };
  return header;
}

void AddVolumeSections(const NtfsVolumeData& d, Lines& lines, const NumberSeparators& sep) {
  auto add = [&](std::string_view fmt, std::initializer_list<FormatArg> args) { lines.Add(Format(fmt, args, sep)); };

  lines.Add("Volume Size");
  lines.Add(std::string(11, '-'));
  const double volumeMb = Ratio(CheckedMul(d.NumberSectors, Widen(d.BytesPerSector)), kMegabyte);
  add("Volume size            : %.2f MB", {volumeMb});
  add("Total sectors          : %d", {d.NumberSectors});
  add("Total clusters         : %d", {d.TotalClusters});
  add("Free clusters          : %d", {d.FreeClusters});
  const double freeMb = Ratio(CheckedMul(d.FreeClusters, Widen(d.BytesPerCluster)), kMegabyte);
  const double freePercent = Percent(d.FreeClusters, d.TotalClusters);
  add("Free space             : %.2f MB (%.2f%% of drive)", {freeMb, freePercent});
  lines.Add("");

  lines.Add("Allocation Size");
  lines.Add(std::string(16, '-'));
  add("Bytes per sector       : %d", {d.BytesPerSector});
  add("Bytes per cluster      : %d", {d.BytesPerCluster});
  add("Bytes per MFT record   : %d", {d.BytesPerFileRecordSegment});
  add("Clusters per MFT record: %d", {d.ClustersPerFileRecordSegment});
  lines.Add("");

  lines.Add("MFT Information");
  lines.Add(std::string(15, '-'));
  const double mftMb = Ratio(d.MftValidDataLength, kMegabyte);
  // Divided left to right in extended precision: first by the cluster size, then by the count.
  const long double perCluster = CheckedDivide(static_cast<long double>(CheckedMul(d.MftValidDataLength, 100)),
                                               static_cast<long double>(Widen(d.BytesPerCluster)));
  const auto mftPercent = static_cast<double>(CheckedDivide(perCluster, static_cast<long double>(d.TotalClusters)));
  add("MFT size               : %.2f MB (%.2f%% of drive)", {mftMb, mftPercent});
  add("MFT start cluster      : %d", {d.MftStartLcn});
  add("MFT zone clusters      : %d - %d", {d.MftZoneStart, d.MftZoneEnd});
  const double zoneMb = Ratio(CheckedMul(CheckedSub(d.MftZoneEnd, d.MftZoneStart), Widen(d.BytesPerCluster)), kMegabyte);
  const double zonePercent = Percent(CheckedSub(d.MftZoneEnd, d.MftZoneStart), d.TotalClusters);
  add("MFT zone size          : %.2f MB (%.2f%% of drive)", {zoneMb, zonePercent});
  add("MFT mirror start       : %d", {d.Mft2StartLcn});
  lines.Add("");

  lines.Add("Meta-Data files");
  lines.Add(std::string(15, '-'));
}

bool WriteDriveReport(std::string_view caption, VolumeApi& api, Lines& lines, const NumberSeparators& separators) {
  StartReport(lines);
  if (caption.empty()) throw RuntimeError(RuntimeErrorKind::RangeCheck);
  const char letter = caption.front();
  return AddReportBody(letter, std::string_view(&letter, 1), api, lines, separators);
}

bool WriteTargetReport(char letter, std::string_view targetName, VolumeApi& api, Lines& lines,
                       const NumberSeparators& separators) {
  StartReport(lines);
  return AddReportBody(letter, targetName, api, lines, separators);
}

}  // namespace morvel
