#include "core/report/VolumeReport.h"

#include "core/report/Figures.h"
#include "core/report/VolumeQuery.h"
#include "core/runtime/RuntimeError.h"

namespace morvel {
namespace {

bool AddReportBody(std::string_view titleName, VolumeAccess& volume, Lines& lines, const NumberSeparators& separators,
                   ReportFindings& findings) {
  lines.Add("");
  lines.Add("NTFS VOLUME DATA OF [" + std::string(titleName) + "] DRIVE");
  const VolumeQuery& query = findings.query.emplace(QueryNtfsVolumeData(volume));
  lines.Add("");
  if (!query.ok()) {
    lines.Add(query.ErrorLine());
    return false;
  }
  AddVolumeSections(query.data, lines, separators);
  findings.listing = FindMetaDataFiles(volume);
  AddMetaDataLines(*findings.listing, lines);
  return true;
}

void StartReport(Lines& lines) {
  lines.Clear();
  for (const auto& line : ReportHeaderLines()) lines.Add(line);
}

}  // namespace

const std::vector<std::string>& ReportHeaderLines() {
  static const std::vector<std::string> header = {
      "Message from Original ...",      std::string(35, '-'), "Vantry", "NTFS volume layout report",
      "http://www.example.org/morvel/", std::string(35, '-'),
  };
  return header;
}

void AddVolumeSections(const NtfsVolumeData& d, Lines& lines, const NumberSeparators& sep) {
  auto add = [&](std::string_view fmt, std::initializer_list<FormatArg> args) { lines.Add(Format(fmt, args, sep)); };

  lines.Add("Volume Size");
  lines.Add(std::string(11, '-'));
  add("Volume size            : %.2f MB", {VolumeSizeMb(d)});
  add("Total sectors          : %d", {d.NumberSectors});
  add("Total clusters         : %d", {d.TotalClusters});
  add("Free clusters          : %d", {d.FreeClusters});
  const double freeMb = FreeSpaceMb(d);
  const double freePercent = FreeSpacePercent(d);
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
  const double mftMb = MftSizeMb(d);
  const double mftPercent = MftPercent(d);
  add("MFT size               : %.2f MB (%.2f%% of drive)", {mftMb, mftPercent});
  add("MFT start cluster      : %d", {d.MftStartLcn});
  add("MFT zone clusters      : %d - %d", {d.MftZoneStart, d.MftZoneEnd});
  const double zoneMb = MftZoneSizeMb(d);
  const double zonePercent = MftZonePercent(d);
  add("MFT zone size          : %.2f MB (%.2f%% of drive)", {zoneMb, zonePercent});
  add("MFT mirror start       : %d", {d.Mft2StartLcn});
  lines.Add("");

  lines.Add("Meta-Data files");
  lines.Add(std::string(15, '-'));
}

bool WriteDriveReport(std::string_view caption, DriveVolumes& drives, Lines& lines, const NumberSeparators& separators,
                      ReportFindings* findings) {
  StartReport(lines);
  if (caption.empty()) throw RuntimeError(RuntimeErrorKind::RangeCheck);
  const char letter = caption.front();
  const std::unique_ptr<VolumeAccess> volume = drives.OpenDrive(letter);
  ReportFindings local;
  return AddReportBody(std::string_view(&letter, 1), *volume, lines, separators, findings ? *findings : local);
}

bool WriteVolumeReport(std::string_view title, VolumeAccess& volume, Lines& lines, const NumberSeparators& separators,
                       ReportFindings* findings) {
  StartReport(lines);
  ReportFindings local;
  return AddReportBody(title, volume, lines, separators, findings ? *findings : local);
}

}  // namespace morvel
