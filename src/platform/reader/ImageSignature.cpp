#include "platform/reader/ImageSignature.h"

#include <array>
#include <string_view>

#include "disk/ContainerSignature.h"
#include "disk/Signatures.h"
#include "ntfs/BootSector.h"
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
  if (!LocateVolume(source, PartitionChoice{partition}, extent).ok()) return {};
  SliceByteSource volume(source, extent.offset, extent.length);
  return disk::DescribeSignature(volume);
}

std::string DescribeImageSignature(base::ByteSource* source, int partition) {
  return source != nullptr ? DescribeImageSignature(*source, partition) : std::string();
}

bool HoldsImage(base::ByteSource& source) {
  std::array<std::uint8_t, 512> head{};
  if (source.Size() < head.size() || !source.ReadAt(0, head)) return false;
  const std::string_view bytes(reinterpret_cast<const char*>(head.data()), head.size());
  if (ntfs::HasNtfsSignature(head) || (head[510] == 0x55 && head[511] == 0xAA)) return true;
  for (std::string_view magic : {std::string_view("vhdxfile"), std::string_view("conectix"), std::string_view("KDMV"),
                                 std::string_view("QFI\xFB", 4), std::string_view("EVF\x09\x0D\x0A\xFF\x00", 8),
                                 std::string_view("# Disk Descriptor")}) {
    if (bytes.substr(0, magic.size()) == magic) return true;
  }
  // A fixed VHD has its footer at the end only.
  std::array<std::uint8_t, 8> footer{};
  return source.ReadAt(source.Size() - 512, footer) &&
         std::string_view(reinterpret_cast<const char*>(footer.data()), footer.size()) == "conectix";
}

}  // namespace morvel
