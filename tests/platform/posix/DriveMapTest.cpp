#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "platform/posix/DriveMap.h"
#include "tests/platform/reader/TempDir.h"

namespace morvel {
namespace {

using testing::TempDir;

constexpr const char* kMountInfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "40 22 8:17 / /mnt/data rw,relatime shared:20 - ntfs3 /dev/sdb1 rw,uid=0\n"
    "41 22 8:33 / /media/usb\\040stick rw,nosuid shared:21 - fuseblk /dev/sdc1 rw,user_id=0\n"
    "42 22 8:49 / /media/other ro shared:22 - fuseblk /dev/sdd1 rw\n"
    "43 22 8:17 /sub /srv/bind rw,relatime shared:20 - ntfs3 /dev/sdb1 rw\n"
    "44 22 7:0 / /mnt/image rw master:3 unbindable - ntfs /dev/loop0 ro\n"
    "garbage line without separator\n"
    "45 22 7:1 / /mnt/short rw - ntfs\n"
    "46 22 0:5 / /proc rw - proc proc rw";

TEST(MountInfo, FieldsAfterTheSeparatorNameTypeAndSource) {
  const auto mounts = ParseMountInfo(kMountInfo);
  ASSERT_EQ(mounts.size(), 7u);
  EXPECT_EQ(mounts[1].device, "8:17");
  EXPECT_EQ(mounts[1].mountPoint, "/mnt/data");
  EXPECT_EQ(mounts[1].fsType, "ntfs3");
  EXPECT_EQ(mounts[1].source, "/dev/sdb1");
  EXPECT_EQ(mounts[2].mountPoint, "/media/usb stick");
  EXPECT_EQ(mounts[5].fsType, "ntfs");  // two optional fields before the separator
  EXPECT_EQ(mounts[5].source, "/dev/loop0");
  EXPECT_EQ(mounts[6].fsType, "proc");
  // Read-only by the mount's options or by the file system's.
  EXPECT_EQ((std::vector<bool>{mounts[1].readOnly, mounts[3].readOnly, mounts[5].readOnly}),
            (std::vector<bool>{false, true, true}));
}

TEST(MountInfo, Unescaping) {
  const std::pair<const char*, const char*> cases[] = {
      {"/mnt/a\\040b", "/mnt/a b"},      {"tab\\011", "tab\t"},
      {"back\\134slash", "back\\slash"}, {"short\\04", "short\\04"},
      {"not\\08octal", "not\\08octal"},  {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UnescapeMountField(in), out) << in;
}

TEST(MountInfo, NtfsMountsInMountOrderEachDeviceOnce) {
  const auto mounts = ParseMountInfo(kMountInfo);
  const auto fuseNtfs = [](const MountEntry& m) { return m.source == "/dev/sdc1"; };
  EXPECT_EQ(NtfsMountSources(mounts, fuseNtfs), (std::vector<std::string>{"/dev/sdb1", "/dev/sdc1", "/dev/loop0"}));
  EXPECT_EQ(NtfsMountSources(mounts, nullptr), (std::vector<std::string>{"/dev/sdb1", "/dev/loop0"}));
}

// ntfs-3g mounts: an image (fuse) or device (fuseblk) source judged by its first sector, or,
// unreadable, by udev; one the user may not read keeps its letter so that its open says why.
TEST(MountInfo, FuseMountsOfNtfsSources) {
  const MountEntry image{"0:40", "/mnt/i", "fuse", "/img/a.img"};
  const MountEntry remote{"0:41", "/mnt/r", "fuse", "host:/x"};
  struct Case {
    const MountEntry& mount;
    SourceProbe probe;
    const char* udev;
    bool ntfs;
  };
  const Case cases[] = {
      {image, SourceProbe::Ntfs, "", true},        {image, SourceProbe::Other, "ntfs", false},
      {image, SourceProbe::Denied, "", true},      {image, SourceProbe::Denied, "exfat", false},
      {image, SourceProbe::Unreadable, "", false}, {image, SourceProbe::Unreadable, "ntfs", true},
      {remote, SourceProbe::Ntfs, "ntfs", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FuseMountIsNtfs(c.mount, c.probe, c.udev), c.ntfs) << c.mount.source << " " << static_cast<int>(c.probe);
  TempDir temp;
  const std::string fifo = temp.path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ProbeNtfsSource(fifo), SourceProbe::Unreadable);  // at once, without waiting for a writer
  EXPECT_EQ(ProbeNtfsSource(temp.Write("short", "NTFS")), SourceProbe::Unreadable);
  EXPECT_EQ(ProbeNtfsSource(temp.Write("boot", std::string("\xEB\x52\x90NTFS    ") + std::string(500, '\0'))),
            SourceProbe::Ntfs);
}

TEST(DriveMap, DosDevicesFolder) {
  struct Case {
    const char* xdg;
    const char* home;
    const char* dir;
  };
  const Case cases[] = {
      {"/cfg", "/home/u", "/cfg/morvel/dosdevices"},
      {nullptr, "/home/u", "/home/u/.config/morvel/dosdevices"},
      {"", "/home/u", "/home/u/.config/morvel/dosdevices"},
      {"relative/cfg", "/home/u", "/home/u/.config/morvel/dosdevices"},
      {nullptr, nullptr, ""},
      {nullptr, "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DosDevicesDir(c.xdg, c.home), c.dir);
}

class DriveResolution : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp.path().empty());
    config.dosdevicesDir = temp.path() + "/dosdevices";
    config.mountInfoPath = temp.Write("mountinfo", kMountInfo);
    config.fuseIsNtfs = [](const MountEntry&) { return false; };
    std::filesystem::create_directories(config.dosdevicesDir);
    image = temp.Write("disk.img", "bytes");
  }
  void Link(const std::string& name, const std::string& target) {
    std::filesystem::create_symlink(target, config.dosdevicesDir + "/" + name);
  }
  TempDir temp;
  DriveMapConfig config;
  std::string image;
};

TEST_F(DriveResolution, LinksComeFirstThenMountsInOrder) {
  Link("e::", image);
  Link("a::", image);
  Link("q::", temp.path() + "/missing.img");  // dangling: the open reports it
  struct Case {
    char letter;
    std::string path;
    int error;
  };
  const Case cases[] = {
      {'E', config.dosdevicesDir + "/e::", 0},
      {'e', config.dosdevicesDir + "/e::", 0},
      {'a', config.dosdevicesDir + "/a::", 0},
      {'q', config.dosdevicesDir + "/q::", 0},
      {'C', "/dev/sdb1", 0},
      {'D', "/dev/loop0", 0},  // the bind mount of /dev/sdb1 takes no letter
      {'F', "", ENOENT},
      {'B', "", ENOENT},
      {'1', "", ENOENT},
      {':', "", ENOENT},
  };
  for (const auto& c : cases) {
    std::string path = "?";
    EXPECT_EQ(ResolveDrive(c.letter, config, path).code(), c.error) << c.letter;
    EXPECT_EQ(path, c.path) << c.letter;
  }
}

TEST_F(DriveResolution, WithoutFolderOrMountsNothingIsLettered) {
  config.dosdevicesDir.clear();
  config.mountInfoPath = temp.path() + "/no-such-mountinfo";
  std::string path;
  EXPECT_EQ(ResolveDrive('C', config, path).code(), ENOENT);
  EXPECT_EQ(path, "");
}

}  // namespace
}  // namespace morvel
