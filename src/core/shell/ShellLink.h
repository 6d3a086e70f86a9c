#pragma once
// Writes a shell link (.lnk) file in the documented Shell Link binary format: the header, a
// LinkInfo with the target's local path, and the working directory and arguments as Unicode
// string data. Used where no shell link object exists to write one.
#include <cstdint>
#include <string>
#include <vector>

namespace morvel {

inline constexpr std::uint32_t kLinkHeaderSize = 0x4C;
inline constexpr std::uint32_t kLinkHasLinkInfo = 0x02;
inline constexpr std::uint32_t kLinkHasWorkingDir = 0x10;
inline constexpr std::uint32_t kLinkHasArguments = 0x20;
inline constexpr std::uint32_t kLinkIsUnicode = 0x80;

// Texts in UTF-8.
struct ShellLinkFields {
  std::string targetPath;
  std::string workingDirectory;
  std::string arguments;
};

// The link file's bytes. The target's 8-bit local path keeps ASCII and shows any other
// character as "?"; its Unicode form is exact. Empty working directory or arguments are left out.
std::vector<std::uint8_t> WriteShellLink(const ShellLinkFields& fields);

}  // namespace morvel
