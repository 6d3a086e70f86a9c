#pragma once
// Drive letters on Linux. A letter names what the symlink "x::" in the dosdevices folder
// points at (a block device, a partition or an image file); without such a link, the NTFS
// file systems mounted on the machine are lettered C, D, E, ... in mount order.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/ByteSource.h"
#include "base/Result.h"
#include "platform/reader/ReaderVolume.h"

namespace morvel {

// One line of /proc/self/mountinfo, the fields the lettering needs.
struct MountEntry {
  std::string device;      // "major:minor"
  std::string mountPoint;  // unescaped
  std::string fsType;      // "ntfs3", "fuseblk", ...
  std::string source;      // unescaped; "/dev/sdb1"
  bool readOnly = false;   // mounted "ro"
};

// Parses mountinfo text; lines without the "-" separator or with missing fields are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// Undoes the kernel's octal escapes of blanks, tabs, line breaks and backslashes ("\040").
std::string UnescapeMountField(std::string_view field);

// The source devices of the NTFS mounts in mount order, each device once (bind mounts repeat
// it). ntfs and ntfs3 count as NTFS; fuseblk (ntfs-3g on a device) and fuse (ntfs-3g on an
// image file) when `fuseIsNtfs` says their source holds NTFS.
std::vector<std::string> NtfsMountSources(const std::vector<MountEntry>& mounts,
                                          const std::function<bool(const MountEntry&)>& fuseIsNtfs);

struct DriveMapConfig {
  std::string dosdevicesDir;  // empty: no links
  std::string mountInfoPath = "/proc/self/mountinfo";
  std::function<bool(const MountEntry&)> fuseIsNtfs;
};

// What the first sector of a mount's source says, read without blocking on special files.
enum class SourceProbe { Ntfs, Other, Denied, Unreadable };
SourceProbe ProbeNtfsSource(const std::string& path);

// Whether a fuse or fuseblk mount is NTFS: its source is an absolute path whose first sector
// says so; a source this user may not read counts when udev (`udevType`, "" when it has no
// record) does not say otherwise, so that its letter reports "Permission denied".
bool FuseMountIsNtfs(const MountEntry& mount, SourceProbe probe, const std::string& udevType);

// $XDG_CONFIG_HOME/morvel/dosdevices, or ~/.config/morvel/dosdevices when XDG_CONFIG_HOME is
// unset, empty or relative (as the XDG convention asks); empty when neither is known.
std::string DosDevicesDir(const char* xdgConfigHome, const char* home);

// The folder from the environment, the machine's mounts, and a fuse or fuseblk source judged
// by its boot sector (or, when it cannot be read, by what udev recorded of it).
DriveMapConfig DefaultDriveMapConfig();

// The path that drive `letter` (either case) names, into `path`. Fails with ENOENT when it names
// nothing.
base::Result ResolveDrive(char letter, const DriveMapConfig& config, std::string& path);

// Opens the device or image file a drive letter names (ResolveDrive's path). A file whose
// signature names a container is opened by `containers` when given, by its real path, so that a
// differencing image finds its parent beside the image rather than beside the link; anything
// else is read as it is, through its descriptor. A failure carries an errno value.
base::Result OpenDriveSource(const std::string& path, const ImageOpener& containers,
                             std::unique_ptr<base::ByteSource>& out);

}  // namespace morvel
