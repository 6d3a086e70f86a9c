#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "core/desktop/Targets.h"
#include "core/report/VolumeReport.h"
#include "tests/fakes/FakeVolume.h"

namespace morvel {
namespace {

TEST(Targets, WindowsProgramPassesOverEverySwitch) {
  EXPECT_EQ(WindowsCommandLineTargets({"/starup", "C:\\a.img", "-x", "/y", "", "d.vhd", "--help"}),
            (std::vector<std::string>{"C:\\a.img", "d.vhd"}));
  EXPECT_TRUE(WindowsCommandLineTargets({"/starup"}).empty());
}

TEST(Targets, LinuxProgramCommandLine) {
  const struct {
    std::vector<std::string> args;
    bool help, version;
    std::vector<std::string> targets;
    std::string error;
  } cases[] = {
      {{}, false, false, {}, ""},
      {{"/starup"}, false, false, {}, ""},
      {{"/starup", "/mnt/win", "a.img"}, false, false, {"/mnt/win", "a.img"}, ""},
      {{"--help", "a.img"}, true, false, {"a.img"}, ""},
      {{"-h"}, true, false, {}, ""},
      {{"--version"}, false, true, {}, ""},
      {{"-x", "a.img", "--nope"}, false, false, {"a.img"}, "unknown option: -x"},
      {{"--", "-odd.img", "/starup", "--help"}, false, false, {"-odd.img", "/starup", "--help"}, ""},
      {{"-"}, false, false, {"-"}, ""},
  };
  for (const auto& c : cases) {
    const DesktopCommandLine line = ParseDesktopCommandLine(c.args);
    EXPECT_EQ(line.help, c.help);
    EXPECT_EQ(line.version, c.version);
    EXPECT_EQ(line.targets, c.targets);
    EXPECT_EQ(line.error, c.error);
  }
}

// Each target's report after the one before, an empty line between, with what was found and
// where the program looked after a failure; an error stops its own report only.
TEST(Targets, ReportsFollowEachOther) {
  const auto open = [](const std::string& target) {
    auto volume = std::make_unique<testing::FakeVolume>();
    VolumeQuery& q = volume->query;
    q.outcome = VolumeQuery::Outcome::OpenFailed;
    q.openError = target == "bad.img" ? 0x80000000u : 2;  // beyond the range of a status: an error
    q.openErrorText = "The system cannot find the file specified.";
    if (target == "b.img") q.where = "read from /dev/sdz1";
    if (target == "a.img") q.detected = "exFAT file system";
    return TargetVolume{target, std::move(volume)};
  };
  StringLines lines;
  lines.Add("Memo1");
  std::vector<std::string> errors;
  WriteTargetReports({"a.img", "bad.img", "b.img"}, open, lines, NumberSeparators{},
                     [&](const std::exception& e) { errors.push_back(e.what()); });

  std::vector<std::string> expected;
  const auto report = [&](const std::string& target, bool stopped) {
    if (!expected.empty()) expected.push_back("");
    for (const auto& line : ReportHeaderLines()) expected.push_back(line);
    expected.insert(expected.end(), {"", "NTFS VOLUME DATA OF [" + target + "] DRIVE"});
    if (!stopped)
      expected.insert(expected.end(), {"", "Error opening volume:The system cannot find the file specified"});
  };
  report("a.img", false);
  expected.push_back("detected: exFAT file system");
  report("bad.img", true);
  report("b.img", false);
  expected.push_back("read from /dev/sdz1");
  EXPECT_EQ(lines.lines(), expected);
  EXPECT_EQ(errors, std::vector<std::string>{"Range check error"});
}

}  // namespace
}  // namespace morvel
