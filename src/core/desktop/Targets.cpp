#include "core/desktop/Targets.h"

#include "core/report/VolumeReport.h"

namespace morvel {
namespace {

// Lines that keep what an earlier report wrote: the report's own Clear starts it after an
// empty line instead, except for the first report, which clears the memo.
class FollowingLines final : public Lines {
 public:
  explicit FollowingLines(Lines& lines) : lines_(lines) {}
  void Clear() override {
    if (first_) {
      lines_.Clear();
    } else {
      lines_.Add("");
    }
    first_ = false;
  }
  void Add(const std::string& line) override { lines_.Add(line); }

 private:
  Lines& lines_;
  bool first_ = true;
};

}  // namespace

std::vector<std::string> WindowsCommandLineTargets(const std::vector<std::string>& args) {
  std::vector<std::string> targets;
  for (const std::string& arg : args) {
    if (!arg.empty() && arg.front() != '/' && arg.front() != '-') targets.push_back(arg);
  }
  return targets;
}

DesktopCommandLine ParseDesktopCommandLine(const std::vector<std::string>& args) {
  DesktopCommandLine line;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
      line.help = true;
    } else if (!optionsEnded && arg == "--version") {
      line.version = true;
    } else if (!optionsEnded && arg == kShortcutArgument) {
      continue;
    } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
      if (line.error.empty()) line.error = "unknown option: " + arg;
    } else if (!arg.empty()) {
      line.targets.push_back(arg);
    }
  }
  return line;
}

std::string DesktopUsageText(const std::string& program) {
  return "Usage: " + program +
         " [IMAGE|DEVICE|PATH]...\n"
         "Shows the NTFS volume layout report in a window. Each volume named is reported when the\n"
         "window opens; an image file dropped onto the window is reported too. \"C DRIVE\" and\n"
         "\"D DRIVE\" report the volumes behind the drive letters C and D.\n"
         "\n"
         "  --help      show this help and exit\n"
         "  --version   show the version and exit\n";
}

std::vector<std::string> ExplanationLines(const VolumeQuery& query) {
  std::vector<std::string> lines;
  if (query.ok()) return lines;
  if (!query.detected.empty())
    lines.push_back("detected: " + query.detected);
  else if (!query.reason.empty())
    lines.push_back(query.reason);
  if (query.outcome == VolumeQuery::Outcome::OpenFailed && !query.where.empty()) lines.push_back(query.where);
  return lines;
}

void WriteTargetReports(const std::vector<std::string>& targets, const TargetOpenFn& open, Lines& lines,
                        const NumberSeparators& separators,
                        const std::function<void(const std::exception&)>& reportError) {
  FollowingLines following(lines);
  for (const std::string& target : targets) {
    try {
      const TargetVolume opened = open(target);
      ReportFindings findings;
      WriteVolumeReport(opened.title, *opened.volume, following, separators, &findings);
      if (findings.query)
        for (const std::string& line : ExplanationLines(*findings.query)) following.Add(line);
    } catch (const std::exception& e) {
      reportError(e);
    }
  }
}

}  // namespace morvel
