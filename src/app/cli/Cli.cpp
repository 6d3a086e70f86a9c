#include "app/cli/Cli.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <utility>

#include "app/cli/CommandLine.h"
#include "app/cli/Details.h"
#include "app/cli/JsonReport.h"
#include "app/cli/ListCommand.h"
#include "app/cli/MapOptions.h"
#include "app/cli/ScanOutput.h"
#include "base/Text.h"
#include "core/report/Lines.h"
#include "core/report/VolumeReport.h"
#include "core/runtime/RuntimeError.h"
#include "core/scan/ScanText.h"
#include "core/system/Version.h"

namespace morvel::cli {
namespace {

// Writes the report of one target into `lines` and returns what it found. A runtime error
// stops the report: the lines written before it stay, and its text is kept.
Findings RunReport(OpenedTarget& target, const Options& options, const Platform& platform, StringLines& lines) {
  Findings findings;
  try {
    RequestMap(*target.volume, options);
    RequestScan(*target.volume, options, findings.scan);
    WriteVolumeReport(target.title, *target.volume, lines, platform.separators, &findings.report);
    CollectMap(*target.volume, options, findings.map, findings.mapReason);
    CollectScan(*target.volume, findings.scan);
  } catch (const std::exception& e) {
    findings.runtimeError = e.what();
  }
  return findings;
}

// What stderr says of a target besides its report: the runtime error that stopped it, why the
// volume was refused or its listing is incomplete, where it was looked for.
void ExplainFindings(const Target& target, const Findings& findings, std::ostream& err) {
  const std::string name = base::EscapeControls(target.text);
  const auto say = [&](const std::string& text) {
    err << "morvel: " << name << ": " << base::EscapeControls(text) << '\n';
  };
  if (!findings.runtimeError.empty())
    err << "morvel: " << name << ": " << ErrorReportText(findings.runtimeError) << '\n';
  const auto& query = findings.report.query;
  if (query)
    for (const std::string& warning : query->warnings) say("warning: " + warning);
  const std::string where = query && query->outcome == VolumeQuery::Outcome::OpenFailed ? query->where : "";
  // What was found instead of NTFS says more than the check that refused it; JSON keeps both.
  if (const std::string detected = findings.Detected(); !detected.empty())
    say("detected: " + detected);
  else if (const std::string reason = findings.Reason(); !reason.empty())
    say(reason);
  else if (query && !query->ok() && where.empty())
    say(query->outcome == VolumeQuery::Outcome::OpenFailed ? query->openErrorText : query->ErrorLine());
  if (!where.empty()) say(where);
}

// One target: where it was read, its report's findings and, when asked for, its details.
struct TargetRun {
  Findings findings;
  std::optional<DetailsOutcome> details;
  // A scan asked for is missing only after a query that succeeded: a failed one says why itself.
  bool ScanMissing() const { return findings.queried() && !findings.scan.ok(); }
  bool ok() const { return findings.ok() && !ScanMissing() && (!details || details->error.empty()); }
};

TargetRun RunTarget(const Target& target, const Options& options, const Platform& platform, StringLines& lines) {
  TargetRun run;
  OpenedTarget opened = platform.opener->Open(target.text, PartitionChoice{options.partition});
  run.findings = RunReport(opened, options, platform, lines);
  if (options.details) {
    DetailsOutcome& details = run.details.emplace();
    details.mountPoint = opened.mountPoint;
    if (const base::Result read = opened.volume->ReadDetails(details.details); !read.ok())
      details.error = read.reason();
  }
  return run;
}

void ExplainRun(const Target& target, const TargetRun& run, std::ostream& err) {
  ExplainFindings(target, run.findings, err);
  if (run.ScanMissing())
    err << "morvel: " << base::EscapeControls(target.text) << ": no " << run.findings.scan.what << ": "
        << base::EscapeControls(run.findings.scan.reason) << '\n';
  if (run.details && !run.details->error.empty() && run.findings.queried())
    err << "morvel: " << base::EscapeControls(target.text) << ": details: " << base::EscapeControls(run.details->error)
        << '\n';
}

// Whether everything written to `out` so far reached its destination; says why on `err` if not.
bool Delivered(std::ostream& out, std::ostream& err) {
  const int saved = errno;
  errno = 0;
  out.flush();
  if (out.good()) {
    errno = saved;
    return true;
  }
  err << "morvel: error writing the output" << (errno != 0 ? std::string(": ") + std::strerror(errno) : "") << '\n';
  return false;
}

int RunList(const Options& options, std::ostream& out, std::ostream& err, const Platform& platform) {
  if (!platform.listVolumes) {
    err << "morvel: --list is not available on this system\n";
    return kExitQueryFailed;
  }
  const VolumeList list = platform.listVolumes();
  if (options.json) {
    JsonWriter json;
    json.BeginObject();
    json.Value("program", JsonString("morvel"));
    json.Value("version", JsonString(MORVEL_FILE_VERSION_TEXT));
    WriteVolumeList(json, list);
    json.EndObject();
    out << json.text();
  } else {
    // On a terminal the table fits its width; into a pipe or a file every text stays whole.
    out << ListTable(list, platform.terminal.isTerminal ? platform.terminal.columns : 0);
  }
  if (!Delivered(out, err)) return kExitQueryFailed;
  // What could not be examined is said, not silently left out.
  for (const auto& unread : list.unread) err << "morvel: not examined: " << base::EscapeControls(unread) << '\n';
  return kExitOk;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform) {
  Options options;
  const base::Result parsed = ParseCommandLine(args, options);
  if (options.help) {
    out << UsageText();
    return Delivered(out, err) ? kExitOk : kExitQueryFailed;
  }
  if (options.version) {
    out << "morvel " MORVEL_FILE_VERSION_TEXT "\n";
    return Delivered(out, err) ? kExitOk : kExitQueryFailed;
  }
  if (!parsed.ok()) {
    err << "morvel: " << base::EscapeControls(parsed.reason()) << "\n"
        << UsageSynopsis() << "Try 'morvel --help' for more.\n";
    return kExitUsage;
  }
  if (options.list) return RunList(options, out, err, platform);
  bool allSucceeded = true;
  bool inconsistent = false;
  if (options.json) {
    JsonWriter json;
    json.BeginObject();
    json.Value("program", JsonString("morvel"));
    json.Value("version", JsonString(MORVEL_FILE_VERSION_TEXT));
    json.BeginArray("reports");
    std::vector<std::pair<std::string, DetailsOutcome>> details;
    for (const auto& target : options.targets) {
      StringLines lines;
      const TargetRun run = RunTarget(target, options, platform, lines);
      WriteFindings(json, target.text, run.findings);
      ExplainRun(target, run, err);
      if (run.details) details.emplace_back(target.text, *run.details);
      allSucceeded &= run.ok();
      inconsistent |= options.check && FoundInconsistent(run.findings.scan);
      allSucceeded &=
          DeliverMap(options, target, run.findings.map, run.findings.mapReason, out, err, platform.terminal);
    }
    json.EndArray();
    if (options.details) {
      json.BeginArray("details");
      for (const auto& [target, outcome] : details) WriteDetails(json, target, outcome);
      json.EndArray();
    }
    json.EndObject();
    out << json.text();
    if (!Delivered(out, err)) return kExitQueryFailed;
  } else {
    for (std::size_t i = 0; i < options.targets.size(); ++i) {
      if (i > 0) out << '\n';
      StringLines lines;
      const TargetRun run = RunTarget(options.targets[i], options, platform, lines);
      // Names read from a volume and paths may hold control characters: never print them raw.
      for (const auto& line : lines.lines()) out << base::EscapeControls(line) << '\n';
      if (run.findings.scan.scan)
        for (const auto& line : ScanLines(*run.findings.scan.scan, platform.separators))
          out << base::EscapeControls(line) << '\n';
      if (run.details) {
        out << '\n';
        for (const auto& line : DetailsLines(*run.details)) out << base::EscapeControls(line) << '\n';
      }
      if (!Delivered(out, err)) return kExitQueryFailed;
      ExplainRun(options.targets[i], run, err);
      allSucceeded &= run.ok();
      inconsistent |= options.check && FoundInconsistent(run.findings.scan);
      allSucceeded &= DeliverMap(options, options.targets[i], run.findings.map, run.findings.mapReason, out, err,
                                 platform.terminal);
      if (!Delivered(out, err)) return kExitQueryFailed;
    }
  }
  if (!allSucceeded) return kExitQueryFailed;
  return inconsistent ? kExitInconsistent : kExitOk;
}

}  // namespace morvel::cli
