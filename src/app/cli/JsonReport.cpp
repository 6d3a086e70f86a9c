#include "app/cli/JsonReport.h"

#include <cstdio>

#include "core/runtime/Checked.h"
#include "core/runtime/Format.h"
#include "core/report/Morvel.h"

namespace morvel::cli {
namespace {

constexpr long double kMegabyte = 1048576.0L;

// Passes every call through and keeps the error code of a failed open and the status of the
// control request, which the core's query folds into its error text.
class RecordingVolumeApi final : public VolumeApi {
 public:
  explicit RecordingVolumeApi(VolumeApi& inner) : inner_(inner) {}
  bool HasFsControl() const override { return inner_.HasFsControl(); }
  Handle OpenFile(const std::string& path, const OpenRequest& request) override {
    return inner_.OpenFile(path, request);
  }
  std::uint32_t LastError() override {
    openError = inner_.LastError();
    return *openError;
  }
  std::string SystemMessage(std::uint32_t flags, std::int32_t code, std::uint32_t languageId,
                            std::uint32_t bufferSize) override {
    return inner_.SystemMessage(flags, code, languageId, bufferSize);
  }
  std::int32_t FsControl(Handle volume, std::uint32_t controlCode, std::span<std::uint8_t> output) override {
    status = inner_.FsControl(volume, controlCode, output);
    return *status;
  }
  void CloseHandle(Handle handle) override { inner_.CloseHandle(handle); }
  Handle FindFirst(const std::string& path, FindData& data) override { return inner_.FindFirst(path, data); }
  void FindClose(Handle handle) override { inner_.FindClose(handle); }

  std::optional<std::uint32_t> openError;
  std::optional<std::int32_t> status;

 private:
  VolumeApi& inner_;
};

double Ratio(std::int64_t dividend, long double divisor) {
  return static_cast<double>(CheckedDivide(static_cast<long double>(dividend), divisor));
}

std::vector<MetaDataFile> ProbeMetaDataFiles(char letter, VolumeApi& api) {
  std::vector<MetaDataFile> files;
  for (const char* name : MetaDataFileNames) {
    FindData found;
    const Handle find = api.FindFirst(std::string(1, letter) + ":\\" + name, found);
    if (find == kInvalidHandle) continue;
    api.FindClose(find);
    files.push_back({found.fileName, (std::uint64_t{found.fileSizeHigh} << 32) | found.fileSizeLow});
  }
  return files;
}

std::string StatusHex(std::int32_t status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

void WriteVolumeData(JsonWriter& json, const NtfsVolumeData& d) {
  json.BeginObject("volumeData");
  auto i64 = [&](const char* key, std::int64_t v) { json.Value(key, JsonNumber(v)); };
  i64("VolumeSerialNumber", d.VolumeSerialNumber);
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

void WriteDerived(JsonWriter& json, const DerivedFigures& f) {
  json.BeginObject("derived");
  json.Value("volumeSizeMB", JsonNumber(f.volumeSizeMB));
  json.Value("freeSpaceMB", JsonNumber(f.freeSpaceMB));
  json.Value("freeSpacePercent", JsonNumber(f.freeSpacePercent));
  json.Value("mftSizeMB", JsonNumber(f.mftSizeMB));
  json.Value("mftPercent", JsonNumber(f.mftPercent));
  json.Value("mftZoneClusters", JsonNumber(f.mftZoneClusters));
  json.Value("mftZoneSizeMB", JsonNumber(f.mftZoneSizeMB));
  json.Value("mftZonePercent", JsonNumber(f.mftZonePercent));
  json.EndObject();
}

}  // namespace

DerivedFigures ComputeDerivedFigures(const NtfsVolumeData& d) {
  // The report's own arithmetic: checked 64-bit products, extended-precision quotients.
  DerivedFigures f;
  f.volumeSizeMB = Ratio(CheckedMul(d.NumberSectors, Widen(d.BytesPerSector)), kMegabyte);
  f.freeSpaceMB = Ratio(CheckedMul(d.FreeClusters, Widen(d.BytesPerCluster)), kMegabyte);
  f.freeSpacePercent = Ratio(CheckedMul(d.FreeClusters, 100), static_cast<long double>(d.TotalClusters));
  f.mftSizeMB = Ratio(d.MftValidDataLength, kMegabyte);
  const long double perCluster = CheckedDivide(static_cast<long double>(CheckedMul(d.MftValidDataLength, 100)),
                                               static_cast<long double>(Widen(d.BytesPerCluster)));
  f.mftPercent = static_cast<double>(CheckedDivide(perCluster, static_cast<long double>(d.TotalClusters)));
  f.mftZoneClusters = CheckedSub(d.MftZoneEnd, d.MftZoneStart);
  f.mftZoneSizeMB = Ratio(CheckedMul(f.mftZoneClusters, Widen(d.BytesPerCluster)), kMegabyte);
  f.mftZonePercent = Ratio(CheckedMul(f.mftZoneClusters, 100), static_cast<long double>(d.TotalClusters));
  return f;
}

Findings CollectFindings(char letter, VolumeApi& api) {
  Findings findings;
  RecordingVolumeApi recorder(api);
  findings.queried = GetNtfsVolumeData(recorder, letter, findings.data, findings.error);
  if (!findings.queried) {
    findings.openError = recorder.openError;
    if (!recorder.openError) findings.status = recorder.status;
    return findings;
  }
  try {
    findings.derived = ComputeDerivedFigures(findings.data);
  } catch (const std::exception& e) {
    findings.runtimeError = e.what();
    return findings;
  }
  findings.files = ProbeMetaDataFiles(letter, api);
  return findings;
}

void WriteFindings(JsonWriter& json, const std::string& target, const Findings& f) {
  json.BeginObject();
  json.Value("target", JsonString(target));
  json.Value("ok", f.ok() ? "true" : "false");
  if (!f.queried) {
    json.Value("error", JsonString(f.error));
    if (f.openError) json.Value("errorCode", JsonNumber(std::int64_t{*f.openError}));
    if (f.status) {
      json.Value("status", JsonString(StatusHex(*f.status)));
      json.Value("statusName", JsonString(NtStatusName(*f.status)));
    }
    json.EndObject();
    return;
  }
  WriteVolumeData(json, f.data);
  if (f.derived) WriteDerived(json, *f.derived);
  if (!f.runtimeError.empty()) json.Value("error", JsonString(f.runtimeError));
  if (f.derived) {
    json.BeginArray("metadataFiles");
    for (const auto& file : f.files) {
      json.BeginObject();
      json.Value("name", JsonString(file.name));
      json.Value("size", JsonNumber(static_cast<std::int64_t>(file.size)));
      json.EndObject();
    }
    json.EndArray();
  }
  json.EndObject();
}

}  // namespace morvel::cli
