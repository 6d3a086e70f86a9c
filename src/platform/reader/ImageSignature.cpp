#include "platform/reader/ImageSignature.h"

#include <array>

#include "disk/ContainerSignature.h"
#include "platform/reader/VolumeLocation.h"

namespace morvel {

std::string DescribeImageSignature(base::ByteSource& source, int partition) {
  disk::Container container;
  if (!disk::RecogniseContainer(source, container)) return {};
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
  if (LocateVolume(source, PartitionChoice{partition}, extent) != 0 || extent.length < sector.size() ||
      !source.ReadAt(extent.offset, sector)) {
    return {};
  }
  return disk::HasBitLockerSignature(sector) ? disk::kBitLockerText : std::string();
}

}  // namespace morvel
