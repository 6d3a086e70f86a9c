#include <gtest/gtest.h>

#include "tests/fakes/FakeShellApi.h"
#include "core/runtime/RuntimeError.h"
#include "core/shell/Shell.h"

namespace morvel {
namespace {

using testing::FakeShellApi;

constexpr WindowHandle kForm1 = 0x1111, kAppWindow = 0x2222;
const PathRules kRules = WindowsPathRules([](std::uint8_t b) { return b >= 0x81 && b <= 0x9F; });

TEST(ShellOpen, PassesNullVerbEmptyParametersAndPathPart) {
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
    ShellOpen(shell, kForm1, c.target, "", kRules);
    ASSERT_EQ(shell.executed.size(), 1u);
    const auto& call = shell.executed[0];
    EXPECT_EQ(call.owner, kForm1);
    EXPECT_FALSE(call.verb.has_value());
    EXPECT_EQ(call.file, c.target);
    EXPECT_EQ(call.parameters, std::optional<std::string>(""));  // an empty text, not null
    EXPECT_EQ(call.directory, std::optional<std::string>(c.directory));
    EXPECT_EQ(call.show, 5);
  }
}

TEST(ShellOpen, SwallowsErrors) {
  FakeShellApi shell;
  shell.raiseOnExecute = true;
  EXPECT_NO_THROW(ShellOpen(shell, kForm1, "C:\\missing.txt", "", kRules));
  EXPECT_EQ(shell.executed.size(), 1u);
}

TEST(ShowFileProperties, FillsThePropertiesRequest) {
  FakeShellApi shell;
  ShowFileProperties(shell, kForm1, "C:\\Tools\\MorvelTest.exe");
  ASSERT_EQ(shell.executedEx.size(), 1u);
  const ShellExecuteInfo& info = shell.executedEx[0];
  EXPECT_EQ(info.size, 60u);
  EXPECT_EQ(info.mask, 0x44Cu);
  EXPECT_EQ(info.window, kForm1);
  EXPECT_EQ(info.verb, std::optional<std::string>("properties"));
  EXPECT_EQ(info.file, std::optional<std::string>("C:\\Tools\\MorvelTest.exe"));
  EXPECT_FALSE(info.parameters.has_value());
  EXPECT_FALSE(info.directory.has_value());
  EXPECT_EQ(info.show, 0);
}

TEST(SpecialFolders, AskTheShellAndFreeTheItemList) {
  FakeShellApi shell;
  shell.folders[0] = "C:\\Users\\u\\Desktop";
  shell.folders[7] = "C:\\Users\\u\\Start Menu\\Programs\\Startup";
  EXPECT_EQ(GetDesktopFolder(shell, kAppWindow), "C:\\Users\\u\\Desktop");
  EXPECT_EQ(GetStartupFolder(shell, kAppWindow), "C:\\Users\\u\\Start Menu\\Programs\\Startup");
  EXPECT_EQ(shell.folderIds, (std::vector<int>{0, 7}));
  EXPECT_EQ(shell.folderOwners, (std::vector<WindowHandle>{kAppWindow, kAppWindow}));
  EXPECT_EQ(shell.pathBufferSizes, (std::vector<std::size_t>{261, 261}));
  EXPECT_EQ(shell.freedLists.size(), 2u);
  EXPECT_EQ(shell.liveLists, 0);

  FakeShellApi none;  // the folder cannot be supplied
  EXPECT_EQ(GetSpecialFolderPath(none, kAppWindow, 7), "");
  EXPECT_TRUE(none.freedLists.empty());
}

TEST(CreateShortcut, WritesTheLinkAndReleasesEverything) {
  const struct {
    const char* folder;
    const char* exe;
    const char16_t* file;
    const char* directory;
  } cases[] = {
      {"C:\\Users\\u\\Desktop", "C:\\Tools\\MorvelTest.exe", u"C:\\Users\\u\\Desktop\\MorvelTest.lnk", "C:\\Tools"},
      {"C:\\Users\\u\\Desktop\\", "C:\\Tools\\MorvelTest.exe", u"C:\\Users\\u\\Desktop\\MorvelTest.lnk", "C:\\Tools"},
      {"C:\\Desk\\\\", "C:\\MorvelTest.exe", u"C:\\Desk\\\\MorvelTest.lnk", "C:\\"},
      {"", "MorvelTest.exe", u"\\MorvelTest.lnk", ""},
  };
  for (const auto& c : cases) {
    FakeShellApi shell;
    CreateShortcut(shell, c.exe, c.folder, "MorvelTest", kRules);
    EXPECT_EQ(shell.createdClasses, std::vector<Guid>{kClsidShellLink});
    EXPECT_EQ(shell.createContexts, std::vector<std::uint32_t>{5});
    EXPECT_EQ(shell.createdInterfaces, std::vector<Guid>{kIidUnknown});
    EXPECT_EQ(shell.queriedInterfaces, (std::vector<Guid>{kIidShellLinkA, kIidPersistFile}));
    EXPECT_EQ(shell.arguments, "/starup");
    EXPECT_EQ(shell.path, c.exe);
    EXPECT_EQ(shell.workingDirectory, c.directory);
    EXPECT_EQ(shell.savedNames, std::vector<std::u16string>{c.file});
    EXPECT_EQ(shell.savedRemember, std::vector<bool>{false});
    EXPECT_EQ(shell.liveObjects, 0);
  }
}

TEST(CreateShortcut, FailuresRaiseThePlatformMessageAfterReleasing) {
  const std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002u);
  const std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005u);
  const std::int32_t kNotRegistered = static_cast<std::int32_t>(0x80040154u);
  const struct {
    const char* name;
    std::int32_t create = 0, save = 0;
    const char* failingInterface = nullptr;
    std::int32_t code;
    const char* message;
    int releases;
  } cases[] = {
      {"create", kNotRegistered, 0, nullptr, kNotRegistered, "Class not registered", 0},
      {"link interface", 0, 0, "ShellLinkA", kNoInterface, "No such interface supported", 1},
      {"file interface", 0, 0, "PersistFile", kNoInterface, "No such interface supported", 2},
      {"save", 0, kAccessDenied, nullptr, kAccessDenied, "Access is denied", 3},
      {"no message", 0, static_cast<std::int32_t>(0x80041234u), nullptr, 0, "Error 0x80041234", 3},
  };
  for (const auto& c : cases) {
    FakeShellApi shell;
    shell.createResult = c.create;
    shell.saveResult = c.save;
    if (c.failingInterface) shell.queryResults[c.failingInterface] = kNoInterface;
    if (c.code) shell.messages[c.code] = std::string(c.message) + ".\r\n";
    try {
      CreateShortcut(shell, "C:\\Tools\\MorvelTest.exe", "C:\\Desk", "MorvelTest", kRules);
      ADD_FAILURE() << c.name << ": no error raised";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(std::string(e.what()), c.message) << c.name;
      EXPECT_EQ(ErrorReportText(e.what()), std::string(c.message) + ".") << c.name;
    }
    EXPECT_EQ(shell.liveObjects, 0) << c.name;
    EXPECT_EQ(std::count_if(shell.calls.begin(), shell.calls.end(),
                            [](const std::string& s) { return s.starts_with("Release"); }),
              c.releases)
        << c.name;
  }
}

TEST(ComRuntime, InitialisesOnceAndUninitialisesOnce) {
  FakeShellApi shell;
  {
    ComRuntime runtime(shell);
    EXPECT_EQ(shell.calls, std::vector<std::string>{"ComInitialize"});
  }
  EXPECT_EQ(shell.calls, (std::vector<std::string>{"ComInitialize", "ComUninitialize"}));
}

}  // namespace
}  // namespace morvel
