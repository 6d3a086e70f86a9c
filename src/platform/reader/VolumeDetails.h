#pragma once
// What --details tells of a volume and where each figure came from, read by the built-in
// reader from a device or image file on every platform.
#include <cstdint>
#include <string>

#include "ntfs/VolumeFacts.h"
#include "platform/reader/VolumeLocation.h"

namespace morvel {

struct VolumeDetails {
  ntfs::VolumeFacts facts;
  std::string source;        // the device or image file read
  int partition = 0;         // 0: the source is the volume itself
  std::uint64_t offset = 0;  // of the volume in its source
  // The physical sector size when the device says it; 0 when unknown (an image file).
  std::uint32_t physicalSectorSize = 0;
  bool blockDevice = false;
};

// Finds the volume in `whole` as the report does (`choice`) and reads its facts. Returns "" or
// why they could not be read.
std::string ReadVolumeDetails(base::ByteSource& whole, PartitionChoice choice, VolumeDetails& out);

// "0x" and the serial number in 16 lower-case hex digits.
std::string SerialNumberText(std::uint64_t serial);

}  // namespace morvel
