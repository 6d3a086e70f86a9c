#include "app/cli/ScanOutput.h"

#include <algorithm>

#include "core/scan/ScanText.h"

namespace morvel::cli {
namespace {

std::string Count(std::uint64_t value) { return JsonNumber(static_cast<std::int64_t>(value)); }

void WriteAnalysis(JsonWriter& json, const VolumeAnalysis& a) {
  json.BeginObject("analysis");
  json.Value("mftRecords", Count(a.mftRecords));
  json.Value("recordsInUseByBitmap", Count(a.recordsInUseByBitmap));
  json.Value("recordsFound", Count(a.recordsFound));
  json.Value("files", Count(a.files));
  json.Value("directories", Count(a.directories));
  json.Value("fragmentedFiles", Count(a.fragmentedFiles));
  json.Value("fragments", Count(a.fragments));
  json.Value("filesWithData", Count(a.dataFiles));
  json.Value("compressedFiles", Count(a.compressedFiles));
  json.BeginArray("streams");
  for (const StreamFragments& s : a.streamTypes) {
    json.BeginObject();
    json.Value("type", Count(s.type));
    json.Value("typeName", JsonString(s.typeName));
    json.Value("streams", Count(s.streams));
    json.Value("fragmented", Count(s.fragmented));
    json.Value("fragments", Count(s.fragments));
    json.EndObject();
  }
  json.EndArray();
  json.BeginObject("freeExtents");
  json.Value("count", Count(a.freeExtents.count));
  json.Value("largest", Count(a.freeExtents.largest));
  json.Value("clusters", Count(a.freeExtents.clusters));
  json.EndObject();
  json.BeginArray("mostFragmented");
  for (const FragmentedFile& f : a.mostFragmented) {
    json.BeginObject();
    json.Value("record", Count(f.record));
    json.Value("path", JsonString(f.path));
    json.Value("size", Count(f.size));
    json.Value("fragments", Count(f.fragments));
    json.EndObject();
  }
  json.EndArray();
  json.Value("problemCount", Count(a.problemCount));
  json.BeginArray("problems");
  for (const std::string& p : a.problems) json.Value({}, JsonString(p));
  json.EndArray();
  json.EndObject();
}

void WriteFindingsJson(JsonWriter& json, const std::vector<Finding>& findings) {
  json.BeginArray("findings");
  for (const Finding& f : findings) {
    json.BeginObject();
    json.Value("severity", JsonString(SeverityName(f.severity)));
    json.Value("code", JsonString(f.code));
    json.Value("text", JsonString(f.text));
    json.BeginArray("notes");
    for (const std::string& note : f.notes) json.Value({}, JsonString(note));
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
}

}  // namespace

ScanRequest ScanRequestOf(const Options& options) { return ScanRequest{options.analyze, options.check}; }

bool FoundInconsistent(const ScanOutcome& outcome) {
  return outcome.scan && outcome.scan->checked && std::ranges::any_of(outcome.scan->findings, [](const Finding& f) {
           return f.severity == Finding::Severity::Error;
         });
}

void RequestScan(OpenedVolume& volume, const Options& options, ScanOutcome& outcome) {
  const ScanRequest request = ScanRequestOf(options);
  outcome.asked = request.analyze || request.check;
  outcome.what = !request.check ? "analysis" : request.analyze ? "analysis or check" : "check";
  if (outcome.asked) volume.RequestScan(request);
}

void CollectScan(OpenedVolume& volume, ScanOutcome& outcome) {
  if (outcome.asked) outcome.scan = volume.TakeScan(outcome.reason);
}

void WriteScanJson(JsonWriter& json, const ScanOutcome& outcome) {
  if (!outcome.asked) return;
  if (!outcome.scan) {
    json.Value("scanError", JsonString(outcome.reason));
    return;
  }
  if (outcome.scan->analysis) WriteAnalysis(json, *outcome.scan->analysis);
  if (outcome.scan->checked) WriteFindingsJson(json, outcome.scan->findings);
}

}  // namespace morvel::cli
