// The console program's volume operations on Windows (run under Wine in the cross build):
// UTF-8 paths and names in and out, and the hint when the system refuses a volume.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win32/Win32ElevationHint.h"
#include "platform/win32/Win32VolumeApi.h"
#include "tests/platform/win32/FakeVolumeApi.h"

namespace morvel {
namespace {

TEST(Win32VolumeText, Utf8PathsAndNamesOutsideTheAnsiCodePage) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / L"morvel-\u65E5\u672C";
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / L"\u03A9mega.txt";
  std::ofstream(file) << "x";
  const std::string utf8Path = reinterpret_cast<const char*>(file.u8string().c_str());

  const auto api = MakeWin32VolumeApi(Win32Text::Utf8);
  const Handle opened = api->OpenFile(utf8Path, {kGenericRead, kFileShareReadWrite, kOpenExisting, 0});
  EXPECT_NE(opened, kInvalidHandle) << api->LastError();
  if (opened != kInvalidHandle) api->CloseHandle(opened);
  FindData found;
  const Handle find = api->FindFirst(utf8Path, found);
  ASSERT_NE(find, kInvalidHandle);
  api->FindClose(find);
  EXPECT_EQ(found.fileName, "\xCE\xA9mega.txt");  // U+03A9, not a best-fit "O"
  EXPECT_EQ(found.fileSizeLow, 1u);
  // The same bytes through the ANSI operations name another file (unless the code page is UTF-8).
  FindData ansi;
  if (::GetACP() != CP_UTF8) {
    EXPECT_EQ(MakeWin32VolumeApi()->FindFirst(utf8Path, ansi), kInvalidHandle);
  }
  std::filesystem::remove_all(dir);
}

TEST(Win32ElevationHint, OnlyAnAccessDeniedOpenGetsTheHint) {
  const struct {
    bool openFails;
    std::uint32_t error;
    bool hinted;
  } cases[] = {{true, ERROR_ACCESS_DENIED, true}, {true, ERROR_FILE_NOT_FOUND, false}, {false, 0, false}};
  for (const auto& c : cases) {
    auto fake = std::make_unique<testing::FakeVolumeApi>();
    fake->openFails = c.openFails;
    fake->lastError = c.error;
    std::ostringstream hints;
    const auto api = WithElevationHint(std::move(fake), hints);
    api->OpenFile("\\\\.\\C:", {});
    EXPECT_EQ(hints.str(), c.hinted ? std::string(kElevationHint) + "\n" : "") << c.error;
    EXPECT_EQ(api->LastError(), c.error);
  }
}

}  // namespace
}  // namespace morvel
