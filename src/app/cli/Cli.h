#pragma once
// The console program apart from its process: arguments in, report out, exit status back.
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/MapOptions.h"
#include "core/runtime/Format.h"
#include "platform/open/TargetOpener.h"
#include "platform/reader/ListedVolume.h"

namespace morvel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitQueryFailed = 1;
inline constexpr int kExitUsage = 2;
// --check found an error in a volume, and nothing failed (a failure's 1 outranks it).
inline constexpr int kExitInconsistent = 3;

// What the program needs of the machine.
struct Platform {
  // Opens every target, drive letter or path.
  TargetOpener* opener = nullptr;
  NumberSeparators separators;
  // The machine's NTFS volumes, for --list.
  std::function<VolumeList()> listVolumes;
  Terminal terminal;  // standard output, for --map -
};

// Runs the program on the arguments after its name.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform);

}  // namespace morvel::cli
