#pragma once
// The console program apart from its process: arguments in, report out, exit status back.
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/MapOptions.h"
#include "core/report/VolumeApi.h"
#include "core/runtime/Format.h"

namespace morvel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitQueryFailed = 1;
inline constexpr int kExitUsage = 2;

// What the program needs of the machine.
struct Platform {
  // The volume operations for drive letters.
  std::function<std::unique_ptr<VolumeApi>()> driveApi;
  // The volume operations over a device or image file; partition 0 is the first NTFS one.
  std::function<std::unique_ptr<VolumeApi>(const std::string& path, int partition)> imageApi;
  NumberSeparators separators;
  // What a device or image file holds when its report found no NTFS volume in it ("exFAT file
  // system", ...); empty when there is nothing to add. Optional.
  std::function<std::string(const std::string& path, int partition)> describe;
  Terminal terminal;  // standard output, for --map -
};

// Runs the program on the arguments after its name.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform);

}  // namespace morvel::cli
