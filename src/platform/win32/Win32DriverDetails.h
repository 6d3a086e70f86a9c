#pragma once
// --details of a drive letter on Windows: what the file system driver tells of the mounted
// volume (image files are read by the built-in reader). The system's answers come through an
// interface, so that a fake can give them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Result.h"
#include "platform/reader/VolumeDetails.h"

namespace morvel {

// The system's answers about one volume. Each call returns 0 or the system's error code, taken
// next to the call that failed.
class DriverQueries {
 public:
  struct Information {
    std::string label;        // UTF-8
    std::string fileSystem;   // "NTFS"
    std::uint32_t flags = 0;  // FILE_CASE_SENSITIVE_SEARCH, ...
  };

  virtual ~DriverQueries() = default;
  // GetVolumeInformationW of the volume's root folder.
  virtual std::uint32_t VolumeInformation(Information& out) = 0;
  // FSCTL_GET_NTFS_VOLUME_DATA: NTFS_VOLUME_DATA_BUFFER, then as much of
  // NTFS_EXTENDED_VOLUME_DATA as the system wrote.
  virtual std::uint32_t VolumeData(std::vector<std::uint8_t>& out) = 0;
  // FSCTL_IS_VOLUME_DIRTY: VOLUME_IS_DIRTY, VOLUME_UPGRADE_SCHEDULED.
  virtual std::uint32_t DirtyFlags(std::uint32_t& out) = 0;
  // IOCTL_DISK_GET_PARTITION_INFO_EX: PARTITION_INFORMATION_EX.
  virtual std::uint32_t PartitionInformation(std::vector<std::uint8_t>& out) = 0;
  // The number of extents of $MFT's data (FSCTL_GET_RETRIEVAL_POINTERS).
  virtual std::uint32_t MftExtents(std::uint64_t& out) = 0;
  // Whether hiberfil.sys is in the root folder (0 and `exists` false when it is not) and its
  // first bytes, at most 4.
  virtual std::uint32_t HiberfilHead(bool& exists, std::string& head) = 0;
  // The system's text for an error code.
  virtual std::string Message(std::uint32_t error) = 0;
};

// The queries through the Windows API on drive `letter`.
std::unique_ptr<DriverQueries> MakeWin32DriverQueries(char letter);

// The facts of drive `letter` as its driver tells them; each fact the driver cannot tell is
// left unknown with its reason. A failure says why there are no facts at all.
base::Result ReadDriverDetails(char letter, DriverQueries& queries, VolumeDetails& out);

// The names of the set file system flags in bit order; a bit without a name as "0x00001000".
std::vector<std::string> FileSystemFlagNames(std::uint32_t flags);

}  // namespace morvel
