#pragma once
#include <memory>

#include "core/shell/ShellApi.h"
#include "platform/win32/desktop/ShellCalls.h"

namespace morvel {

// The shell requests through the Windows shell and its shell link object.
std::unique_ptr<ShellApi> MakeWin32ShellApi();
// The calls those requests are made of, each forwarded to the Windows API.
std::unique_ptr<ShellCalls> MakeWin32ShellCalls();

// The component object runtime of the calling thread (CoInitialize, CoUninitialize), from
// construction to destruction.
class ComRuntime {
 public:
  ComRuntime();
  ~ComRuntime();
  ComRuntime(const ComRuntime&) = delete;
  ComRuntime& operator=(const ComRuntime&) = delete;
};

}  // namespace morvel
