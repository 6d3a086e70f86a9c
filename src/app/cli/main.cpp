// morvel: prints the NTFS volume report of drive letters, devices and image files.
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#include "platform/reader/ImageVolumeApi.h"
#ifdef _WIN32
#include "platform/win32/Win32Console.h"
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

#ifdef _WIN32
constexpr std::uint32_t kErrorAccessDenied = 5;

// The drive letters' operations on Windows, in UTF-8. Opening a volume needs administrator
// rights: a refusal gets a hint on stderr beside the report's own error line.
class ElevationHint final : public morvel::VolumeApi {
 public:
  explicit ElevationHint(std::unique_ptr<morvel::VolumeApi> api) : api_(std::move(api)) {}
  bool HasFsControl() const override { return api_->HasFsControl(); }
  morvel::Handle OpenFile(const std::string& path, const morvel::OpenRequest& request) override {
    const morvel::Handle handle = api_->OpenFile(path, request);
    if (handle == morvel::kInvalidHandle && api_->LastError() == kErrorAccessDenied) {
      std::cerr << "morvel: reading a volume needs administrator rights: run morvel from an elevated prompt "
                   "(\"Run as administrator\")\n";
    }
    return handle;
  }
  std::uint32_t LastError() override { return api_->LastError(); }
  std::string SystemMessage(std::uint32_t flags, std::int32_t code, std::uint32_t languageId,
                            std::uint32_t bufferSize) override {
    return api_->SystemMessage(flags, code, languageId, bufferSize);
  }
  std::int32_t FsControl(morvel::Handle volume, std::uint32_t controlCode, std::span<std::uint8_t> output) override {
    return api_->FsControl(volume, controlCode, output);
  }
  void CloseHandle(morvel::Handle handle) override { api_->CloseHandle(handle); }
  morvel::Handle FindFirst(const std::string& path, morvel::FindData& data) override {
    return api_->FindFirst(path, data);
  }
  void FindClose(morvel::Handle handle) override { api_->FindClose(handle); }
  std::string LastReason() override { return api_->LastReason(); }

 private:
  std::unique_ptr<morvel::VolumeApi> api_;
};
#endif

int RunConsole(const std::vector<std::string>& args) {
  morvel::cli::Platform platform;
#ifdef _WIN32
  platform.driveApi = [] {
    return std::make_unique<ElevationHint>(morvel::MakeWin32VolumeApi(morvel::Win32Text::Utf8));
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
