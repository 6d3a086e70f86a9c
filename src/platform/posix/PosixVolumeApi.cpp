#include "platform/posix/PosixVolumeApi.h"

#include "platform/posix/PosixFile.h"
#include "platform/reader/SourceVolumeApi.h"

namespace morvel {
namespace {

class PosixVolumeApi final : public SourceVolumeApi {
 public:
  explicit PosixVolumeApi(DriveMapConfig config) : config_(std::move(config)) {}

 protected:
  std::unique_ptr<base::ByteSource> OpenDrive(char letter, int& error) override {
    const std::string path = ResolveDrive(letter, config_, error);
    if (path.empty()) return nullptr;
    return OpenFdSource(path, error);
  }

 private:
  DriveMapConfig config_;
};

}  // namespace

std::unique_ptr<VolumeApi> MakePosixVolumeApi() { return MakePosixVolumeApi(DefaultDriveMapConfig()); }

std::unique_ptr<VolumeApi> MakePosixVolumeApi(DriveMapConfig config) {
  return std::make_unique<PosixVolumeApi>(std::move(config));
}

}  // namespace morvel
