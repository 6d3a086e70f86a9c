#pragma once
// Finds the version resource inside an executable file's bytes: the RT_VERSION resource of a
// PE file (Windows), or the section that carries the same bytes in an ELF file (Linux). Every
// offset, size and count read from the file is bounded by the file before it is used.
#include <cstdint>
#include <span>
#include <string_view>

namespace morvel {

enum class ImageError {
  None,
  NotPe,                 // no "MZ" or no "PE\0\0" where the DOS header points
  BadHeader,             // a header, optional header or section table runs past the file
  NoResources,           // no resource directory, or it lies in no section
  BadResourceDirectory,  // a directory or data entry runs past the resource section
  NoVersionResource,     // no RT_VERSION entry
  NoSuchResource,        // no entry of the asked type
  NotElf,
  NoSection,  // no ELF section of that name, or one without file bytes
};

inline constexpr std::uint16_t kResourceTypeVersion = 16;   // RT_VERSION
inline constexpr std::uint16_t kResourceTypeManifest = 24;  // RT_MANIFEST
inline constexpr std::string_view kElfVersionSection = ".morvel.version";

struct ImageResource {
  std::span<const std::uint8_t> bytes;
  std::uint16_t language = 0;
};

// The first resource of `type` (name 1 when present, else the first name; its first language).
ImageError FindPeResource(std::span<const std::uint8_t> file, std::uint16_t type, ImageResource& resource);
// The first RT_VERSION resource, chosen the same way.
ImageError FindPeVersionResource(std::span<const std::uint8_t> file, ImageResource& resource);
// The bytes of the named section of a little-endian ELF file (32 or 64 bits).
ImageError FindElfSection(std::span<const std::uint8_t> file, std::string_view name,
                          std::span<const std::uint8_t>& section);
// The version resource of a PE or ELF file, whichever `file` is.
ImageError FindVersionResource(std::span<const std::uint8_t> file, ImageResource& resource);

}  // namespace morvel
