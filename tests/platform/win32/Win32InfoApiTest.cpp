// The Win32 system and shell operations against the real Windows API (run under Wine in the
// cross build): the values the core passes must reach the API in the form it accepts.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/desktop/Win32ShellApi.h"
#include "platform/win32/desktop/Win32SystemApi.h"

namespace morvel {
namespace {

TEST(Win32SystemApi, VersionRecordOfBothSizesIsAccepted) {
  auto api = MakeWin32SystemApi();
  for (std::uint32_t size : {kOsVersionInfoExSize, kOsVersionInfoSize}) {
    OsVersionInfo info;
    info.osVersionInfoSize = size;
    EXPECT_TRUE(api->QueryVersion(info)) << size;
    EXPECT_EQ(info.platformId, kPlatformWin32Nt) << size;
    EXPECT_GE(info.majorVersion, 5u) << size;
  }
  OsVersionInfo wrong;
  wrong.osVersionInfoSize = 100;
  wrong.majorVersion = 77;
  EXPECT_FALSE(api->QueryVersion(wrong));
  EXPECT_EQ(wrong.majorVersion, 77u);  // left as it was
}

TEST(Win32SystemApi, LocalMachineKeyOpensReadsAndCloses) {
  // The core spells HKEY_LOCAL_MACHINE as 0x80000002; the key opens from that spelling.
  auto api = MakeWin32SystemApi();
  RegistryKey key = 0;
  ASSERT_EQ(api->OpenRegistryKey(kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                                 kKeyQueryValue, key),
            0);
  std::vector<std::uint8_t> data(kRegistryValueBufferSize);
  std::uint32_t size = kRegistryValueBufferSize;
  EXPECT_EQ(api->QueryRegistryValue(key, "ProductType", data, size), 0);
  EXPECT_GT(size, 0u);
  EXPECT_LE(size, kRegistryValueBufferSize);
  EXPECT_EQ(api->CloseRegistryKey(key), 0);
  RegistryKey missing = 0;
  EXPECT_NE(api->OpenRegistryKey(kHkeyLocalMachine, "SOFTWARE\\Morvel\\No\\Such\\Key", 0, kKeyQueryValue, missing), 0);
}

TEST(Win32SystemApi, VersionValueIsFoundInsideTheBlock) {
  // The test program carries no version resource; kernel32 does.
  auto api = MakeWin32SystemApi();
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);
  const std::string file = std::string(system) + "\\kernel32.dll";
  const std::uint32_t size = api->FileVersionInfoSize(file);
  ASSERT_GT(size, 0u);
  std::vector<std::uint8_t> block(size);
  ASSERT_TRUE(api->FileVersionInfo(file, block));
  std::size_t offset = 0;
  std::uint32_t length = 0;
  ASSERT_TRUE(api->QueryVersionValue(block, "\\", offset, length));
  EXPECT_LE(offset + length, block.size());
  EXPECT_FALSE(api->QueryVersionValue(block, "\\StringFileInfo\\041103A4\\NoSuchValue", offset, length));
  EXPECT_EQ(api->FileVersionInfoSize(file + ".missing"), 0u);
}

TEST(Win32SystemApi, ModuleFileNameAndTexts) {
  auto api = MakeWin32SystemApi();
  const std::string path = api->ModuleFileName(kModuleFileNameBufferSize);
  EXPECT_NE(path.find(".exe"), std::string::npos) << path;
  EXPECT_EQ(path.find('\0'), std::string::npos);
  EXPECT_EQ(api->CompareTextNoCase("SERVICE PACK 6", "Service Pack 6"), 0);
  EXPECT_NE(api->CompareTextNoCase("Service Pack 6a", "Service Pack 6"), 0);
  const MemoryCounts m = api->QueryMemoryStatus();
  EXPECT_GT(m.totalPhys, 0u);
  EXPECT_LE(m.availPhys, m.totalPhys);
}

TEST(Win32ShellCalls, FolderPathNeedsAFullBuffer) {
  const ComRuntime runtime;
  auto api = MakeWin32ShellCalls();
  ItemList list = 0;
  ASSERT_EQ(api->SpecialFolderLocation(0, kCsidlDesktop, list), 0);
  std::vector<char> shortBuffer(10), buffer(kFolderPathBufferSize);
  EXPECT_FALSE(api->PathFromItemList(list, shortBuffer));  // would be overrun
  EXPECT_TRUE(api->PathFromItemList(list, buffer));
  EXPECT_TRUE(std::filesystem::is_directory(buffer.data())) << buffer.data();
  api->FreeItemList(list);
}

TEST(Win32ShellCalls, ShellLinkIsWrittenThroughItsInterfaces) {
  const ComRuntime runtime;
  auto api = MakeWin32ShellCalls();
  ComObject unknown = 0, link = 0, file = 0;
  ASSERT_GE(api->CreateInstance(kClsidShellLink, kShellLinkContext, kIidUnknown, unknown), 0);
  ASSERT_GE(api->QueryInterface(unknown, kIidShellLinkA, link), 0);
  ASSERT_GE(api->QueryInterface(link, kIidPersistFile, file), 0);
  EXPECT_GE(api->SetArguments(link, "/starup"), 0);
  EXPECT_GE(api->SetPath(link, "C:\\windows\\notepad.exe"), 0);
  EXPECT_GE(api->SetWorkingDirectory(link, "C:\\windows"), 0);
  const auto target = std::filesystem::temp_directory_path() / "morvel-link-test.lnk";
  std::filesystem::remove(target);
  EXPECT_GE(api->Save(file, api->AnsiToWide(target.string()), false), 0);
  EXPECT_TRUE(std::filesystem::exists(target));
  // A folder in the file's place cannot be written: a failure code with a message.
  const auto blocked = std::filesystem::temp_directory_path() / "morvel-link-blocked.lnk";
  std::filesystem::create_directories(blocked);
  const std::int32_t hr = api->Save(file, api->AnsiToWide(blocked.string()), false);
  EXPECT_TRUE(Failed(hr));
  const std::string message = api->ResultMessage(hr);
  EXPECT_FALSE(message.empty());
  EXPECT_NE(message.back(), '\n');
  EXPECT_NE(message.back(), '.');
  api->Release(file);
  api->Release(link);
  api->Release(unknown);
  std::filesystem::remove(target);
  std::filesystem::remove(blocked);
}

TEST(Win32ShellCalls, AnsiTextBecomesUtf16) {
  auto api = MakeWin32ShellCalls();
  EXPECT_EQ(api->AnsiToWide("C:\\Desk\\MorvelTest.lnk"), u"C:\\Desk\\MorvelTest.lnk");
  EXPECT_EQ(api->AnsiToWide(""), u"");
}

}  // namespace
}  // namespace morvel
