#include "platform/posix/PosixVolumeApi.h"

#include "platform/reader/SourceVolumeApi.h"

namespace morvel {
namespace {

class PosixVolumeApi final : public SourceVolumeApi {
 public:
  PosixVolumeApi(DriveMapConfig config, ImageOpener containers)
      : config_(std::move(config)), containers_(std::move(containers)) {}

 protected:
  std::unique_ptr<base::ByteSource> OpenDrive(char letter, int& error) override {
    const std::string path = ResolveDrive(letter, config_, error);
    if (path.empty()) return nullptr;
    return OpenDriveSource(path, containers_, error);
  }

 private:
  DriveMapConfig config_;
  ImageOpener containers_;
};

}  // namespace

std::unique_ptr<VolumeApi> MakePosixVolumeApi(ImageOpener containers) {
  return MakePosixVolumeApi(DefaultDriveMapConfig(), std::move(containers));
}

std::unique_ptr<VolumeApi> MakePosixVolumeApi(DriveMapConfig config, ImageOpener containers) {
  return std::make_unique<PosixVolumeApi>(std::move(config), std::move(containers));
}

}  // namespace morvel
