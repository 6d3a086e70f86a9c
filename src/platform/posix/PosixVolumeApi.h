#pragma once
#include <memory>

#include "core/report/VolumeApi.h"
#include "platform/posix/DriveMap.h"

namespace morvel {

// The volume operations on Linux: the built-in NTFS reader over the device or image file a
// drive letter names (DriveMap.h). Failed opens leave an errno value; its message is
// strerror's text.
std::unique_ptr<VolumeApi> MakePosixVolumeApi();
std::unique_ptr<VolumeApi> MakePosixVolumeApi(DriveMapConfig config);

}  // namespace morvel
