#pragma once
// Writes a version resource (VS_VERSIONINFO) from given version data: the resources the
// parser and the version lookup are tested on, the program's own (Version.h) among them.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace morvel {

struct VersionResourceContent {
  std::array<std::uint16_t, 4> fileVersion{};
  std::array<std::uint16_t, 4> productVersion{};
  std::uint32_t fileFlagsMask = 0, fileFlags = 0, fileOs = 0, fileType = 0, fileSubtype = 0;
  std::string stringTable;                                   // "041103A4"
  std::vector<std::pair<std::string, std::string>> strings;  // in order; UTF-8
  std::uint16_t language = 0, codePage = 0;                  // the translation list's one pair
};

// The program's own version data, from Version.h.
VersionResourceContent MorvelVersionContent();

std::vector<std::uint8_t> BuildVersionResource(const VersionResourceContent& content);

}  // namespace morvel
