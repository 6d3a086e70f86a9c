#pragma once
// One line of `morvel --list`: an NTFS volume of the machine, how a drive letter reaches it,
// and what it is.
#include <cstdint>
#include <string>
#include <vector>

namespace morvel {

struct ListedVolume {
  char letter = 0;         // 0: no letter reaches it
  std::string letterFrom;  // "link" or "mount order"
  std::string device;      // the block device, or the image file a mount or link names
  std::string image;       // the file behind a loop device
  std::uint64_t size = 0;  // bytes of the device or image; 0 when unknown
  std::string label;       // as stored (escape before showing)
  std::string version;     // "3.1"; empty when the volume could not be read
  std::vector<std::string> mountPoints;
  std::string note;  // why the label or version is missing ("Permission denied")
};

struct VolumeList {
  std::vector<ListedVolume> volumes;
  std::vector<std::string> unread;  // "path: reason" of devices that could not be examined
};

}  // namespace morvel
