#include "app/cli/JsonReport.h"

#include <cstdio>

#include "app/cli/MapOptions.h"
#include "core/report/Figures.h"
#include "core/report/VolumeQuery.h"
#include "core/runtime/RuntimeError.h"
#include "platform/reader/VolumeDetails.h"

namespace morvel::cli {
namespace {

std::string StatusHex(std::int32_t status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

void WriteVolumeData(JsonWriter& json, const NtfsVolumeData& d) {
  json.BeginObject("volumeData");
  auto i64 = [&](const char* key, std::int64_t v) { json.Value(key, JsonNumber(v)); };
  i64("VolumeSerialNumber", d.VolumeSerialNumber);
  // The same number as --details writes it: tools need not know it is stored signed.
  json.Value("VolumeSerialNumberHex", JsonString(SerialNumberText(static_cast<std::uint64_t>(d.VolumeSerialNumber))));
  i64("NumberSectors", d.NumberSectors);
  i64("TotalClusters", d.TotalClusters);
  i64("FreeClusters", d.FreeClusters);
  i64("TotalReserved", d.TotalReserved);
  i64("BytesPerSector", d.BytesPerSector);
  i64("BytesPerCluster", d.BytesPerCluster);
  i64("BytesPerFileRecordSegment", d.BytesPerFileRecordSegment);
  i64("ClustersPerFileRecordSegment", d.ClustersPerFileRecordSegment);
  i64("MftValidDataLength", d.MftValidDataLength);
  i64("MftStartLcn", d.MftStartLcn);
  i64("Mft2StartLcn", d.Mft2StartLcn);
  i64("MftZoneStart", d.MftZoneStart);
  i64("MftZoneEnd", d.MftZoneEnd);
  json.EndObject();
}

// The report's figures, as numbers; called only once the report computed them without error.
void WriteDerived(JsonWriter& json, const NtfsVolumeData& d) {
  json.BeginObject("derived");
  json.Value("volumeSizeMB", JsonNumber(VolumeSizeMb(d)));
  json.Value("freeSpaceMB", JsonNumber(FreeSpaceMb(d)));
  json.Value("freeSpacePercent", JsonNumber(FreeSpacePercent(d)));
  json.Value("mftSizeMB", JsonNumber(MftSizeMb(d)));
  json.Value("mftPercent", JsonNumber(MftPercent(d)));
  json.Value("mftZoneClusters", JsonNumber(MftZoneClusters(d)));
  json.Value("mftZoneSizeMB", JsonNumber(MftZoneSizeMb(d)));
  json.Value("mftZonePercent", JsonNumber(MftZonePercent(d)));
  json.EndObject();
}

void WriteFailedQuery(JsonWriter& json, const Findings& f) {
  if (!f.report.query) {
    // An error raised by the query itself (an error code out of range): nothing was read.
    json.Value("error", JsonString(ErrorReportText(f.runtimeError)));
    return;
  }
  const VolumeQuery& q = *f.report.query;
  json.Value("error", JsonString(q.ErrorLine()));
  if (q.outcome == VolumeQuery::Outcome::OpenFailed) json.Value("errorCode", JsonNumber(std::int64_t{q.openError}));
  if (q.outcome == VolumeQuery::Outcome::Refused) {
    json.Value("status", JsonString(StatusHex(q.status)));
    json.Value("statusName", JsonString(NtStatusName(q.status)));
  }
}

}  // namespace

std::string Findings::Reason() const {
  if (report.query && !report.query->ok()) return report.query->reason;
  return report.listing ? report.listing->failure : std::string();
}

void WriteFindings(JsonWriter& json, const std::string& target, const Findings& f) {
  json.BeginObject();
  WriteTarget(json, target);
  json.Value("ok", f.ok() ? "true" : "false");
  if (const std::string reason = f.Reason(); !reason.empty()) json.Value("reason", JsonString(reason));
  if (const std::string detected = f.Detected(); !detected.empty()) json.Value("detected", JsonString(detected));
  if (f.report.query && !f.report.query->warnings.empty()) {
    json.BeginArray("warnings");
    for (const std::string& warning : f.report.query->warnings) json.Value({}, JsonString(warning));
    json.EndArray();
  }
  if (!f.queried()) {
    WriteFailedQuery(json, f);
    json.EndObject();
    return;
  }
  const NtfsVolumeData& data = f.report.query->data;
  WriteVolumeData(json, data);
  if (!f.runtimeError.empty()) {
    json.Value("error", JsonString(f.runtimeError));
  } else {
    WriteDerived(json, data);
    json.BeginArray("metadataFiles");
    for (const auto& file : f.report.listing->files) {
      json.BeginObject();
      json.Value("name", JsonString(file.name));
      json.Value("size", JsonNumber(file.size));
      json.EndObject();
    }
    json.EndArray();
  }
  WriteMapJson(json, f.map, f.mapReason);
  WriteScanJson(json, f.scan);
  json.EndObject();
}

}  // namespace morvel::cli
