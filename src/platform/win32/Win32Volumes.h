#pragma once
// The NTFS volumes Windows knows, and the volume behind a folder: for --list and for folder
// targets of the console program.
#include <string>

#include "platform/reader/ListedVolume.h"

namespace morvel {

// The volumes with an NTFS file system: every volume GUID path (FindFirstVolumeW) and every
// drive letter (GetLogicalDriveStringsW), each once, with its letter, size, label and mount
// folders. The NTFS version is left unknown: only an open of the volume itself would say it.
VolumeList ListWin32Volumes();

// The drive letter of the volume that holds the folder `path` (UTF-8): "C:\", "C:\some\folder",
// a mount folder, "\\?\Volume{GUID}\". 0 when `path` is no folder, or its volume has no letter
// (`mountPoint` then names the volume's root as Windows gave it).
char Win32DriveOfFolder(const std::string& path, std::string& mountPoint);

}  // namespace morvel
