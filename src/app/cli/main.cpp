// morvel: prints the NTFS volume report of drive letters, devices and image files.
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#include "app/cli/SystemIo.h"
#include "platform/reader/ImageVolumeApi.h"
#ifdef _WIN32
#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32ElevationHint.h"
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

namespace {

int RunConsole(const std::vector<std::string>& args) {
  morvel::cli::Platform platform;
#ifdef _WIN32
  platform.driveApi = [] {
    return morvel::WithElevationHint(morvel::MakeWin32VolumeApi(morvel::Win32Text::Utf8), std::cerr);
  };
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
  return morvel::cli::Run(args, std::cout, std::cerr, platform);
}

}  // namespace

#ifdef _WIN32
// The command line arrives as UTF-16 (linked with -municode): a file name outside the ANSI
// code page reaches the program whole, where the ANSI form would hold "?" or a best-fit
// lookalike of another file's name. Inside, every text is UTF-8.
int wmain(int argc, wchar_t** argv) {
  const morvel::ConsoleText console;
  return RunConsole(morvel::Utf8Arguments(argc, argv));
}
#else
int main(int argc, char** argv) { return RunConsole(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc)); }
#endif
