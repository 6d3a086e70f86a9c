#pragma once
#include <memory>

#include "VolumeApi.h"

namespace morvel {

// The volume operations on Linux.
std::unique_ptr<VolumeApi> MakePosixVolumeApi();

}  // namespace morvel
