#include "platform/win32/Win32Volumes.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <vector>

#include "base/Utf.h"

namespace morvel {
namespace {

// A volume search: INVALID_HANDLE_VALUE when it found nothing, closed by FindVolumeClose. (Not
// an Owner alias: INVALID_HANDLE_VALUE is no constant a template argument can be.)
class FindVolume {
 public:
  explicit FindVolume(HANDLE h) : h_(h) {}
  FindVolume(const FindVolume&) = delete;
  FindVolume& operator=(const FindVolume&) = delete;
  ~FindVolume() {
    if (h_ != INVALID_HANDLE_VALUE) ::FindVolumeClose(h_);
  }
  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

std::wstring Wide(const std::string& utf8) {
  const std::u16string u = base::Utf8ToUtf16(utf8);
  return std::wstring(u.begin(), u.end());
}

std::string Utf8(const wchar_t* text) {
  return base::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), ::wcslen(text)));
}

struct VolumeInfo {
  bool ntfs = false;
  std::string label;
};

VolumeInfo InfoOf(const std::wstring& root) {
  std::array<wchar_t, MAX_PATH + 1> label{};
  std::array<wchar_t, MAX_PATH + 1> fsName{};
  VolumeInfo info;
  if (::GetVolumeInformationW(root.c_str(), label.data(), static_cast<DWORD>(label.size()), nullptr, nullptr, nullptr,
                              fsName.data(), static_cast<DWORD>(fsName.size())) == 0)
    return info;
  info.ntfs = ::wcscmp(fsName.data(), L"NTFS") == 0;
  info.label = Utf8(label.data());
  return info;
}

// The folders a volume is mounted at ("C:\", "D:\mnt\data\"), from a list of strings each
// ended by a null and the list by another.
std::vector<std::string> MountFolders(const std::wstring& volumeName) {
  DWORD needed = 0;
  std::vector<wchar_t> names(MAX_PATH + 1);
  if (::GetVolumePathNamesForVolumeNameW(volumeName.c_str(), names.data(), static_cast<DWORD>(names.size()), &needed) ==
      0) {
    // Capped: a volume is mounted at a few folders, not at megabytes of them.
    if (::GetLastError() != ERROR_MORE_DATA || needed > (1u << 16)) return {};
    names.assign(needed, L'\0');
    if (::GetVolumePathNamesForVolumeNameW(volumeName.c_str(), names.data(), needed, &needed) == 0) return {};
  }
  names.push_back(L'\0');  // the list ends inside the buffer, whatever the call wrote
  std::vector<std::string> folders;
  for (const wchar_t* p = names.data(); *p != L'\0'; p += ::wcslen(p) + 1) folders.push_back(Utf8(p));
  return folders;
}

char LetterOf(const std::vector<std::string>& folders) {
  for (const auto& f : folders) {
    if (f.size() == 3 && f[1] == ':' && f[2] == '\\' && ((f[0] >= 'A' && f[0] <= 'Z') || (f[0] >= 'a' && f[0] <= 'z')))
      return static_cast<char>(f[0] & ~0x20);
  }
  return 0;
}

std::uint64_t SizeOf(const std::wstring& root) {
  ULARGE_INTEGER total{};
  return ::GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr) != 0 ? total.QuadPart : 0;
}

void AddVolume(VolumeList& list, const std::wstring& root, std::string device, std::vector<std::string> folders) {
  const VolumeInfo info = InfoOf(root);
  if (!info.ntfs) return;
  ListedVolume v;
  v.letter = LetterOf(folders);
  v.letterFrom = v.letter != 0 ? "drive letter" : "";
  v.device = std::move(device);
  v.size = SizeOf(root);
  v.label = info.label;
  v.mountPoints = std::move(folders);
  list.volumes.push_back(std::move(v));
}

}  // namespace

VolumeList ListWin32Volumes() {
  VolumeList list;
  std::array<wchar_t, MAX_PATH + 1> name{};
  FindVolume find(::FindFirstVolumeW(name.data(), static_cast<DWORD>(name.size())));
  // Bounded by the system's own list of volumes; each name is "\\?\Volume{GUID}\".
  for (bool more = static_cast<bool>(find); more;
       more = ::FindNextVolumeW(find.get(), name.data(), static_cast<DWORD>(name.size())) != 0) {
    const std::wstring volume(name.data());
    AddVolume(list, volume, Utf8(volume.c_str()), MountFolders(volume));
  }
  // Letters the volume list did not give (network drives, substitutes, systems without a
  // volume manager).
  std::array<wchar_t, 26 * 4 + 1> drives{};
  const DWORD n = ::GetLogicalDriveStringsW(static_cast<DWORD>(drives.size() - 1), drives.data());
  if (n == 0 || n >= drives.size()) return list;
  for (const wchar_t* p = drives.data(); *p != L'\0'; p += ::wcslen(p) + 1) {
    const std::string root = Utf8(p);
    const char letter = LetterOf({root});
    const bool listed = std::any_of(list.volumes.begin(), list.volumes.end(),
                                    [&](const ListedVolume& v) { return v.letter == letter; });
    if (letter != 0 && !listed) AddVolume(list, p, root, {root});
  }
  std::stable_sort(list.volumes.begin(), list.volumes.end(), [](const ListedVolume& a, const ListedVolume& b) {
    return (a.letter == 0 ? 0x7F : a.letter) < (b.letter == 0 ? 0x7F : b.letter);
  });
  return list;
}

char Win32DriveOfFolder(const std::string& path, std::string& mountPoint) {
  const std::wstring wide = Wide(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return 0;
  std::array<wchar_t, MAX_PATH + 1> root{};
  if (::GetVolumePathNameW(wide.c_str(), root.data(), static_cast<DWORD>(root.size())) == 0) return 0;
  mountPoint = Utf8(root.data());
  std::array<wchar_t, MAX_PATH + 1> volume{};
  if (::GetVolumeNameForVolumeMountPointW(root.data(), volume.data(), static_cast<DWORD>(volume.size())) == 0)
    return LetterOf({mountPoint});
  const char letter = LetterOf(MountFolders(volume.data()));
  return letter != 0 ? letter : LetterOf({mountPoint});
}

}  // namespace morvel
