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
#include "base/Text.h"
#include "core/report/Lines.h"
#include "core/report/Unit1.h"
#include "core/runtime/RuntimeError.h"
#include "core/system/Version.h"

namespace morvel::cli {
namespace {

// An image file or device is read as if it were drive C; its report is titled with its path.
constexpr char kImageLetter = 'C';

// Where a target's volume is read: a drive letter's as the platform finds it, a path's as the
// platform resolves it (the device or image behind a mount point or a file on a volume).
Platform::ResolvedPath Resolve(const Target& target, const Platform& platform) {
  if (target.letter != 0 || !platform.resolvePath) return {target.text, {}, {}, 0};
  return platform.resolvePath(target.text);
}

std::unique_ptr<VolumeApi> ApiFor(const Target& target, const Platform::ResolvedPath& resolved, const Options& options,
                                  const Platform& platform) {
  const bool drive = target.letter != 0 || resolved.letter != 0;
  return drive ? platform.driveApi() : platform.imageApi(resolved.source, options.partition);
}

// Whether the query found no NTFS volume where it looked, or could not open the target: then
// what the target holds is worth a word.
bool NamesNoVolume(const Findings& findings) {
  if (!findings.report.query) return false;
  const VolumeQuery& query = *findings.report.query;
  constexpr auto kStatusInvalidDeviceRequest = static_cast<std::int32_t>(0xC0000010u);
  return query.outcome == VolumeQuery::Outcome::OpenFailed ||
         (query.outcome == VolumeQuery::Outcome::Refused && query.status == kStatusInvalidDeviceRequest);
}

// Writes the report of one target into `lines` and returns what it found. A runtime error
// stops the report: the lines written before it stay, and its text is kept.
Findings RunReport(const Target& target, const Platform::ResolvedPath& resolved, const Options& options,
                   const Platform& platform, StringLines& lines) {
  Findings findings;
  try {
    auto api = ApiFor(target, resolved, options, platform);
    RequestMap(*api, options);
    const char letter = resolved.letter != 0 ? resolved.letter : kImageLetter;
    if (target.letter != 0)
      WriteDriveReport(target.text, *api, lines, platform.separators, &findings.report);
    else
      WriteTargetReport(letter, target.text, *api, lines, platform.separators, &findings.report);
    CollectMap(*api, options, findings.map, findings.mapReason);
  } catch (const std::exception& e) {
    findings.runtimeError = e.what();
  }
  if (NamesNoVolume(findings) && target.letter == 0 && platform.describe) {
    findings.detected = platform.describe(target.text, options.partition);
  }
  return findings;
}

// What stderr says of a target besides its report: the runtime error that stopped it, and why
// the volume was refused or its listing is incomplete.
void ExplainFindings(const Target& target, const Findings& findings, std::ostream& err) {
  const std::string name = base::EscapeControls(target.text);
  if (!findings.runtimeError.empty())
    err << "morvel: " << name << ": " << ErrorReportText(findings.runtimeError) << '\n';
  // What was found instead of NTFS says more than the check that refused it; JSON keeps both.
  if (!findings.detected.empty())
    err << "morvel: " << name << ": detected: " << base::EscapeControls(findings.detected) << '\n';
  else if (const std::string reason = findings.Reason(); !reason.empty())
    err << "morvel: " << name << ": " << base::EscapeControls(reason) << '\n';
}

// Where the volume of a target that could not be opened was looked for.
void ExplainOpenFailure(const Target& target, const Platform::ResolvedPath& resolved, const Findings& findings,
                        const Platform& platform, std::ostream& err) {
  const auto& query = findings.report.query;
  if (!query || query->outcome != VolumeQuery::Outcome::OpenFailed) return;
  std::string where = resolved.note;
  if (target.letter != 0 && platform.explainDrive) where = platform.explainDrive(target.letter);
  if (target.letter == 0 && resolved.source != target.text && where.empty()) where = "read from " + resolved.source;
  if (!where.empty())
    err << "morvel: " << base::EscapeControls(target.text) << ": " << base::EscapeControls(where) << '\n';
}

DetailsOutcome ReadDetails(const Target& target, const Platform::ResolvedPath& resolved, const Options& options,
                           const Platform& platform) {
  DetailsOutcome outcome;
  outcome.mountPoint = resolved.mountPoint;
  if (!platform.readDetails)
    outcome.error = "not available on this system";
  else
    outcome.error = platform.readDetails(target.letter != 0 ? target.letter : resolved.letter, resolved.source,
                                         options.partition, outcome.details);
  return outcome;
}

// One target: where it was read, its report's findings and, when asked for, its details.
struct TargetRun {
  Platform::ResolvedPath resolved;
  Findings findings;
  std::optional<DetailsOutcome> details;
  bool ok() const { return findings.ok() && (!details || details->error.empty()); }
};

TargetRun RunTarget(const Target& target, const Options& options, const Platform& platform, StringLines& lines) {
  TargetRun run;
  run.resolved = Resolve(target, platform);
  run.findings = RunReport(target, run.resolved, options, platform, lines);
  if (options.details) run.details = ReadDetails(target, run.resolved, options, platform);
  return run;
}

void ExplainRun(const Target& target, const TargetRun& run, const Platform& platform, std::ostream& err) {
  ExplainFindings(target, run.findings, err);
  ExplainOpenFailure(target, run.resolved, run.findings, platform, err);
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
    out << ListTable(list);
  }
  if (!Delivered(out, err)) return kExitQueryFailed;
  // What could not be examined is said, not silently left out.
  for (const auto& unread : list.unread) err << "morvel: not examined: " << base::EscapeControls(unread) << '\n';
  return kExitOk;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform) {
  Options options;
  const std::string usageError = ParseCommandLine(args, options);
  if (options.help) {
    out << UsageText();
    return Delivered(out, err) ? kExitOk : kExitQueryFailed;
  }
  if (options.version) {
    out << "morvel " MORVEL_FILE_VERSION_TEXT "\n";
    return Delivered(out, err) ? kExitOk : kExitQueryFailed;
  }
  if (!usageError.empty()) {
    err << "morvel: " << usageError << "\n" << UsageSynopsis() << "Try 'morvel --help' for more.\n";
    return kExitUsage;
  }
  if (options.list) return RunList(options, out, err, platform);
  bool allSucceeded = true;
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
      ExplainRun(target, run, platform, err);
      if (run.details) details.emplace_back(target.text, *run.details);
      allSucceeded &= run.ok();
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
      if (run.details) {
        out << '\n';
        for (const auto& line : DetailsLines(*run.details)) out << base::EscapeControls(line) << '\n';
      }
      if (!Delivered(out, err)) return kExitQueryFailed;
      ExplainRun(options.targets[i], run, platform, err);
      allSucceeded &= run.ok();
      allSucceeded &= DeliverMap(options, options.targets[i], run.findings.map, run.findings.mapReason, out, err,
                                 platform.terminal);
      if (!Delivered(out, err)) return kExitQueryFailed;
    }
  }
  return allSucceeded ? kExitOk : kExitQueryFailed;
}

}  // namespace morvel::cli
