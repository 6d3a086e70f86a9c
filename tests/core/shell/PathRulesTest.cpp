#include <gtest/gtest.h>

#include "tests/fakes/FakeSystemApi.h"
#include "core/shell/PathRules.h"

namespace morvel {
namespace {

PathRules Cp932() {
  testing::FakeSystemApi api;
  api.UseCodePage932();
  return WindowsPathRules([leads = api.leadBytes](std::uint8_t b) { return leads.contains(b); });
}

// 0x95 0x5C is one Japanese character whose second byte is "\"; 0x83 0x3A ends in ":".
const std::string kHyo = "\x95\x5C";
const std::string kColonTrail = "\x83\x3A";

struct PathCase {
  std::string path;
  std::string pathPart, fileName, directory;
};

TEST(PathRules, PartsOfWindowsPaths) {
  const PathRules rules = Cp932();
  const PathCase cases[] = {
      {"C:\\Tools\\app.exe", "C:\\Tools\\", "app.exe", "C:\\Tools"},
      {"C:\\app.exe", "C:\\", "app.exe", "C:\\"},
      {"C:\\Tools\\", "C:\\Tools\\", "", "C:\\Tools"},
      {"C:\\Tools", "C:\\", "Tools", "C:\\"},
      {"C:app.exe", "C:", "app.exe", "C:"},
      {"\\\\srv\\share\\a.exe", "\\\\srv\\share\\", "a.exe", "\\\\srv\\share"},
      {"\\app.exe", "\\", "app.exe", "\\"},
      {"C:\\\\app.exe", "C:\\\\", "app.exe", "C:\\\\"},
      {"app.exe", "", "app.exe", ""},
      {"", "", "", ""},
      {"http://www.example.org/morvel/", "http:", "//www.example.org/morvel/", "http:"},
      {"MailTo:morvel@example.org?subject=from [a.exe] user", "MailTo:", "morvel@example.org?subject=from [a.exe] user",
       "MailTo:"},
      // Double-byte names: the trailing "\" or ":" byte belongs to the character.
      {"C:\\" + kHyo + "\\app.exe", "C:\\" + kHyo + "\\", "app.exe", "C:\\" + kHyo},
      {"C:\\Tools\\" + kHyo, "C:\\Tools\\", kHyo, "C:\\Tools"},
      {"C:\\" + kHyo + kHyo, "C:\\", kHyo + kHyo, "C:\\"},
      {"C:\\x" + kColonTrail + "y.exe", "C:\\", "x" + kColonTrail + "y.exe", "C:\\"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathPart(c.path, rules), c.pathPart) << c.path;
    EXPECT_EQ(FileNamePart(c.path, rules), c.fileName) << c.path;
    EXPECT_EQ(DirectoryOf(c.path, rules), c.directory) << c.path;
  }
}

TEST(PathRules, WithoutLeadBytesTheTrailByteDelimits) {
  const PathRules plain = WindowsPathRules([](std::uint8_t) { return false; });
  EXPECT_EQ(FileNamePart("C:\\" + kHyo + "\\app.exe", plain), "app.exe");
  EXPECT_EQ(FileNamePart("C:\\Tools\\" + kHyo, plain), "");
}

TEST(PathRules, TrailingSeparatorAndExtension) {
  const PathRules rules = Cp932();
  const struct {
    std::string in, out;
  } folders[] = {
      {"C:\\Desk\\", "C:\\Desk"},
      {"C:\\Desk", "C:\\Desk"},
      {"C:\\Desk\\\\", "C:\\Desk\\"},
      {"C:\\" + kHyo, "C:\\" + kHyo},
      {"", ""},
  };
  for (const auto& f : folders) EXPECT_EQ(WithoutTrailingSeparator(f.in, rules), f.out) << f.in;

  const struct {
    std::string in, out;
  } names[] = {
      {"report.final.exe", "report.final"},
      {"MorvelTest.exe", "MorvelTest"},
      {"noext", "noext"},
      {".hidden", ""},
      {"a.", "a"},
      {"dir.d\\file", "dir.d\\file"},
      {kHyo + ".exe", kHyo},
  };
  for (const auto& n : names) EXPECT_EQ(WithoutExtension(n.in, rules), n.out) << n.in;
}

TEST(PathRules, PosixPaths) {
  const PathRules rules = PosixPathRules();
  EXPECT_EQ(PathPart("/usr/local/bin/morvel", rules), "/usr/local/bin/");
  EXPECT_EQ(FileNamePart("/usr/local/bin/morvel", rules), "morvel");
  EXPECT_EQ(DirectoryOf("/usr/local/bin/morvel", rules), "/usr/local/bin");
  EXPECT_EQ(DirectoryOf("/morvel", rules), "/");
  EXPECT_EQ(FileNamePart("/opt/a:b\\c", rules), "a:b\\c");
  EXPECT_EQ(WithoutTrailingSeparator("/home/u/Desktop/", rules), "/home/u/Desktop");
}

}  // namespace
}  // namespace morvel
