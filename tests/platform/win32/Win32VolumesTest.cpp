#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/Win32Volumes.h"

namespace morvel {
namespace {

// Against the real API: the system drive, whose folders all lie on the volume of its letter.
TEST(Win32Volumes, FoldersNameTheirVolumesLetter) {
  struct Case {
    const char* path;
    char letter;
    const char* mountPoint;
  };
  const Case cases[] = {
      {"C:\\", 'C', "C:\\"},
      {"c:\\windows\\system32", 'C', "C:\\"},
      {"C:\\windows\\win.ini", 0, ""},  // a file is an image file target, never its volume
      {"C:\\no\\such\\folder", 0, ""},
  };
  for (const auto& c : cases) {
    std::string mountPoint;
    EXPECT_EQ(Win32DriveOfFolder(c.path, mountPoint), c.letter) << c.path;
    EXPECT_TRUE(mountPoint == c.mountPoint || (c.letter == 'C' && mountPoint == "c:\\")) << c.path << " " << mountPoint;
  }
}

TEST(Win32Volumes, TheSystemDriveIsListedOnce) {
  const VolumeList list = ListWin32Volumes();
  EXPECT_EQ(
      std::count_if(list.volumes.begin(), list.volumes.end(), [](const ListedVolume& v) { return v.letter == 'C'; }),
      1);
  for (const auto& v : list.volumes) EXPECT_FALSE(v.device.empty());
}

}  // namespace
}  // namespace morvel
