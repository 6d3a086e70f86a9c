// The version resource of the built MorvelTest.exe, read with the portable parser: the file is
// named by MORVEL_VERSION_EXE, and a missing file fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/binary/ExecutableImage.h"
#include "tests/core/binary/ProgramFixedInfo.h"
#include "core/binary/VersionResource.h"

namespace morvel {
namespace {

std::vector<std::uint8_t> ReadExe() {
  const char* path = std::getenv("MORVEL_VERSION_EXE");
  if (!path) return {};
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ProgramVersionResource, MatchesTheVersionData) {
  const std::vector<std::uint8_t> exe = ReadExe();
  ASSERT_FALSE(exe.empty()) << "MorvelTest.exe not found: " << std::getenv("MORVEL_VERSION_EXE");
  ImageResource resource;
  ASSERT_EQ(FindPeVersionResource(exe, resource), ImageError::None);
  EXPECT_EQ(resource.language, 0x0411);

  FixedFileInfo fixed;
  ASSERT_EQ(ReadFixedFileInfo(resource.bytes, fixed), VersionError::None);
  testing::ExpectProgramFixedInfo(fixed);

  const std::vector<std::pair<std::string, std::string>> expected = {
      {"CompanyName", ""},           {"FileDescription", ""}, {"FileVersion", "0.6.1.7"}, {"InternalName", ""},
      {"LegalCopyright", ""},        {"LegalTrademarks", ""}, {"OriginalFilename", ""},   {"ProductName", ""},
      {"ProductVersion", "1.0.0.0"}, {"Comments", ""}};
  auto table = ReadStringTable(resource.bytes, "041103A4");
  std::sort(table.begin(), table.end());
  auto sorted = expected;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(table, sorted);
  EXPECT_EQ(ReadVersionString(resource.bytes, "\\StringFileInfo\\041103A4\\FileVersion"), "0.6.1.7");
  EXPECT_EQ(ReadTranslations(resource.bytes), (std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0x0411, 0x03A4}}));
}

}  // namespace
}  // namespace morvel
