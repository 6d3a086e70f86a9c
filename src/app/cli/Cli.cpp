#include "app/cli/Cli.h"

#include <cerrno>
#include <cstring>
#include <exception>

#include "app/cli/CommandLine.h"
#include "app/cli/JsonReport.h"
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

std::unique_ptr<VolumeApi> ApiFor(const Target& target, const Options& options, const Platform& platform) {
  return target.letter != 0 ? platform.driveApi() : platform.imageApi(target.text, options.partition);
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
Findings RunReport(const Target& target, const Options& options, const Platform& platform, StringLines& lines) {
  Findings findings;
  try {
    auto api = ApiFor(target, options, platform);
    RequestMap(*api, options);
    if (target.letter != 0)
      WriteDriveReport(target.text, *api, lines, platform.separators, &findings.report);
    else
      WriteTargetReport(kImageLetter, target.text, *api, lines, platform.separators, &findings.report);
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
  bool allSucceeded = true;
  if (options.json) {
    JsonWriter json;
    json.BeginObject();
    json.Value("program", JsonString("morvel"));
    json.Value("version", JsonString(MORVEL_FILE_VERSION_TEXT));
    json.BeginArray("reports");
    for (const auto& target : options.targets) {
      StringLines lines;
      const Findings findings = RunReport(target, options, platform, lines);
      WriteFindings(json, target.text, findings);
      ExplainFindings(target, findings, err);
      allSucceeded &= findings.ok();
      allSucceeded &= DeliverMap(options, target, findings.map, findings.mapReason, out, err, platform.terminal);
    }
    json.EndArray();
    json.EndObject();
    out << json.text();
    if (!Delivered(out, err)) return kExitQueryFailed;
  } else {
    for (std::size_t i = 0; i < options.targets.size(); ++i) {
      if (i > 0) out << '\n';
      StringLines lines;
      const Findings findings = RunReport(options.targets[i], options, platform, lines);
      // Names read from a volume and paths may hold control characters: never print them raw.
      for (const auto& line : lines.lines()) out << base::EscapeControls(line) << '\n';
      if (!Delivered(out, err)) return kExitQueryFailed;
      ExplainFindings(options.targets[i], findings, err);
      allSucceeded &= findings.ok();
      allSucceeded &=
          DeliverMap(options, options.targets[i], findings.map, findings.mapReason, out, err, platform.terminal);
      if (!Delivered(out, err)) return kExitQueryFailed;
    }
  }
  return allSucceeded ? kExitOk : kExitQueryFailed;
}

}  // namespace morvel::cli
