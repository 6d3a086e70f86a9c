#pragma once
#include <memory>

#include "ShellApi.h"

namespace morvel {

// The shell routines' operations through the Windows shell and the component object runtime.
std::unique_ptr<ShellApi> MakeWin32ShellApi();

}  // namespace morvel
