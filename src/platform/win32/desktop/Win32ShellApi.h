#pragma once
#include <memory>

#include "core/shell/ShellApi.h"

namespace morvel {

// The shell routines' operations through the Windows shell and the component object runtime.
std::unique_ptr<ShellApi> MakeWin32ShellApi();

}  // namespace morvel
