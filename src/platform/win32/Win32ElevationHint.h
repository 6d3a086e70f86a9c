#pragma once
// Reading a volume on Windows needs administrator rights. The drive letters' operations of the
// console program tell the user how to get past a refusal.
#include <memory>
#include <ostream>

#include "platform/win32/calls/VolumeApi.h"

namespace morvel {

inline constexpr const char* kElevationHint =
    "morvel: reading a volume needs administrator rights: run morvel from an elevated prompt "
    "(\"Run as administrator\")";

// `api` unchanged, except that an open the system refuses with "access denied" writes
// kElevationHint as a line to `hints`, beside the report's own error line.
std::unique_ptr<VolumeApi> WithElevationHint(std::unique_ptr<VolumeApi> api, std::ostream& hints);

}  // namespace morvel
