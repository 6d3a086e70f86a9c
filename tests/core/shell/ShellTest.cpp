#include <gtest/gtest.h>

#include "core/runtime/RuntimeError.h"
#include "core/shell/Shell.h"
#include "tests/fakes/FakeShellApi.h"

namespace morvel {
namespace {

using testing::FakeShellApi;

constexpr WindowHandle kMainWindow = 0x1111;
const PathRules kRules = WindowsPathRules([](std::uint8_t b) { return b >= 0x81 && b <= 0x9F; });

TEST(ShellOpen, OpensInThePathPart) {
  const struct {
    const char* target;
    const char* directory;
  } cases[] = {
      {"C:\\Tools\\", "C:\\Tools\\"},
      {"C:\\Tools", "C:\\"},
      {"http://www.example.org/morvel/", "http:"},
      {"MailTo:morvel@example.org?subject=from [MorvelTest.exe] user", "MailTo:"},
      {"C:\\\x95\x5C\\a.txt", "C:\\\x95\x5C\\"},
      {"readme", ""},
  };
  for (const auto& c : cases) {
    FakeShellApi shell;
    ShellOpen(shell, kMainWindow, c.target, "", kRules);
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].owner, kMainWindow);
    EXPECT_EQ(shell.opened[0].target, c.target);
    EXPECT_EQ(shell.opened[0].parameters, "");
    EXPECT_EQ(shell.opened[0].directory, c.directory);
  }
}

TEST(ShellOpen, SwallowsErrors) {
  FakeShellApi shell;
  shell.raiseOnOpen = true;
  EXPECT_NO_THROW(ShellOpen(shell, kMainWindow, "C:\\missing.txt", "", kRules));
  EXPECT_EQ(shell.opened.size(), 1u);
}

TEST(CreateShortcut, AsksForTheLinkFileToTheProgram) {
  const struct {
    const char* folder;
    const char* exe;
    const char* file;
    const char* directory;
  } cases[] = {
      {"C:\\Users\\u\\Desktop", "C:\\Tools\\MorvelTest.exe", "C:\\Users\\u\\Desktop\\MorvelTest.lnk", "C:\\Tools"},
      {"C:\\Users\\u\\Desktop\\", "C:\\Tools\\MorvelTest.exe", "C:\\Users\\u\\Desktop\\MorvelTest.lnk", "C:\\Tools"},
      {"C:\\Desk\\\\", "C:\\MorvelTest.exe", "C:\\Desk\\\\MorvelTest.lnk", "C:\\"},
      {"", "MorvelTest.exe", "\\MorvelTest.lnk", ""},
  };
  for (const auto& c : cases) {
    FakeShellApi shell;
    CreateShortcut(shell, c.exe, c.folder, "MorvelTest", kRules);
    ASSERT_EQ(shell.shortcuts.size(), 1u);
    const ShortcutRequest& s = shell.shortcuts[0];
    EXPECT_EQ(s.file, c.file);
    EXPECT_EQ(s.name, "MorvelTest");
    EXPECT_EQ(s.target, c.exe);
    EXPECT_EQ(s.arguments, "/starup");
    EXPECT_EQ(s.workingDirectory, c.directory);
  }
}

TEST(CreateShortcut, FailuresRaiseThePlatformMessage) {
  const struct {
    ShellFailure failure;
    const char* message;
  } cases[] = {
      {{0x80070005u, "Access is denied.\r\n"}, "Access is denied"},
      {{2u, "/home/u/Desktop/MorvelTest.desktop: No such file or directory"},
       "/home/u/Desktop/MorvelTest.desktop: No such file or directory"},
      {{0x80041234u, ""}, "Error 0x80041234"},
      {{0x80041234u, " .\r\n"}, "Error 0x80041234"},
  };
  for (const auto& c : cases) {
    FakeShellApi shell;
    shell.shortcutFailure = c.failure;
    try {
      CreateShortcut(shell, "C:\\Tools\\MorvelTest.exe", "C:\\Desk", "MorvelTest", kRules);
      ADD_FAILURE() << c.message << ": no error raised";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
      EXPECT_EQ(ErrorReportText(e.what()), std::string(c.message) + ".");
    }
  }
}

}  // namespace
}  // namespace morvel
