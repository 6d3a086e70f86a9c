#pragma once
#include <memory>

#include "core/report/VolumeApi.h"
#include "platform/posix/DriveMap.h"
#include "platform/reader/ImageVolumeApi.h"

namespace morvel {

// The volume operations on Linux: the built-in NTFS reader over the device or image file a
// drive letter names (DriveMap.h); a container image is read through `containers` when given
// (OpenDriveSource). Failed opens leave an errno value; its message is strerror's text.
std::unique_ptr<VolumeApi> MakePosixVolumeApi(ImageOpener containers = nullptr);
std::unique_ptr<VolumeApi> MakePosixVolumeApi(DriveMapConfig config, ImageOpener containers = nullptr);

}  // namespace morvel
