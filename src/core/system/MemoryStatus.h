#pragma once
// The memory lines of the information window, in kilobytes.
#include <cstdint>
#include <string>

#include "core/runtime/Format.h"
#include "core/system/SystemApi.h"

namespace morvel {

// Bytes as whole kilobytes (bytes / 1024 rounded to nearest, halves to even), grouped in threes
// with the thousands separator, then the decimal separator, "00" and "KB": 1048576 gives
// "1,024.00KB". Exact for every 64-bit count.
std::string FormatKilobytes(std::uint64_t bytes, const NumberSeparators& separators = {});

struct MemoryStatusTexts {
  std::string physical;       // "free physical memory:<free>/<total>"
  std::string pagingFile;     // "free paging file    :<free>/<total>"
  std::string virtualMemory;  // "free virtual memory :<free>/<total>"
};

// The three lines from the machine's 64-bit memory counts and the user's separators.
MemoryStatusTexts GetMemoryStatusTexts(SystemApi& api);

}  // namespace morvel
