#pragma once
// The system operations on Linux. There is no Windows version record or registry: the version
// query is refused and no key opens, and the machine describes itself (NativeOsDescription)
// from os-release and uname through the same three levels the Windows description uses.
// Memory counts come from /proc/meminfo and the executable's path from /proc/self/exe. The
// executable carries no version resource: its file version is the one it was built with
// (Version.h); version data is read from PE files (.exe) alone.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/system/SystemApi.h"

namespace morvel {

std::unique_ptr<SystemApi> MakePosixSystemApi();

// What the machine's description is made from; a part that could not be read is absent.
struct PosixOsFacts {
  std::optional<std::string> osRelease;                  // the text of /etc/os-release
  std::optional<std::string> sysname, release, machine;  // uname
};
PosixOsFacts ReadPosixOsFacts();

// Detailed: "<PRETTY_NAME> (<sysname> <release> <machine>)"; simple: "<sysname> Version
// <release> (<machine>)"; fixed: "Linux".
std::string DescribePosixOs(const PosixOsFacts& facts);
// PRETTY_NAME of an os-release text, unquoted; absent when missing or empty.
std::optional<std::string> OsReleaseValue(std::string_view osRelease, std::string_view key);

// The counts from a /proc/meminfo text, the process's mapped size (VmSize) and its address
// space limit. The paging file stands for physical memory plus swap, as Windows' commit limit.
MemoryCounts MemoryCountsFrom(std::string_view meminfo, std::uint64_t vmSize, std::uint64_t addressSpace);

// The running executable.
inline constexpr std::string_view kSelfExecutable = "/proc/self/exe";

}  // namespace morvel
