#pragma once
#include <memory>

#include "platform/win32/calls/VolumeApi.h"

namespace morvel {

// How the operations' texts (paths in, messages and names out) are encoded: the desktop program
// speaks the ANSI code page, the console program UTF-8.
enum class Win32Text { Ansi, Utf8 };

// The volume operations through the Windows API. Binds NtFsControlFile of the already loaded
// ntdll.dll when created: create it once, at start-up.
std::unique_ptr<VolumeApi> MakeWin32VolumeApi(Win32Text text = Win32Text::Ansi);

}  // namespace morvel
