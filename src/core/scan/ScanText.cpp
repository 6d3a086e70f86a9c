#include "core/scan/ScanText.h"

#include <algorithm>
#include <cstdio>

#include "base/Text.h"

namespace morvel {
namespace {

// 1234567 → "1,234,567" with the locale's thousands separator.
std::string Grouped(std::uint64_t value, const NumberSeparators& sep) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += sep.thousands;
    out += digits[i];
  }
  return out;
}

std::string Average(std::uint64_t total, std::uint64_t count, int decimals, const NumberSeparators& sep) {
  return FormatFixed(count == 0 ? 0.0 : static_cast<double>(total) / static_cast<double>(count), decimals, sep.decimal);
}

std::string PadLeft(std::string text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string PadRight(std::string text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

}  // namespace

const char* SeverityName(Finding::Severity severity) {
  switch (severity) {
    case Finding::Severity::Error:
      return "error";
    case Finding::Severity::Warning:
      return "warning";
    case Finding::Severity::Info:
      return "info";
  }
  return "info";
}

std::vector<std::string> AnalysisLines(const VolumeAnalysis& a, const NumberSeparators& sep) {
  const auto n = [&](std::uint64_t v) { return Grouped(v, sep); };
  std::vector<std::string> lines = {
      "Analysis",
      "  MFT records            : " + n(a.mftRecords) + " (in use " + n(a.recordsInUseByBitmap) +
          " by $MFT's bitmap, " + n(a.recordsFound) + " found)",
      "  Files / directories    : " + n(a.files) + " / " + n(a.directories),
      "  Fragmented files       : " + n(a.fragmentedFiles) + " (fragments " + n(a.fragments) + ", " +
          Average(a.fragments, a.dataFiles, 1, sep) + " per file); compressed files " + n(a.compressedFiles),
      "  Free space extents     : " + n(a.freeExtents.count) + " (largest " + n(a.freeExtents.largest) +
          " clusters, average " + n(a.freeExtents.count == 0 ? 0 : a.freeExtents.clusters / a.freeExtents.count) +
          " clusters)",
  };
  if (a.problemCount > 0) {
    lines.push_back("  Records with problems  : " + n(a.problemCount));
    for (const std::string& p : a.problems) lines.push_back("    " + base::EscapeControls(p));
    if (a.problemCount > a.problems.size())
      lines.push_back("    ... and " + n(a.problemCount - a.problems.size()) + " more");
  }
  lines.push_back("  Most fragmented files");
  if (a.mostFragmented.empty()) {
    lines.push_back("    none");
    return lines;
  }
  std::size_t sizeWidth = 4;
  for (const FragmentedFile& f : a.mostFragmented) sizeWidth = std::max(sizeWidth, n(f.size).size());
  lines.push_back("    fragments  " + PadRight("size", sizeWidth) + "  path");
  for (const FragmentedFile& f : a.mostFragmented)
    lines.push_back("    " + PadLeft(n(f.fragments), 9) + "  " + PadLeft(n(f.size), sizeWidth) + "  " +
                    base::EscapeControls(f.path));
  return lines;
}

std::vector<std::string> FindingLines(const std::vector<Finding>& findings) {
  std::size_t errors = 0, warnings = 0;
  for (const Finding& f : findings) {
    errors += f.severity == Finding::Severity::Error;
    warnings += f.severity == Finding::Severity::Warning;
  }
  std::vector<std::string> lines = {"Consistency check", "  Errors " + std::to_string(errors) + ", warnings " +
                                                             std::to_string(warnings) + ", findings " +
                                                             std::to_string(findings.size())};
  for (const Finding& f : findings) {
    lines.push_back("  " + std::string(SeverityName(f.severity)) + " " + base::EscapeControls(f.code) + ": " +
                    base::EscapeControls(f.text));
    for (const std::string& note : f.notes) lines.push_back("    " + base::EscapeControls(note));
  }
  return lines;
}

std::vector<std::string> ScanLines(const VolumeScan& scan, const NumberSeparators& separators) {
  std::vector<std::string> lines;
  const auto section = [&](const std::vector<std::string>& more) {
    lines.emplace_back();
    lines.insert(lines.end(), more.begin(), more.end());
  };
  if (scan.analysis) section(AnalysisLines(*scan.analysis, separators));
  if (scan.checked) section(FindingLines(scan.findings));
  return lines;
}

}  // namespace morvel
