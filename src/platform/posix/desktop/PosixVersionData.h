#pragma once
// The program's version resource, carried in its executable as the ELF section
// ".morvel.version" (the bytes are generated from Version.h at build time).
#include <cstdint>
#include <span>

namespace morvel {

// The embedded bytes. Calling it also keeps the section in every program that uses the
// POSIX system operations.
std::span<const std::uint8_t> EmbeddedVersionResource();
void KeepVersionData();

}  // namespace morvel
