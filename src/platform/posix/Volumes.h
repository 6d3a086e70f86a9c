#pragma once
// The machine's NTFS volumes: the listing, the volume behind any path, and what a drive letter
// was looked for in. Logic only; the machine is asked through Machine.h.
#include <string>

#include "platform/posix/Machine.h"
#include "platform/reader/ListedVolume.h"

namespace morvel {

// Where the volume of a path target is read.
struct PathResolution {
  std::string source;      // the device or image to read: the path itself, or a mount's source
  std::string mountPoint;  // of the mounted volume the path led to
  std::string note;        // what stderr says when the report cannot be made
};

// A block device or an image file is read itself; a folder, or a file that holds no image, on
// a mounted NTFS volume names that volume (its file system's device number found in the
// mount table, and the mount's source).
PathResolution ResolvePath(const std::string& path, Machine& machine);

// Whether a block device or an image file is mounted read-write: a mount's device is the block
// device or a loop device the file backs, or its source is the file.
bool IsMountedReadWrite(const std::string& path, Machine& machine);

// Where drive `letter` was looked for: the link tried and the NTFS mounts with their letters.
std::string ExplainDrive(char letter, Machine& machine);

// Every NTFS volume the machine has: block devices with an NTFS signature, mounted NTFS file
// systems and the drive-letter links, each once.
VolumeList ListVolumes(Machine& machine);

}  // namespace morvel
