#pragma once
// What --details tells of a volume and where each figure came from, read by the built-in
// reader from a device or image file on every platform.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ntfs/VolumeFacts.h"
#include "platform/reader/VolumeLocation.h"

namespace morvel {

// What a file system driver told of a mounted volume (a drive letter on Windows) besides the
// facts: its file system's flags, and why each fact it could not tell is unknown ("" when known).
struct DriverFacts {
  std::uint32_t fileSystemFlags = 0;
  std::vector<std::string> fileSystemFlagNames;
  std::string versionUnknown;
  std::string flagsUnknown;
  std::string hibernationUnknown;
  std::string mftExtentsUnknown;
  std::string partitionUnknown;
};

struct VolumeDetails {
  ntfs::VolumeFacts facts;
  std::string source;        // the device or image file read
  int partition = 0;         // 0: the source is the volume itself
  std::uint64_t offset = 0;  // of the volume in its source
  // The physical sector size when the device says it; 0 when unknown (an image file).
  std::uint32_t physicalSectorSize = 0;
  bool blockDevice = false;
  // Set when the figures came from the file system driver rather than the volume's own bytes;
  // the facts then hold what the driver told (the volume flags: dirty and upgrade on mount).
  std::optional<DriverFacts> driver;
};

// Finds the volume in `whole` as the report does (`choice`) and reads its facts; a failure says
// why they could not be read. `opened`: the volume found there, when it is open already.
base::Result ReadVolumeDetails(base::ByteSource& whole, PartitionChoice choice, VolumeDetails& out,
                               ntfs::Volume* opened = nullptr);

// "0x" and the serial number in 16 lower-case hex digits.
std::string SerialNumberText(std::uint64_t serial);

}  // namespace morvel
