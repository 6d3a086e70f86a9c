#pragma once
#include <memory>

#include "core/report/VolumeApi.h"

namespace morvel {

// The volume operations through the Windows API. Binds NtFsControlFile of the already loaded
// ntdll.dll when created: create it once, at start-up.
std::unique_ptr<VolumeApi> MakeWin32VolumeApi();

}  // namespace morvel
