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
  return findings;
}

// What stderr says of a target besides its report: the runtime error that stopped it, and why
// the volume was refused or its listing is incomplete.
void ExplainFindings(const Target& target, const Findings& findings, std::ostream& err) {
  const std::string name = base::EscapeControls(target.text);
  if (!findings.runtimeError.empty()) err << "morvel: " << name << ": " << ErrorReportText(findings.runtimeError) << '\n';
  if (const std::string reason = findings.Reason(); !reason.empty()) {
    err << "morvel: " << name << ": " << base::EscapeControls(reason) << '\n';
  }
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
