#include "platform/reader/ScanRecorder.h"

#include <vector>

#include "core/scan/Analysis.h"

namespace morvel {
namespace {

std::string ReasonOf(const ntfs::Result& r) { return r.reason().empty() ? ntfs::StatusName(r.status()) : r.reason(); }

}  // namespace

VolumeAnalysis AnalyzeScan(const ntfs::MftScan& scan, const FreeExtents& free) {
  AnalysisBuilder builder(scan.RecordCount(), scan.RecordsInUseByBitmap(), scan.RecordsFlaggedInUse());
  std::vector<StreamFacts> facts;
  scan.ForEachFile([&](const ntfs::ScannedFile& f) {
    facts.clear();
    for (const ntfs::ScannedStream& s : f.streams) facts.push_back({s.type, s.flags, ntfs::CountFragments(s.runs)});
    builder.AddFile(f.record, f.directory, f.dataSize, facts);
  });
  builder.AddResidentFiles(scan.ResidentFileCount());
  for (const ntfs::ScanProblem& p : scan.Problems()) builder.AddProblem(p.record, p.reason);
  builder.CountProblems(scan.ProblemCount());
  VolumeAnalysis analysis = builder.Finish(free, [&](std::uint64_t record) { return scan.PathOf(record); });
  for (StreamFragments& t : analysis.streamTypes) t.typeName = ntfs::AttributeTypeName(t.type);
  return analysis;
}

void ScanRecorder::Request(const ScanRequest& request) {
  request_ = request;
  scan_.reset();
  reason_ = Requested() ? "the volume was not queried" : "no scan was asked for";
}

std::vector<Finding> ToFindings(const ntfs::CheckFindings& found, bool inUse) {
  std::vector<Finding> out;
  for (const ntfs::CheckFinding& f : found) {
    Finding& g = out.emplace_back();
    g.severity = f.severity == ntfs::CheckFinding::Severity::Error     ? Finding::Severity::Error
                 : f.severity == ntfs::CheckFinding::Severity::Warning ? Finding::Severity::Warning
                                                                       : Finding::Severity::Info;
    g.code = f.code;
    g.text = f.text;
    g.notes = f.notes;
    if (inUse) g.notes.emplace_back(kInUseNote);
  }
  return out;
}

void ScanRecorder::Scan(base::ByteSource& source, ntfs::Volume& volume) {
  active_ = false;
  mft_.reset();
  check_.reset();
  if (!Requested()) return;
  free_ = FreeExtentCounter();
  ntfs::MftScan scan;
  if (volume.Reader() == nullptr) {
    reason_ = "this volume has no reader to scan its MFT with";
    request_ = {};
    return;
  }
  if (const ntfs::Result r = ntfs::MftScan::Run(*volume.Reader(), scan); !r.ok()) {
    reason_ = "the MFT could not be read: " + ReasonOf(r);
    request_ = {};
    return;
  }
  mft_.emplace(std::move(scan));
  // The check's own reads (the structures, $MFTMirr, $LogFile's restart pages) come before the
  // report's $Bitmap pass, which it then rides.
  if (request_.check) check_.emplace(source, 0, *volume.Reader(), *mft_);
  active_ = true;
}

void ScanRecorder::Observe(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters) {
  if (!active_) return;
  free_.Add(firstCluster, bytes, clusters);
  if (check_) check_->Observe(firstCluster, bytes, clusters);
}

void ScanRecorder::Finish(const ntfs::Result& query) {
  if (!active_) return;
  active_ = false;
  const ScanRequest request = request_;
  request_ = {};
  if (!query.ok()) {
    reason_ = "the volume's $Bitmap could not be read: " + ReasonOf(query);
    return;
  }
  VolumeScan scan;
  if (request.analyze) scan.analysis = AnalyzeScan(*mft_, free_.Extents());
  if (check_) {
    scan.findings = ToFindings(check_->Finish(query), inUse_ && inUse_());
    scan.checked = true;
    check_.reset();
  }
  scan_ = std::move(scan);
}

std::optional<VolumeScan> ScanRecorder::Take(std::string& reason) {
  reason = scan_ ? std::string() : reason_;
  std::optional<VolumeScan> scan = std::move(scan_);
  scan_.reset();
  reason_ = "no scan was asked for";
  return scan;
}

}  // namespace morvel
