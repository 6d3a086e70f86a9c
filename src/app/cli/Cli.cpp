#include "app/cli/Cli.h"

#include <exception>

#include "app/cli/CommandLine.h"
#include "app/cli/JsonReport.h"
#include "core/report/Lines.h"
#include "core/runtime/RuntimeError.h"
#include "core/report/Unit1.h"
#include "core/system/Version.h"

namespace morvel::cli {
namespace {

// An image file or device is read as if it were drive C; its report is titled with its path.
constexpr char kImageLetter = 'C';

std::unique_ptr<VolumeApi> ApiFor(const Target& target, const Options& options, const Platform& platform) {
  return target.letter != 0 ? platform.driveApi() : platform.imageApi(target.text, options.partition);
}

// Prints the text report of one target; false when its query failed (the report's last line
// says why) or a runtime error stopped it (the lines written before it are printed, the error
// goes to `err`).
bool PrintTextReport(const Target& target, const Options& options, const Platform& platform, std::ostream& out,
                     std::ostream& err) {
  StringLines lines;
  bool succeeded = false;
  std::string failure;
  try {
    auto api = ApiFor(target, options, platform);
    succeeded = target.letter != 0 ? WriteDriveReport(target.text, *api, lines, platform.separators)
                                   : WriteTargetReport(kImageLetter, target.text, *api, lines, platform.separators);
  } catch (const std::exception& e) {
    failure = ErrorReportText(e.what());
  }
  for (const auto& line : lines.lines()) out << line << '\n';
  out.flush();
  if (!failure.empty()) err << "morvel: " << target.text << ": " << failure << '\n';
  return succeeded && failure.empty();
}

// Adds the target's findings to the document; a failed query is part of them, a runtime
// error also goes to `err`.
bool AddJsonReport(const Target& target, const Options& options, const Platform& platform, JsonWriter& json,
                   std::ostream& err) {
  Findings findings;
  try {
    auto api = ApiFor(target, options, platform);
    findings = CollectFindings(target.letter != 0 ? target.letter : kImageLetter, *api);
  } catch (const std::exception& e) {
    // Raised by the query itself (an error code out of range): nothing was read.
    findings = Findings{};
    findings.error = ErrorReportText(e.what());
  }
  WriteFindings(json, target.text, findings);
  if (!findings.runtimeError.empty()) {
    err << "morvel: " << target.text << ": " << ErrorReportText(findings.runtimeError) << '\n';
  }
  return findings.ok();
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform) {
  Options options;
  const std::string usageError = ParseCommandLine(args, options);
  if (options.help) {
    out << UsageText();
    return kExitOk;
  }
  if (options.version) {
    out << "morvel " MORVEL_FILE_VERSION_TEXT "\n";
    return kExitOk;
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
    for (const auto& target : options.targets) allSucceeded &= AddJsonReport(target, options, platform, json, err);
    json.EndArray();
    json.EndObject();
    out << json.text();
  } else {
    for (std::size_t i = 0; i < options.targets.size(); ++i) {
      if (i > 0) out << '\n';
      allSucceeded &= PrintTextReport(options.targets[i], options, platform, out, err);
    }
  }
  out.flush();
  return allSucceeded ? kExitOk : kExitQueryFailed;
}

}  // namespace morvel::cli
