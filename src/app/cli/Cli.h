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
#include "platform/reader/ListedVolume.h"
#include "platform/reader/VolumeDetails.h"

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

  // Where the volume of a path target is read: the device or image itself, or the one mounted
  // where a folder or file lies. Unset: the path itself.
  struct ResolvedPath {
    std::string source;
    std::string mountPoint;  // of the volume a folder or file led to
    std::string note;        // said on stderr when the report cannot be made
    char letter = 0;         // read through the drive operations as this letter instead (Windows)
  };
  std::function<ResolvedPath(const std::string& path)> resolvePath;
  // Where a drive letter that could not be opened was looked for; unset or "": nothing to add.
  std::function<std::string(char letter)> explainDrive;
  // The facts --details shows of drive `letter` (when not 0) or of the device or image
  // `source`. Returns "" or why they could not be read.
  std::function<std::string(char letter, const std::string& source, int partition, VolumeDetails& out)> readDetails;
  // The machine's NTFS volumes, for --list.
  std::function<VolumeList()> listVolumes;
  // What a device or image file holds when its report found no NTFS volume in it ("exFAT file
  // system", ...); empty when there is nothing to add. Optional.
  std::function<std::string(const std::string& path, int partition)> describe;
  Terminal terminal;  // standard output, for --map -
};

// Runs the program on the arguments after its name.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform);

}  // namespace morvel::cli
