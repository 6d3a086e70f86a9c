#pragma once
// The volume operations over one device or image file, on every platform: each drive letter
// names that file, so the core's query and listing read it unchanged.
#include <memory>
#include <string>

#include "core/report/VolumeApi.h"
#include "platform/reader/VolumeLocation.h"

namespace morvel {

std::unique_ptr<VolumeApi> MakeImageVolumeApi(const std::string& path, PartitionChoice choice);

}  // namespace morvel
