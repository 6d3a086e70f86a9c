#include <gtest/gtest.h>

#include <map>

#include "platform/posix/PosixFile.h"
#include "platform/posix/Volumes.h"

namespace morvel {
namespace {

using Kind = PathStatus::Kind;

PathStatus Failed(int error) {
  PathStatus st;
  st.error = error;
  return st;
}

// A machine given as tables: block devices, mounts, links, what each path is and holds.
class FakeMachine final : public Machine {
 public:
  std::vector<BlockDevice> devices;
  std::vector<MountEntry> mounts;
  std::vector<std::pair<char, std::string>> links;
  std::string dosdevices = "/home/u/.config/morvel/dosdevices";
  std::map<std::string, PathStatus> paths;
  std::map<std::string, SourceFacts> sources;
  std::vector<std::string> images;       // regular files that hold an image themselves
  std::vector<std::string> ntfsSources;  // fuse sources that hold NTFS

  std::vector<BlockDevice> BlockDevices() override { return devices; }
  std::vector<MountEntry> Mounts() override { return mounts; }
  std::vector<std::pair<char, std::string>> DriveLinks() override { return links; }
  std::string DosDevicesDir() override { return dosdevices; }
  PathStatus Stat(const std::string& path) override {
    const auto it = paths.find(path);
    return it != paths.end() ? it->second : Failed(ENOENT);
  }
  SourceFacts Examine(const std::string& path) override { return sources[path]; }
  bool FuseIsNtfs(const MountEntry& m) override { return Contains(ntfsSources, m.source); }
  bool HoldsImage(const std::string& path) override { return Contains(images, path); }

 private:
  static bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
  }
};

PathStatus File(Kind kind, std::string fileSystem, std::string device = {}, std::string canonical = {}) {
  return {0, kind, std::move(fileSystem), std::move(device), std::move(canonical)};
}

class Volumes : public ::testing::Test {
 protected:
  void SetUp() override {
    m.devices = {{"/dev/sda1", "8:1", ""},
                 {"/dev/sdb1", "8:17", ""},
                 {"/dev/sdc", "8:32", "", 1u << 30},
                 {"/dev/loop0", "7:0", "/img/a.img"}};
    m.mounts = {{"8:1", "/", "ext4", "/dev/sda1"},
                {"8:17", "/mnt/win", "ntfs3", "/dev/sdb1"},
                {"8:17", "/srv/bind", "ntfs3", "/dev/sdb1"},
                {"7:0", "/mnt/loop", "fuseblk", "/dev/loop0"},
                {"0:40", "/mnt/fuse", "fuse", "/img/b.img"},
                {"0:41", "/mnt/sshfs", "fuse", "host:/x"},
                {"8:32", "/mnt/locked", "fuseblk", "/dev/sdc"}};
    m.ntfsSources = {"/dev/loop0", "/img/b.img", "/dev/sdc"};
    m.sources = {{"/dev/sdb1", {{}, true, 1 << 20, "WIN", "3.1"}},
                 {"/dev/sdc", {base::ErrnoFailure(EACCES), false, 0, "", ""}},
                 {"/dev/loop0", {{}, true, 2 << 20, "LOOP", "3.1"}},
                 {"/img/b.img", {{}, true, 3 << 20, "IMG\x1b", "3.1"}},
                 {"/img/d.img", {{}, true, 4 << 20, "LINKED", "3.1"}}};
    m.paths = {{"/mnt/win", File(Kind::Directory, "8:17")},
               {"/srv/bind/docs/a.txt", File(Kind::Regular, "8:17")},
               {"/mnt/win/disk.vhdx", File(Kind::Regular, "8:17")},
               {"/mnt/fuse/x", File(Kind::Directory, "0:40")},
               {"/home/u", File(Kind::Directory, "8:1")},
               {"/dev/sdb1", File(Kind::Block, "0:5", "8:17")},
               {"/tmp/fifo", File(Kind::Other, "8:1")},
               {"/tmp/denied", Failed(EACCES)},
               {m.dosdevices + "/d::", File(Kind::Regular, "8:1", "", "/img/d.img")},
               {m.dosdevices + "/e::", File(Kind::Block, "0:5", "8:17", "/dev/sdb1")},
               {m.dosdevices + "/g::", File(Kind::Other, "8:1", "", "/tmp/fifo")}};
    m.images = {"/mnt/win/disk.vhdx"};
  }
  FakeMachine m;
};

TEST_F(Volumes, PathsResolveToTheVolumeTheyLieOn) {
  struct Case {
    const char* path;
    const char* source;
    const char* mountPoint;
    const char* note;
  };
  const Case cases[] = {
      {"/mnt/win", "/dev/sdb1", "/mnt/win", ""},
      {"/srv/bind/docs/a.txt", "/dev/sdb1", "/mnt/win", ""},  // a bind mount: the same file system
      {"/mnt/win/disk.vhdx", "/mnt/win/disk.vhdx", "", ""},   // an image stored on the volume is read itself
      {"/mnt/fuse/x", "/img/b.img", "/mnt/fuse", ""},         // ntfs-3g on an image file
      {"/dev/sdb1", "/dev/sdb1", "", ""},
      {"/home/u", "/home/u", "", "not on a mounted NTFS volume"},
      {"/tmp/fifo", "/tmp/fifo", "", kNotFileOrBlockDeviceText},
      {"/tmp/denied", "/tmp/denied", "", ""},  // the open says why
      {"/no/such", "/no/such", "", ""},
  };
  for (const auto& c : cases) {
    const PathResolution r = ResolvePath(c.path, m);
    EXPECT_EQ(r.source, c.source) << c.path;
    EXPECT_EQ(r.mountPoint, c.mountPoint) << c.path;
    EXPECT_EQ(r.note, c.note) << c.path;
  }
}

// A volume in use may change while it is read: a block device or image file mounted read-write.
TEST_F(Volumes, MountedReadWriteIsInUse) {
  m.paths["/img/b.img"] = File(Kind::Regular, "8:1", "", "/img/b.img");
  m.paths["/img/a.img"] = File(Kind::Regular, "8:1", "", "/img/a.img");
  EXPECT_TRUE(IsMountedReadWrite("/dev/sdb1", m));
  EXPECT_TRUE(IsMountedReadWrite("/img/b.img", m));  // ntfs-3g on the file itself
  EXPECT_TRUE(IsMountedReadWrite("/img/a.img", m));  // through the loop device it backs
  EXPECT_FALSE(IsMountedReadWrite("/home/u", m));
  EXPECT_FALSE(IsMountedReadWrite("/tmp/denied", m));  // cannot tell
  for (MountEntry& mount : m.mounts) mount.readOnly = true;
  EXPECT_FALSE(IsMountedReadWrite("/dev/sdb1", m));
}

TEST_F(Volumes, DriveLettersSayWhereTheyWereLookedFor) {
  m.links = {{'g', "/tmp/fifo"}, {'q', "/gone.img"}};
  const std::string dir = m.dosdevices;
  EXPECT_EQ(ExplainDrive('G', m), "the link " + dir + "/g:: points at /tmp/fifo: not a file or block device");
  EXPECT_EQ(ExplainDrive('q', m), "the link " + dir + "/q:: points at /gone.img: No such file or directory");
  EXPECT_EQ(ExplainDrive('K', m), "no link " + dir +
                                      "/k::; 4 NTFS volumes are mounted, lettered in mount order: C: /mnt/win, D: "
                                      "/mnt/loop, E: /mnt/fuse, F: /mnt/locked");
  m.mounts.resize(1);
  m.dosdevices.clear();
  EXPECT_EQ(ExplainDrive('c', m),
            "no dosdevices folder (neither XDG_CONFIG_HOME nor HOME is set); no NTFS volume is mounted");
}

TEST_F(Volumes, ListingJoinsDevicesMountsAndLinks) {
  m.links = {{'d', "../img/d.img"}, {'e', "/dev/sdb1"}, {'g', "/tmp/fifo"}};
  const VolumeList list = ListVolumes(m);
  struct Row {
    char letter;
    const char* from;
    const char* device;
    const char* label;
    std::vector<std::string> mountPoints;
    const char* note;
  };
  const Row rows[] = {
      {'D', "link", "/img/d.img", "LINKED", {}, ""},
      {'E', "link", "/dev/sdb1", "WIN", {"/mnt/win"}, ""},  // a link takes it first; C stays unreachable
      {'F', "mount order", "/dev/sdc", "", {"/mnt/locked"}, "Permission denied"},
      {'G', "link", "/tmp/fifo", "", {}, "no NTFS volume found"},
      {0, "", "/dev/loop0", "LOOP", {"/mnt/loop"}, ""},     // D: is the link's
      {0, "", "/img/b.img", "IMG\x1b", {"/mnt/fuse"}, ""},  // E: is the link's
  };
  ASSERT_EQ(list.volumes.size(), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const ListedVolume& v = list.volumes[i];
    EXPECT_EQ(v.letter, rows[i].letter) << i;
    EXPECT_EQ(v.letterFrom, rows[i].from) << i;
    EXPECT_EQ(v.device, rows[i].device) << i;
    EXPECT_EQ(v.label, rows[i].label) << i;
    EXPECT_EQ(v.mountPoints, rows[i].mountPoints) << i;
    EXPECT_EQ(v.note, rows[i].note) << i;
  }
  EXPECT_EQ(list.volumes[2].size, 1u << 30);  // from sysfs, though the device cannot be read
  EXPECT_EQ(list.volumes[4].image, "/img/a.img");
  EXPECT_EQ(list.unread, (std::vector<std::string>{"/dev/sdc: Permission denied"}));
}

TEST_F(Volumes, WithoutLinksMountsAreLetteredInOrder) {
  const VolumeList list = ListVolumes(m);
  ASSERT_EQ(list.volumes.size(), 4u);
  EXPECT_EQ(std::string(1, list.volumes[0].letter) + list.volumes[0].device, "C/dev/sdb1");
  EXPECT_EQ(std::string(1, list.volumes[1].letter) + list.volumes[1].device, "D/dev/loop0");
  EXPECT_EQ(std::string(1, list.volumes[2].letter) + list.volumes[2].device, "E/img/b.img");
  EXPECT_EQ(list.volumes[2].letterFrom, "mount order");
}

}  // namespace
}  // namespace morvel
