// Targets on Windows: a drive letter's volume is asked of the file system driver (its map read
// raw, when asked for); a folder or
// file names the volume of its drive letter; anything else is a device or image file read by
// the built-in reader, and what it holds when it is not NTFS is told by its signatures.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/open/TargetOpener.h"
#include "platform/reader/ImageSignature.h"
#include "platform/reader/RawReadVolume.h"
#include "platform/reader/ReaderVolume.h"
#include "platform/reader/StreamByteSource.h"
#include "platform/win32/Win32DeviceSource.h"
#include "platform/win32/Win32DriverDetails.h"
#include "platform/win32/Win32ElevationHint.h"
#include "platform/win32/Win32VolumeApi.h"
#include "platform/win32/Win32Volumes.h"
#include "platform/win32/calls/DriveQuery.h"

namespace morvel {
namespace {

// The advice of the elevation hint, without the program's name in front: why a drive letter has
// no map when its raw bytes were refused.
std::string RawRefusalHint() {
  const std::string hint = kElevationHint;
  const std::string::size_type advice = hint.find(": ");
  return advice == std::string::npos ? hint : hint.substr(advice + 2);
}

class WindowsTargetOpener final : public TargetOpener {
 public:
  explicit WindowsTargetOpener(const OpenerSettings& settings)
      : api_(MakeWin32VolumeApi(settings.wideCalls ? Win32Text::Utf8 : Win32Text::Ansi)) {
    if (settings.elevationHints != nullptr) api_ = WithElevationHint(std::move(api_), *settings.elevationHints);
  }

  // The driver answers the report; the map reads \\.\X: raw through the built-in reader.
  std::unique_ptr<OpenedVolume> OpenDrive(char letter) override {
    return std::make_unique<RawReadVolume>(
        MakeCallDriveVolume(*api_, letter),
        [letter](VolumeDetails& out) { return ReadDriverDetails(letter, *MakeWin32DriverQueries(letter), out); },
        std::string("\\\\.\\") + letter + ":", &OpenWin32DeviceSource,
        RawReadVolume::Refusal{static_cast<int>(ERROR_ACCESS_DENIED), RawRefusalHint()});
  }

 protected:
  void OpenPath(const std::string& text, PartitionChoice choice, OpenedTarget& target) override {
    if (const char letter = Win32DriveOfFolder(text, target.mountPoint); letter != 0) {
      target.volume = OpenDrive(letter);
      return;
    }
    SourceOpening opening;
    opening.name = text;
    opening.result = OpenStreamSource(text, opening.source);
    if (!target.mountPoint.empty()) opening.where = "the volume at " + target.mountPoint + " has no drive letter";
    target.source = text;
    target.volume = std::make_unique<ReaderVolume>(
        std::move(opening), choice,
        [](base::ByteSource* source, int partition) { return DescribeImageSignature(source, partition); });
  }

 private:
  std::unique_ptr<VolumeApi> api_;
};

}  // namespace

std::unique_ptr<TargetOpener> MakeTargetOpener(const OpenerSettings& settings) {
  return std::make_unique<WindowsTargetOpener>(settings);
}

VolumeList ListMachineVolumes() { return ListWin32Volumes(); }

}  // namespace morvel
