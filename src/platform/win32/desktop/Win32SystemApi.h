#pragma once
#include <memory>

#include "core/system/SystemApi.h"

namespace morvel {

// The system queries through the Windows API: version record, registry, memory status,
// module file name, version resource, code page and user locale.
std::unique_ptr<SystemApi> MakeWin32SystemApi();

}  // namespace morvel
