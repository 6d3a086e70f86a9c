#include "platform/reader/ImageVolumeApi.h"

#include <array>

#include "disk/ContainerSignature.h"
#include "platform/reader/SourceVolumeApi.h"
#include "platform/reader/StreamByteSource.h"

namespace morvel {
namespace {

class ImageVolumeApi final : public SourceVolumeApi {
 public:
  ImageVolumeApi(std::string path, PartitionChoice choice, ImageOpener opener)
      : SourceVolumeApi(choice), path_(std::move(path)), opener_(std::move(opener)) {}

 protected:
  std::unique_ptr<base::ByteSource> OpenDrive(char, int& error) override {
    return opener_ ? opener_(path_, error) : OpenStreamSource(path_, error);
  }

 private:
  std::string path_;
  ImageOpener opener_;
};

}  // namespace

std::unique_ptr<VolumeApi> MakeImageVolumeApi(const std::string& path, PartitionChoice choice, ImageOpener opener) {
  return std::make_unique<ImageVolumeApi>(path, choice, std::move(opener));
}

std::string DescribeImageSignature(const std::string& path, int partition) {
  int error = 0;
  auto source = OpenStreamSource(path, error);
  disk::Container container;
  if (!source || !disk::RecogniseContainer(*source, container)) return {};
  // A fixed VHD is raw data followed by its footer: it was read as it is.
  if (container.format == disk::ContainerFormat::Vdi) {
    return disk::DescribeContainer(container) + ", which this build cannot read";
  }
  if (container.format != disk::ContainerFormat::None && !container.fixedVhd) {
    return disk::DescribeContainer(container) +
           ", which this build cannot read (morvel built on Linux with the container libraries reads it)";
  }
  VolumeExtent extent;
  std::array<std::uint8_t, 512> sector{};
  if (LocateVolume(*source, PartitionChoice{partition}, extent) != 0 || extent.length < sector.size() ||
      !source->ReadAt(extent.offset, sector)) {
    return {};
  }
  return disk::HasBitLockerSignature(sector) ? disk::kBitLockerText : std::string();
}

}  // namespace morvel
