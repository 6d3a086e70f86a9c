// morvel: prints the NTFS volume report of drive letters, devices and image files.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#include "platform/reader/ImageVolumeApi.h"
#ifdef _WIN32
#include "platform/win32/Win32Locale.h"
#include "platform/win32/Win32VolumeApi.h"
#else
#include "platform/posix/PosixLocale.h"
#include "platform/posix/PosixVolumeApi.h"
#include "platform/posix/Volumes.h"
#endif

#ifndef _WIN32
namespace {

// The machine's volumes behind paths, letters, --details and --list.
void AddVolumeHooks(morvel::cli::Platform& platform) {
  auto config = std::make_shared<morvel::DriveMapConfig>(morvel::DefaultDriveMapConfig());
  auto machine = std::shared_ptr<morvel::Machine>(morvel::MakeLinuxMachine(*config));
  platform.resolvePath = [machine](const std::string& path) {
    const morvel::PathResolution r = morvel::ResolvePath(path, *machine);
    return morvel::cli::Platform::ResolvedPath{r.source, r.mountPoint, r.note};
  };
  platform.explainDrive = [machine](char letter) { return morvel::ExplainDrive(letter, *machine); };
  platform.readDetails = [config, machine](char letter, const std::string& source, int partition,
                                           morvel::VolumeDetails& out) {
    if (letter == 0) return morvel::ReadDetailsOf(source, partition, out);
    int error = 0;
    const std::string path = morvel::ResolveDrive(letter, *config, error);
    return path.empty() ? morvel::ExplainDrive(letter, *machine) : morvel::ReadDetailsOf(path, 0, out);
  };
  platform.listVolumes = [machine] { return morvel::ListVolumes(*machine); };
}

}  // namespace
#endif

int main(int argc, char** argv) {
  morvel::cli::Platform platform;
#ifdef _WIN32
  platform.driveApi = [] { return morvel::MakeWin32VolumeApi(); };
#else
  platform.driveApi = [] { return morvel::MakePosixVolumeApi(); };
  AddVolumeHooks(platform);
#endif
  platform.imageApi = [](const std::string& path, int partition) {
    return morvel::MakeImageVolumeApi(path, morvel::PartitionChoice{partition});
  };
  platform.separators = morvel::UserNumberSeparators();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return morvel::cli::Run(args, std::cout, std::cerr, platform);
}
