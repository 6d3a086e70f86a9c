#pragma once
// Finds a resource inside a PE file's bytes (a Windows executable): its RT_VERSION resource or
// its manifest. Every offset, size and count read from the file is bounded by the file before
// it is used.
#include <cstdint>
#include <span>

namespace morvel {

enum class ImageError {
  None,
  NotPe,                 // no "MZ" or no "PE\0\0" where the DOS header points
  BadHeader,             // a header, optional header or section table runs past the file
  NoResources,           // no resource directory, or it lies in no section
  BadResourceDirectory,  // a directory or data entry runs past the resource section
  NoVersionResource,     // no RT_VERSION entry
  NoSuchResource,        // no entry of the asked type
};

inline constexpr std::uint16_t kResourceTypeVersion = 16;   // RT_VERSION
inline constexpr std::uint16_t kResourceTypeManifest = 24;  // RT_MANIFEST

struct ImageResource {
  std::span<const std::uint8_t> bytes;
  std::uint16_t language = 0;
};

// The first resource of `type` (name 1 when present, else the first name; its first language).
ImageError FindPeResource(std::span<const std::uint8_t> file, std::uint16_t type, ImageResource& resource);
// The first RT_VERSION resource, chosen the same way.
ImageError FindPeVersionResource(std::span<const std::uint8_t> file, ImageResource& resource);

}  // namespace morvel
