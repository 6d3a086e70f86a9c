// Targets on Windows: a drive letter's volume is asked of the file system driver; a folder or
// file names the volume of its drive letter; anything else is a device or image file read by
// the built-in reader, and what it holds when it is not NTFS is told by its signatures.
#include <memory>

#include "platform/open/TargetOpener.h"
#include "platform/reader/ImageSignature.h"
#include "platform/reader/ReaderVolume.h"
#include "platform/reader/StreamByteSource.h"
#include "platform/win32/Win32DriverDetails.h"
#include "platform/win32/Win32ElevationHint.h"
#include "platform/win32/Win32VolumeApi.h"
#include "platform/win32/Win32Volumes.h"
#include "platform/win32/calls/DriveQuery.h"

namespace morvel {
namespace {

// A drive letter's volume as the file system driver tells it: no map, details from the driver.
class DriverVolume final : public OpenedVolume {
 public:
  DriverVolume(VolumeApi& api, char letter) : letter_(letter), calls_(MakeCallDriveVolume(api, letter)) {}

  VolumeQuery QueryVolumeData() override { return calls_->QueryVolumeData(); }
  MetaDataLookup FindMetaDataFile(const std::string& name) override { return calls_->FindMetaDataFile(name); }
  bool RequestClusterMap(std::size_t) override { return false; }
  std::optional<ClusterMap> TakeClusterMap(std::string& reason) override {
    reason = "this volume is queried through the file system driver, which gives no map";
    return std::nullopt;
  }
  bool RequestScan(const ScanRequest&) override { return false; }
  std::optional<VolumeScan> TakeScan(std::string& reason) override {
    reason = "this volume is queried through the file system driver, which gives no scan";
    return std::nullopt;
  }
  base::Result ReadDetails(VolumeDetails& out) override {
    return ReadDriverDetails(letter_, *MakeWin32DriverQueries(letter_), out);
  }

 private:
  char letter_;
  std::unique_ptr<VolumeAccess> calls_;
};

class WindowsTargetOpener final : public TargetOpener {
 public:
  explicit WindowsTargetOpener(const OpenerSettings& settings)
      : api_(MakeWin32VolumeApi(settings.wideCalls ? Win32Text::Utf8 : Win32Text::Ansi)) {
    if (settings.elevationHints != nullptr) api_ = WithElevationHint(std::move(api_), *settings.elevationHints);
  }

  std::unique_ptr<OpenedVolume> OpenDrive(char letter) override {
    return std::make_unique<DriverVolume>(*api_, letter);
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
