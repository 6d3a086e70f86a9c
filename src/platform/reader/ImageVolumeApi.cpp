#include "platform/reader/ImageVolumeApi.h"

#include "platform/reader/SourceVolumeApi.h"
#include "platform/reader/StreamByteSource.h"

namespace morvel {
namespace {

class ImageVolumeApi final : public SourceVolumeApi {
 public:
  ImageVolumeApi(std::string path, PartitionChoice choice) : SourceVolumeApi(choice), path_(std::move(path)) {}

 protected:
  std::unique_ptr<base::ByteSource> OpenDrive(char, int& error) override { return OpenStreamSource(path_, error); }

 private:
  std::string path_;
};

}  // namespace

std::unique_ptr<VolumeApi> MakeImageVolumeApi(const std::string& path, PartitionChoice choice) {
  return std::make_unique<ImageVolumeApi>(path, choice);
}

}  // namespace morvel
