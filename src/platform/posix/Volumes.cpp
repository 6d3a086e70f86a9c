#include "platform/posix/Volumes.h"

#include <algorithm>
#include <system_error>

#include "platform/posix/PosixFile.h"

namespace morvel {
namespace {

bool IsNtfsMount(const MountEntry& m, Machine& machine) {
  if (m.fsType == "ntfs" || m.fsType == "ntfs3") return true;
  return (m.fsType == "fuseblk" || m.fsType == "fuse") && machine.FuseIsNtfs(m);
}

// The NTFS mounts in mount order, each file system once: the same order that letters them.
std::vector<MountEntry> NtfsMounts(Machine& machine) {
  std::vector<MountEntry> all = machine.Mounts();
  std::vector<MountEntry> ntfs;
  for (auto& m : all) {
    const bool seen = std::any_of(ntfs.begin(), ntfs.end(), [&](const MountEntry& n) { return n.device == m.device; });
    if (!seen && IsNtfsMount(m, machine)) ntfs.push_back(std::move(m));
  }
  return ntfs;
}

std::string ErrorText(int error) { return std::generic_category().message(error); }

char MountLetter(std::size_t index) { return index < 24 ? static_cast<char>('C' + index) : 0; }

std::string LinkPath(Machine& machine, char letter) {
  const std::string dir = machine.DosDevicesDir();
  return dir.empty() ? std::string() : dir + "/" + std::string(1, letter) + "::";
}

}  // namespace

PathResolution ResolvePath(const std::string& path, Machine& machine) {
  const PathStatus st = machine.Stat(path);
  if (st.error != 0 || st.kind == PathStatus::Kind::Block) return {path, {}, {}};
  if (st.kind == PathStatus::Kind::Other) return {path, {}, kNotFileOrBlockDeviceText};
  if (st.kind == PathStatus::Kind::Regular && machine.HoldsImage(path)) return {path, {}, {}};
  for (const MountEntry& m : NtfsMounts(machine)) {
    if (m.device == st.fileSystem) return {m.source, m.mountPoint, {}};
  }
  if (st.kind == PathStatus::Kind::Directory) return {path, {}, "not on a mounted NTFS volume"};
  return {path, {}, {}};
}

bool IsMountedReadWrite(const std::string& path, Machine& machine) {
  const PathStatus st = machine.Stat(path);
  if (st.error != 0) return false;
  // A file is mounted itself (ntfs-3g on an image) or through the loop devices it backs.
  std::vector<std::string> devices;
  if (st.kind == PathStatus::Kind::Block) devices.push_back(st.device);
  if (st.kind == PathStatus::Kind::Regular)
    for (const BlockDevice& d : machine.BlockDevices())
      if (!d.backingFile.empty() && d.backingFile == st.canonical) devices.push_back(d.number);
  const std::vector<MountEntry> mounts = machine.Mounts();
  return std::ranges::any_of(mounts, [&](const MountEntry& m) {
    return !m.readOnly && (std::ranges::find(devices, m.device) != devices.end() ||
                           (st.kind == PathStatus::Kind::Regular && m.source == st.canonical));
  });
}

std::string ExplainDrive(char letter, Machine& machine) {
  const char lower = static_cast<char>(letter >= 'A' && letter <= 'Z' ? letter - 'A' + 'a' : letter);
  const std::string link = LinkPath(machine, lower);
  for (const auto& [linked, target] : machine.DriveLinks()) {
    if (linked != lower) continue;
    std::string text = "the link " + link + " points at " + target;
    const PathStatus st = machine.Stat(link);
    if (st.error != 0) return text + ": " + ErrorText(st.error);
    if (st.kind == PathStatus::Kind::Other) return text + ": " + kNotFileOrBlockDeviceText;
    return text;
  }
  std::string text =
      link.empty() ? "no dosdevices folder (neither XDG_CONFIG_HOME nor HOME is set)" : "no link " + link;
  const auto mounts = NtfsMounts(machine);
  if (mounts.empty()) return text + "; no NTFS volume is mounted";
  text += "; " + std::to_string(mounts.size()) + (mounts.size() == 1 ? " NTFS volume is" : " NTFS volumes are") +
          " mounted, lettered in mount order:";
  for (std::size_t i = 0; i < mounts.size(); ++i) {
    const char taken = MountLetter(i);
    text += (i == 0 ? " " : ", ") + (taken != 0 ? std::string(1, taken) + ": " : std::string("no letter: ")) +
            mounts[i].mountPoint;
  }
  return text;
}

namespace {

// Builds the listing: one row per volume, found through whichever of the three ways.
class Lister {
 public:
  explicit Lister(Machine& machine) : machine_(machine) {}

  VolumeList Run() {
    for (const BlockDevice& d : machine_.BlockDevices()) AddDevice(d);
    const auto mounts = NtfsMounts(machine_);
    for (const MountEntry& m : mounts) Row(m.device, m.source).mountPoints.push_back(m.mountPoint);
    for (const auto& link : machine_.DriveLinks()) {
      const char letter = link.first;
      const PathStatus st = machine_.Stat(LinkPath(machine_, letter));
      if (st.error != 0) {
        list_.unread.push_back(LinkPath(machine_, letter) + ": " + ErrorText(st.error));
        continue;
      }
      ListedVolume& row = Row(st.kind == PathStatus::Kind::Block ? st.device : std::string(), st.canonical);
      if (row.letter == 0) SetLetter(row, static_cast<char>(letter - 'a' + 'A'), "link");
      linked_.push_back(static_cast<char>(letter - 'a' + 'A'));
    }
    for (std::size_t i = 0; i < mounts.size(); ++i) {
      const char letter = MountLetter(i);
      if (letter == 0 || std::find(linked_.begin(), linked_.end(), letter) != linked_.end()) continue;
      ListedVolume& row = Row(mounts[i].device, mounts[i].source);
      if (row.letter == 0) SetLetter(row, letter, "mount order");
    }
    std::stable_sort(list_.volumes.begin(), list_.volumes.end(), [](const ListedVolume& a, const ListedVolume& b) {
      return (a.letter == 0 ? 0x7F : a.letter) < (b.letter == 0 ? 0x7F : b.letter);
    });
    return std::move(list_);
  }

 private:
  void AddDevice(const BlockDevice& d) {
    devices_.push_back(d);
    const SourceFacts facts = machine_.Examine(d.path);
    if (!facts.ntfs) {
      if (!facts.result.ok()) list_.unread.push_back(d.path + ": " + facts.result.reason());
      return;
    }
    ListedVolume& row = NewRow(d.path, facts);
    row.image = d.backingFile;
    if (row.size == 0) row.size = d.size;
    numbers_.back() = d.number;
  }

  ListedVolume& NewRow(const std::string& path, const SourceFacts& facts) {
    ListedVolume row;
    row.device = path;
    row.size = facts.size;
    row.label = facts.label;
    row.version = facts.version;
    if (!facts.result.ok()) row.note = facts.result.reason();
    if (facts.result.ok() && !facts.ntfs) row.note = "no NTFS volume found";
    list_.volumes.push_back(std::move(row));
    numbers_.emplace_back();
    return list_.volumes.back();
  }

  // The row of the block device `number`, or of the device or image file at `path`; a new row
  // when the volume was not listed yet.
  ListedVolume& Row(const std::string& number, const std::string& path) {
    for (std::size_t i = 0; i < list_.volumes.size(); ++i) {
      const ListedVolume& v = list_.volumes[i];
      if ((!number.empty() && numbers_[i] == number) || v.device == path || (!v.image.empty() && v.image == path))
        return list_.volumes[i];
    }
    ListedVolume& row = NewRow(path, machine_.Examine(path));
    numbers_.back() = number;
    // A device this user may not open still has its size and backing file in sysfs.
    for (const BlockDevice& d : devices_) {
      if (number.empty() || d.number != number) continue;
      row.image = d.backingFile;
      if (row.size == 0) row.size = d.size;
    }
    return row;
  }

  static void SetLetter(ListedVolume& row, char letter, const char* from) {
    row.letter = letter;
    row.letterFrom = from;
  }

  Machine& machine_;
  VolumeList list_;
  std::vector<std::string> numbers_;  // device number of each row, "" for image files
  std::vector<BlockDevice> devices_;
  std::vector<char> linked_;
};

}  // namespace

VolumeList ListVolumes(Machine& machine) { return Lister(machine).Run(); }

}  // namespace morvel
