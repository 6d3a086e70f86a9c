// The calls each shell request is made of on Windows, with their parameters and in their order,
// recorded by a fake of the calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/win32/desktop/ShellSequence.h"
#include "tests/platform/win32/FakeShellCalls.h"

namespace morvel {
namespace {

using testing::FakeShellCalls;

constexpr WindowHandle kMainWindow = 0x1111, kAppWindow = 0x2222;

// The requests over a fake the test keeps its eyes on.
struct Shell {
  FakeShellCalls& calls;
  ShellSequence sequence;
  explicit Shell(std::unique_ptr<FakeShellCalls> fake = std::make_unique<FakeShellCalls>())
      : calls(*fake), sequence(std::move(fake)) {}
};

TEST(ShellSequence, OpenPassesNullVerbTheParametersTheFolderAndShow) {
  Shell shell;
  EXPECT_TRUE(shell.sequence.Open(kMainWindow, "C:\\Tools\\", "", "C:\\Tools\\"));
  EXPECT_TRUE(shell.sequence.Open(kMainWindow, "readme", "", ""));
  ASSERT_EQ(shell.calls.executed.size(), 2u);
  for (const auto& call : shell.calls.executed) {
    EXPECT_EQ(call.owner, kMainWindow);
    EXPECT_FALSE(call.verb.has_value());
    EXPECT_EQ(call.parameters, std::optional<std::string>(""));  // an empty text, not null
    EXPECT_EQ(call.show, 5);
  }
  EXPECT_EQ(shell.calls.executed[0].file, "C:\\Tools\\");
  EXPECT_EQ(shell.calls.executed[0].directory, std::optional<std::string>("C:\\Tools\\"));
  EXPECT_EQ(shell.calls.executed[1].directory, std::optional<std::string>(""));
}

TEST(ShellSequence, PropertiesRequest) {
  Shell shell;
  EXPECT_TRUE(shell.sequence.ShowProperties(kMainWindow, "C:\\Tools\\MorvelTest.exe"));
  ASSERT_EQ(shell.calls.executedEx.size(), 1u);
  const ShellExecuteInfo& info = shell.calls.executedEx[0];
  EXPECT_EQ(info.mask, 0x44Cu);
  EXPECT_EQ(info.window, kMainWindow);
  EXPECT_EQ(info.verb, std::optional<std::string>("properties"));
  EXPECT_EQ(info.file, std::optional<std::string>("C:\\Tools\\MorvelTest.exe"));
  EXPECT_FALSE(info.parameters.has_value());
  EXPECT_FALSE(info.directory.has_value());
  EXPECT_EQ(info.show, 0);
}

TEST(ShellSequence, FoldersFromTheirItemListsWhichAreFreed) {
  Shell shell;
  shell.calls.folders[0] = "C:\\Users\\u\\Desktop";
  shell.calls.folders[7] = "C:\\Users\\u\\Start Menu\\Programs\\Startup";
  EXPECT_EQ(shell.sequence.FolderPath(kAppWindow, SpecialFolder::Desktop), "C:\\Users\\u\\Desktop");
  EXPECT_EQ(shell.sequence.FolderPath(kAppWindow, SpecialFolder::Startup),
            "C:\\Users\\u\\Start Menu\\Programs\\Startup");
  EXPECT_EQ(shell.calls.folderIds, (std::vector<int>{0, 7}));
  EXPECT_EQ(shell.calls.folderOwners, (std::vector<WindowHandle>{kAppWindow, kAppWindow}));
  EXPECT_EQ(shell.calls.pathBufferSizes, (std::vector<std::size_t>{261, 261}));
  EXPECT_EQ(shell.calls.freedLists.size(), 2u);
  EXPECT_EQ(shell.calls.liveLists, 0);

  Shell none;  // the folder cannot be supplied
  EXPECT_EQ(none.sequence.FolderPath(kAppWindow, SpecialFolder::Startup), "");
  EXPECT_TRUE(none.calls.freedLists.empty());
}

ShortcutRequest Link(const char* file = "C:\\Desk\\MorvelTest.lnk") {
  return {file, "MorvelTest", "C:\\Tools\\MorvelTest.exe", "/starup", "C:\\Tools"};
}

TEST(ShellSequence, ShortcutIsAShellLinkSavedThroughItsInterfaces) {
  Shell shell;
  EXPECT_EQ(shell.sequence.ShortcutExtension(), ".lnk");
  EXPECT_FALSE(shell.sequence.CreateShortcut(Link()).has_value());
  FakeShellCalls& calls = shell.calls;
  EXPECT_EQ(calls.createdClasses, std::vector<Guid>{kClsidShellLink});
  EXPECT_EQ(calls.createContexts, std::vector<std::uint32_t>{5});
  EXPECT_EQ(calls.createdInterfaces, std::vector<Guid>{kIidUnknown});
  EXPECT_EQ(calls.queriedInterfaces, (std::vector<Guid>{kIidShellLinkA, kIidPersistFile}));
  EXPECT_EQ(calls.arguments, "/starup");
  EXPECT_EQ(calls.path, "C:\\Tools\\MorvelTest.exe");
  EXPECT_EQ(calls.workingDirectory, "C:\\Tools");
  EXPECT_EQ(calls.savedNames, std::vector<std::u16string>{u"C:\\Desk\\MorvelTest.lnk"});
  EXPECT_EQ(calls.savedRemember, std::vector<bool>{false});
  EXPECT_EQ(calls.calls,
            (std::vector<std::string>{"CreateInstance", "QueryInterface ShellLinkA", "QueryInterface PersistFile",
                                      "SetArguments", "SetPath", "SetWorkingDirectory", "AnsiToWide", "Save",
                                      "Release 48", "Release 32", "Release 16"}));
  EXPECT_EQ(calls.liveObjects, 0);
}

TEST(ShellSequence, ShortcutFailureCarriesTheMessageTakenBeforeReleasing) {
  const std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002u);
  const std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005u);
  const std::int32_t kNotRegistered = static_cast<std::int32_t>(0x80040154u);
  const struct {
    const char* name;
    std::int32_t create = 0, save = 0;
    const char* failingInterface = nullptr;
    std::int32_t code;
    int releases;
  } cases[] = {
      {"create", kNotRegistered, 0, nullptr, kNotRegistered, 0},
      {"link interface", 0, 0, "ShellLinkA", kNoInterface, 1},
      {"file interface", 0, 0, "PersistFile", kNoInterface, 2},
      {"save", 0, kAccessDenied, nullptr, kAccessDenied, 3},
  };
  for (const auto& c : cases) {
    Shell shell;
    FakeShellCalls& calls = shell.calls;
    calls.createResult = c.create;
    calls.saveResult = c.save;
    if (c.failingInterface) calls.queryResults[c.failingInterface] = kNoInterface;
    calls.messages[c.code] = "The message.\r\n";
    const auto failure = shell.sequence.CreateShortcut(Link());
    ASSERT_TRUE(failure.has_value()) << c.name;
    EXPECT_EQ(failure->code, static_cast<std::uint32_t>(c.code)) << c.name;
    EXPECT_EQ(failure->message, "The message.\r\n") << c.name;
    EXPECT_EQ(calls.liveObjects, 0) << c.name;
    const auto message = std::find(calls.calls.begin(), calls.calls.end(), "ResultMessage");
    EXPECT_EQ(std::count_if(message, calls.calls.end(), [](const std::string& s) { return s.starts_with("Release"); }),
              c.releases)
        << c.name;
  }
}

}  // namespace
}  // namespace morvel
