#include "platform/posix/DriveMap.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "disk/ContainerSignature.h"
#include "platform/posix/PosixFile.h"

namespace morvel {
namespace {

std::vector<std::string_view> SplitBlanks(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const std::size_t start = line.find_first_not_of(' ', pos);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(line.find(' ', start), line.size());
    fields.push_back(line.substr(start, end - start));
    pos = end;
  }
  return fields;
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// udev's record of a block device's file system type: the line "E:ID_FS_TYPE=..." in
// /run/udev/data/b<major>:<minor>; empty when there is none.
std::string UdevFsType(const std::string& device) {
  std::istringstream lines(ReadWholeFile("/run/udev/data/b" + device));
  constexpr std::string_view kKey = "E:ID_FS_TYPE=";
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(kKey, 0) == 0) return line.substr(kKey.size());
  }
  return {};
}

}  // namespace

SourceProbe ProbeNtfsSource(const std::string& path) {
  std::unique_ptr<base::ByteSource> source;
  const base::Result opened = OpenFdSource(path, source);
  std::array<std::uint8_t, 8> oem{};
  // 0x03: OEM identifier of the boot sector.
  if (!opened.ok())
    return opened.code() == EACCES || opened.code() == EPERM ? SourceProbe::Denied : SourceProbe::Unreadable;
  if (!source->ReadAt(3, oem)) return SourceProbe::Unreadable;
  return std::string_view(reinterpret_cast<const char*>(oem.data()), oem.size()) == "NTFS    " ? SourceProbe::Ntfs
                                                                                               : SourceProbe::Other;
}

bool FuseMountIsNtfs(const MountEntry& m, SourceProbe probe, const std::string& udevType) {
  if (m.source.empty() || m.source[0] != '/') return false;  // "sshfs#host:", "/dev/fuse" is refused below
  switch (probe) {
    case SourceProbe::Ntfs:
      return true;
    case SourceProbe::Other:
      return false;
    case SourceProbe::Denied:
      // Without the right to read it, only udev can tell; with no record, the mount is lettered
      // so that opening its letter says "Permission denied" rather than that nothing is there.
      return udevType.empty() || udevType == "ntfs";
    case SourceProbe::Unreadable:
      return udevType == "ntfs";
  }
  return false;
}
std::string UnescapeMountField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
        IsOctal(field[i + 3])) {
      const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      out.push_back(static_cast<char>(value & 0xFF));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  // Fields: id, parent id, major:minor, root, mount point, options, optional fields...,
  // "-", file system type, source, super options.
  std::vector<MountEntry> mounts;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const auto fields = SplitBlanks(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 3) continue;
    // The mount's options start with "ro" or "rw"; the file system's (after the source) too.
    const auto readOnlyOptions = [](std::string_view options) { return options == "ro" || options.starts_with("ro,"); };
    const bool readOnly = readOnlyOptions(fields[5]) || (dash + 3 != fields.end() && readOnlyOptions(dash[3]));
    mounts.push_back({std::string(fields[2]), UnescapeMountField(fields[4]), std::string(dash[1]),
                      UnescapeMountField(dash[2]), readOnly});
  }
  return mounts;
}

std::vector<std::string> NtfsMountSources(const std::vector<MountEntry>& mounts,
                                          const std::function<bool(const MountEntry&)>& fuseIsNtfs) {
  std::vector<std::string> sources;
  std::vector<std::string> devices;
  for (const auto& m : mounts) {
    const bool fuse = m.fsType == "fuseblk" || m.fsType == "fuse";
    const bool ntfs = m.fsType == "ntfs" || m.fsType == "ntfs3" || (fuse && fuseIsNtfs && fuseIsNtfs(m));
    if (!ntfs || std::find(devices.begin(), devices.end(), m.device) != devices.end()) continue;
    devices.push_back(m.device);
    sources.push_back(m.source);
  }
  return sources;
}

std::string DosDevicesDir(const char* xdgConfigHome, const char* home) {
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/morvel/dosdevices";
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/morvel/dosdevices";
  return {};
}

DriveMapConfig DefaultDriveMapConfig() {
  DriveMapConfig config;
  config.dosdevicesDir = DosDevicesDir(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  config.fuseIsNtfs = [](const MountEntry& m) {
    if (m.source.empty() || m.source[0] != '/') return false;
    const SourceProbe probe = ProbeNtfsSource(m.source);
    const bool known = probe == SourceProbe::Ntfs || probe == SourceProbe::Other;
    return FuseMountIsNtfs(m, probe, known || m.fsType != "fuseblk" ? std::string() : UdevFsType(m.device));
  };
  return config;
}

base::Result ResolveDrive(char letter, const DriveMapConfig& config, std::string& path) {
  path.clear();
  const char lower = ToLower(letter);
  if (lower < 'a' || lower > 'z') return base::ErrnoFailure(ENOENT);
  if (!config.dosdevicesDir.empty()) {
    const std::string link = config.dosdevicesDir + "/" + std::string(1, lower) + "::";
    struct stat st {};
    // The link itself decides, even when it dangles: its target's open error is the answer.
    if (::lstat(link.c_str(), &st) == 0) {
      path = link;
      return {};
    }
  }
  if (lower < 'c') return base::ErrnoFailure(ENOENT);
  const auto sources = NtfsMountSources(ParseMountInfo(ReadWholeFile(config.mountInfoPath)), config.fuseIsNtfs);
  const auto index = static_cast<std::size_t>(lower - 'c');
  if (index >= sources.size()) return base::ErrnoFailure(ENOENT);
  path = sources[index];
  return {};
}

base::Result OpenDriveSource(const std::string& path, const ImageOpener& containers,
                             std::unique_ptr<base::ByteSource>& out) {
  if (base::Result opened = OpenFdSource(path, out); !opened.ok()) return opened;
  disk::Container found;
  if (!containers || !disk::RecogniseContainer(*out, found) || found.format == disk::ContainerFormat::None) return {};
  out.reset();
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(path, ec);
  return containers(ec ? path : real.string(), out);
}

}  // namespace morvel
