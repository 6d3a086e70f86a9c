// morvel: prints the NTFS volume report of drive letters, devices and image files.
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli/Cli.h"
#include "app/cli/SystemIo.h"
#include "platform/reader/ImageVolumeApi.h"
#ifdef _WIN32
#include "platform/reader/StreamByteSource.h"
#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32DriverDetails.h"
#include "platform/win32/Win32ElevationHint.h"
#include "platform/win32/Win32Locale.h"
#include "platform/win32/Win32VolumeApi.h"
#include "platform/win32/Win32Volumes.h"
#else
#include "platform/posix/PosixLocale.h"
#include "platform/posix/PosixVolumeApi.h"
#include "platform/posix/Volumes.h"
#endif
#ifdef MORVEL_CONTAINERS
#include "platform/containers/Containers.h"
#include "platform/containers/Probe.h"
#endif

#ifdef _WIN32
namespace {

// Folders name their volume's drive letter; --list asks the system; --details asks the file
// system driver for a drive letter's facts and reads image files with the built-in reader.
void AddVolumeHooks(morvel::cli::Platform& platform) {
  platform.resolvePath = [](const std::string& path) {
    std::string mountPoint;
    const char letter = morvel::Win32DriveOfFolder(path, mountPoint);
    std::string note = letter == 0 && !mountPoint.empty() ? "the volume at " + mountPoint + " has no drive letter" : "";
    return morvel::cli::Platform::ResolvedPath{path, mountPoint, std::move(note), letter};
  };
  platform.readDetails = [](char letter, const std::string& source, int partition, morvel::VolumeDetails& out) {
    if (letter != 0) return morvel::ReadDriverDetails(letter, *morvel::MakeWin32DriverQueries(letter), out);
    int error = 0;
    auto file = morvel::OpenStreamSource(source, error);
    if (!file) return std::generic_category().message(error);
    out.source = source;
    return morvel::ReadVolumeDetails(*file, morvel::PartitionChoice{partition}, out);
  };
  platform.listVolumes = [] { return morvel::ListWin32Volumes(); };
}

}  // namespace
#else
namespace {

// Container images (E01, VHD, VHDX, VMDK, QCOW2) through their libraries where this build has
// them; without them (null) every file is read raw.
morvel::ImageOpener ContainerOpener() {
#ifdef MORVEL_CONTAINERS
  return [](const std::string& path, int& error) { return morvel::containers::OpenImage(path, error); };
#else
  return nullptr;
#endif
}

// The machine's volumes behind paths, letters, --details and --list.
void AddVolumeHooks(morvel::cli::Platform& platform) {
  auto config = std::make_shared<morvel::DriveMapConfig>(morvel::DefaultDriveMapConfig());
  auto machine = std::shared_ptr<morvel::Machine>(morvel::MakeLinuxMachine(*config, ContainerOpener()));
  platform.driveApi = [config] { return morvel::MakePosixVolumeApi(*config, ContainerOpener()); };
  platform.resolvePath = [machine](const std::string& path) {
    const morvel::PathResolution r = morvel::ResolvePath(path, *machine);
    return morvel::cli::Platform::ResolvedPath{r.source, r.mountPoint, r.note, 0};
  };
  platform.explainDrive = [machine](char letter) { return morvel::ExplainDrive(letter, *machine); };
  platform.readDetails = [config, machine](char letter, const std::string& source, int partition,
                                           morvel::VolumeDetails& out) {
    if (letter == 0) return morvel::ReadDetailsOf(source, partition, out, ContainerOpener());
    int error = 0;
    const std::string path = morvel::ResolveDrive(letter, *config, error);
    return path.empty() ? morvel::ExplainDrive(letter, *machine)
                        : morvel::ReadDetailsOf(path, 0, out, ContainerOpener());
  };
  platform.listVolumes = [machine] { return morvel::ListVolumes(*machine); };
}

}  // namespace
#endif

namespace {

int RunConsole(const std::vector<std::string>& args) {
  morvel::cli::Platform platform;
#ifdef _WIN32
  platform.driveApi = [] {
    return morvel::WithElevationHint(morvel::MakeWin32VolumeApi(morvel::Win32Text::Utf8), std::cerr);
  };
#endif
  AddVolumeHooks(platform);
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
