#include "core/design/Targets.h"

#include "core/report/Unit1.h"

namespace morvel {
namespace {

// A report is read as if its target were drive C, as the console program reads one.
constexpr char kTargetLetter = 'C';

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

void WriteTargetReports(const std::vector<std::string>& targets, const TargetOpener& open, Lines& lines,
                        const NumberSeparators& separators,
                        const std::function<void(const std::exception&)>& reportError) {
  FollowingLines following(lines);
  for (const std::string& target : targets) {
    try {
      const std::unique_ptr<VolumeApi> api = open(target);
      WriteTargetReport(kTargetLetter, target, *api, following, separators);
    } catch (const std::exception& e) {
      reportError(e);
    }
  }
}

}  // namespace morvel
