#include "ntfs/ScanCheck.h"

#include <algorithm>
#include <set>

#include "ntfs/BootSector.h"
#include "ntfs/Reason.h"
#include "ntfs/VolumeReader.h"

namespace ntfs {
namespace {

using Severity = CheckFinding::Severity;

// Records the scan could not read as it should, said once here and not again as records whose
// flag and bit disagree.
std::set<std::uint64_t> Damaged(const MftScan& scan, CheckFindings& out) {
  std::set<std::uint64_t> damaged;
  std::vector<std::string> listed;
  // A record free in $MFT's $BITMAP may hold anything; the problems past the kept ones are
  // counted as they come.
  std::uint64_t count = scan.ProblemCount() - scan.Problems().size();
  for (const ScanProblem& p : scan.Problems()) {
    if (scan.HasBitmap() && !scan.InUseByBitmap(p.record)) continue;
    damaged.insert(p.record);
    ++count;
    if (listed.size() < kMaxListed) listed.push_back(RecordName(p.record) + ": " + p.reason);
  }
  if (count > 0) {
    std::string text;
    for (const std::string& item : listed) text += (text.empty() ? "" : "; ") + item;
    if (count > listed.size()) text += " and " + Dec(count - listed.size()) + " more (" + Dec(count) + " in all)";
    out.push_back({Severity::Error, "record-damaged", "records that cannot be read as they should: " + text, {}});
  }
  return damaged;
}

}  // namespace

ScanCheck::ScanCheck(ByteSource& source, std::uint64_t offset, VolumeReader& reader, const MftScan& scan) {
  CheckStructures(source, offset, reader, found_, unclean_);
  structural_ = found_.size();
  const std::set<std::uint64_t> damaged = Damaged(scan, found_);
  if (scan.HasBitmap())
    CheckRecordsInUse(
        scan.RecordCount(), [&](std::uint64_t n) { return scan.InUseByBitmap(n); },
        [&](std::uint64_t n) { return scan.FlaggedInUse(n) || damaged.contains(n); }, found_);
  if (!scan.KeptAll()) {
    incomplete_ = Corrupt("the scan of $MFT kept the streams of only some of the files");
    return;
  }
  allocation_.emplace(reader.boot().totalClusters);
  scan.ForEachFile([&](const ScannedFile& f) {
    for (const ScannedStream& s : f.streams) {
      const std::string label = AttributeLabel(s.type, s.name);
      for (const Run& run : s.runs)
        if (run.lcn != kSparse) allocation_->Claim(run.lcn, run.length, f.record, label);
    }
  });
}

void ScanCheck::Observe(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters) {
  if (allocation_) allocation_->Feed(firstCluster, bytes, clusters);
}

CheckFindings ScanCheck::Finish(const Result& pass) {
  CheckFindings out = std::move(found_);
  if (!pass.ok()) {
    out.push_back(CheckIncomplete("the clusters in use", pass));
  } else if (!allocation_) {
    out.push_back(CheckIncomplete("the clusters in use", incomplete_));
  } else {
    CheckFindings allocation = allocation_->Finish();
    out.insert(out.end(), allocation.begin(), allocation.end());
  }
  if (unclean_) NoteFindings(out, structural_, kReplayNote);
  return out;
}

Result CheckVolume(ByteSource& source, std::uint64_t offset, CheckFindings& out) {
  BootSector boot;
  if (Result r = ReadBootSector(source, offset, boot); !r.ok()) return r;
  VolumeReader reader(source, offset, boot);
  if (Result r = reader.LoadMft(); !r.ok()) return r;
  MftScan scan;
  if (Result r = MftScan::Run(reader, scan); !r.ok()) return r;
  ScanCheck check(source, offset, reader, scan);
  const Result pass = ReadBitmap(reader, [&](std::uint64_t first, base::Bytes bytes, std::uint64_t clusters) {
    check.Observe(first, bytes, clusters);
  });
  out = check.Finish(pass);
  return {};
}

}  // namespace ntfs
