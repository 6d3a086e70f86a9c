#pragma once
// The console program's command line: morvel [--partition N] [--json] [--details] [--analyze]
// [--check] [--map FILE.svg|-] [--color=WHEN] TARGET...
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

namespace morvel::cli {

struct Target {
  std::string text;  // as given
  char letter = 0;   // the drive letter, or 0 for a device or image file path
};

// --color: when the terminal map is drawn in colour.
enum class ColorMode { Auto, Always, Never };

struct Options {
  bool help = false;
  bool version = false;
  bool json = false;
  bool list = false;     // --list: the machine's NTFS volumes instead of reports
  bool details = false;  // --details: what each volume is, after its report
  bool analyze = false;  // --analyze: the MFT scan's figures, after the report
  bool check = false;    // --check: the consistency check's findings, after the report
  int partition = 0;     // 0: the first NTFS partition of a whole disk
  std::string map;       // --map: an SVG file, "-" for the terminal, empty for no map
  ColorMode color = ColorMode::Auto;
  std::vector<Target> targets;
};

inline constexpr int kMaxPartition = 65535;

// Fills `options` from the arguments after the program name; a failure is the usage error.
// --help and --version end the parsing: what follows them is not examined.
base::Result ParseCommandLine(const std::vector<std::string>& args, Options& options);

std::string UsageSynopsis();
std::string UsageText();

}  // namespace morvel::cli
