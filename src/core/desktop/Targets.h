#pragma once
// Volumes the desktop programs report besides drives C and D: image files, devices and paths
// named on the command line or dropped onto the main window. Each is reported as the console
// program reports it, titled with its path, into the main window's memo.
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/report/Lines.h"
#include "core/report/VolumeAccess.h"
#include "core/runtime/Format.h"

namespace morvel {

// The argument the program's own shortcuts pass; it asks for nothing.
inline constexpr const char* kShortcutArgument = "/starup";

// The targets among the Windows program's arguments (after its name): "/starup", and any other
// argument that begins with "/" or "-", are not targets and are passed over.
std::vector<std::string> WindowsCommandLineTargets(const std::vector<std::string>& args);

// The Linux program's command line (the arguments after its name): --help, --version, "--"
// ending the options, "/starup" passed over, every other argument a target. An argument that
// looks like another option is a usage error.
struct DesktopCommandLine {
  bool help = false;
  bool version = false;
  std::vector<std::string> targets;
  std::string error;  // empty when the line is good
};
DesktopCommandLine ParseDesktopCommandLine(const std::vector<std::string>& args);

// The --help text of the Linux program named `program`.
std::string DesktopUsageText(const std::string& program);

// One target's volume as the platform opened it, and the title its report carries.
struct TargetVolume {
  std::string title;
  std::unique_ptr<VolumeAccess> volume;
};
using TargetOpenFn = std::function<TargetVolume(const std::string& target)>;

// The lines that follow a failed report's error line: what the target holds when it is not
// NTFS, why the volume was refused, where the program looked. None when there is nothing more
// to say.
std::vector<std::string> ExplanationLines(const VolumeQuery& query);

// Replaces the lines with the report of each target, in order, an empty line between two, each
// titled as its opener says and followed by the explanation of a failure. An error that stops
// a report (the runtime's arithmetic errors) goes to `reportError` with the report's lines so
// far left in place, and the next target follows.
void WriteTargetReports(const std::vector<std::string>& targets, const TargetOpenFn& open, Lines& lines,
                        const NumberSeparators& separators,
                        const std::function<void(const std::exception&)>& reportError);

}  // namespace morvel
