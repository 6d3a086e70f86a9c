// The version resource and the manifests of the built executables, read with the portable
// parser: the files are named by MORVEL_VERSION_EXE (MorvelTest.exe) and MORVEL_CONSOLE_EXE
// (morvel.exe), and a missing file fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/binary/ExecutableImage.h"
#include "core/binary/VersionResource.h"
#include "tests/core/binary/ProgramFixedInfo.h"

namespace morvel {
namespace {

std::vector<std::uint8_t> ReadExe(const char* variable = "MORVEL_VERSION_EXE") {
  const char* path = std::getenv(variable);
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

// What each executable's manifest must ask of Windows.
struct ManifestCase {
  const char* variable;  // names the executable
  std::vector<std::string> required;
  std::vector<std::string> absent;
};

const std::vector<std::string> kEveryManifest = {
    "level=\"asInvoker\"",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
};

TEST(ProgramManifests, AskForWhatEachProgramNeeds) {
  const ManifestCase cases[] = {
      {"MORVEL_VERSION_EXE",
       {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", ">true/pm</dpiAware>",
        ">PerMonitorV2, PerMonitor</dpiAwareness>"},
       {"longPathAware"}},
      {"MORVEL_CONSOLE_EXE", {">true</longPathAware>"}, {"Common-Controls", "dpiAware"}},
  };
  for (const ManifestCase& c : cases) {
    SCOPED_TRACE(c.variable);
    const std::vector<std::uint8_t> exe = ReadExe(c.variable);
    ASSERT_FALSE(exe.empty()) << "executable not found: " << c.variable;
    ImageResource resource;
    ASSERT_EQ(FindPeResource(exe, kResourceTypeManifest, resource), ImageError::None);
    const std::string manifest(resource.bytes.begin(), resource.bytes.end());
    EXPECT_EQ(manifest.rfind("<?xml", 0), 0u);
    for (const auto& text : kEveryManifest) EXPECT_NE(manifest.find(text), std::string::npos) << text;
    for (const auto& text : c.required) EXPECT_NE(manifest.find(text), std::string::npos) << text;
    for (const auto& text : c.absent) EXPECT_EQ(manifest.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace morvel
