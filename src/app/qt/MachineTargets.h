#pragma once
// What the desktop program on Linux reads when it is pointed at a volume, as the console
// program reads it: a device or image file itself, the mounted NTFS volume that holds a folder
// or file, and container images (E01, VHD, VHDX, VMDK, QCOW2) through their libraries.
#include "core/design/Targets.h"
#include "platform/reader/ImageVolumeApi.h"

namespace morvel::qt {

// The container libraries' opener; null (every file read raw) in a build without them.
ImageOpener ContainerOpener();

// The volume operations over a target named on the command line or dropped onto the window.
TargetOpener MachineTargetOpener();

}  // namespace morvel::qt
