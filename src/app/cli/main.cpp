// morvel: prints the NTFS volume report of drive letters, devices and image files.
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#include "app/cli/SystemIo.h"
#include "platform/reader/ImageVolumeApi.h"
#ifdef _WIN32
#include "platform/win32/Win32Locale.h"
#include "platform/win32/Win32VolumeApi.h"
#else
#include "platform/posix/PosixLocale.h"
#include "platform/posix/PosixVolumeApi.h"
#endif
#ifdef MORVEL_CONTAINERS
#include "platform/containers/Containers.h"
#include "platform/containers/Probe.h"
#endif

int main(int argc, char** argv) {
  morvel::cli::Platform platform;
#ifdef _WIN32
  platform.driveApi = [] { return morvel::MakeWin32VolumeApi(); };
#else
  platform.driveApi = [] { return morvel::MakePosixVolumeApi(); };
#endif
#ifdef MORVEL_CONTAINERS
  platform.imageApi = [](const std::string& path, int partition) {
    return morvel::MakeImageVolumeApi(path, morvel::PartitionChoice{partition}, [](const std::string& p, int& error) {
      return morvel::containers::OpenImage(p, error);
    });
  };
  platform.describe = &morvel::containers::DescribeTarget;
#else
  // Raw images and fixed VHDs are read as they are; other containers are named, not read.
  platform.imageApi = [](const std::string& path, int partition) {
    return morvel::MakeImageVolumeApi(path, morvel::PartitionChoice{partition});
  };
  platform.describe = &morvel::DescribeImageSignature;
#endif
  platform.separators = morvel::UserNumberSeparators();
  platform.terminal = morvel::cli::StandardOutput();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return morvel::cli::Run(args, std::cout, std::cerr, platform);
}
