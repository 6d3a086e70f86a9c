#include "app/cli/CommandLine.h"

#include <charconv>

#include "app/cli/MapOptions.h"
#include "platform/open/TargetOpener.h"

namespace morvel::cli {
namespace {

bool ParsePartition(std::string_view text, int& number) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, number);
  return result.ec == std::errc() && result.ptr == end && number >= 1 && number <= kMaxPartition;
}

// A usage error: what the command line asks that the program cannot do.
base::Result Usage(std::string error) { return {base::Status::Usage, std::move(error)}; }

}  // namespace

base::Result ParseCommandLine(const std::vector<std::string>& args, Options& options) {
  bool optionsEnded = false;
  bool partitionGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        optionsEnded = true;
      } else if (arg == "--help" || arg == "-h") {
        options.help = true;
        return {};
      } else if (arg == "--version") {
        options.version = true;
        return {};
      } else if (arg == "--json") {
        options.json = true;
      } else if (arg == "--list") {
        options.list = true;
      } else if (arg == "--details") {
        options.details = true;
      } else if (arg == "--analyze") {
        options.analyze = true;
      } else if (arg == "--check") {
        options.check = true;
      } else if (OptionParse map = ParseMapOption(args, i, options); map.mine) {
        if (!map.result.ok()) return map.result;
      } else if (OptionParse color = ParseColorOption(arg, options); color.mine) {
        if (!color.result.ok()) return color.result;
      } else if (arg == "--partition" || arg.rfind("--partition=", 0) == 0) {
        std::string value;
        if (arg == "--partition") {
          if (i + 1 == args.size()) return Usage("--partition needs a number");
          value = args[++i];
        } else {
          value = arg.substr(12);
        }
        if (!ParsePartition(value, options.partition)) return Usage("not a partition number: " + value);
        partitionGiven = true;
      } else {
        return Usage("unknown option: " + arg);
      }
      continue;
    }
    options.targets.push_back({arg, DriveLetterOf(arg)});
  }
  if (options.list)
    return options.targets.empty() && !partitionGiven ? base::Result() : Usage("--list takes no target");
  if (options.targets.empty()) return Usage("no target given");
  if (base::Result map = CheckMapTargets(options); !map.ok()) return map;
  for (const auto& target : options.targets) {
    if (partitionGiven && target.letter != 0)
      return Usage("--partition applies to devices and image files, not to drive " + target.text);
  }
  return {};
}

std::string UsageSynopsis() {
  return "Usage: morvel [--partition N] [--json] [--details] [--analyze] [--check] [--map FILE.svg|-]\n"
         "              [--color=WHEN] TARGET...\n"
         "       morvel --list [--json]\n"
         "       morvel --help | --version\n";
}

std::string UsageText() {
  return UsageSynopsis() +
         std::string(
             "Prints the NTFS volume report of each TARGET: a drive letter (C, C: or d), a block\n"
             "device, a mount point or any file or folder on a mounted NTFS volume, or a volume or\n"
             "whole-disk image file, raw or in a container (E01, VHD, VHDX, VMDK, QCOW2).\n"
             "\n"
             "  --partition N  read partition N of a whole disk (default: its first NTFS partition)\n"
             "  --json         print the volume data, the derived figures and the metadata files\n"
             "                 as one JSON document\n"
             "  --details      add what each volume is: label, NTFS version, flags, hibernation,\n"
             "                 serial number, sector size, $MFT extents, and where it was read\n"
             "  --analyze      scan the MFT and add its figures after the report: records, files and\n"
             "                 directories, fragmented files and the most fragmented, free extents\n"
             "  --check        check the volume's consistency, read only, and add what differs after\n"
             "                 the report: boot sector and backup, $MFTMirr, clusters claimed against\n"
             "                 $Bitmap, records in use, the dirty flag and $LogFile's clean state\n"
             "  --list         list the machine's NTFS volumes: devices, mounts and drive letters\n") +
         MapUsageText() +
         "\n"
         "On Linux a drive letter x names what the link x:: in the folder\n"
         "$XDG_CONFIG_HOME/morvel/dosdevices (default ~/.config/morvel/dosdevices) points at;\n"
         "without that link, the mounted NTFS file systems are lettered C, D, E, ... in mount\n"
         "order.\n"
         "Exit status: 0 when every report succeeded, 1 when a volume query failed (the report\n"
         "is still printed), 2 on a usage error, 3 when --check found a volume inconsistent (an\n"
         "error, not only warnings) and nothing failed.\n";
}

}  // namespace morvel::cli
