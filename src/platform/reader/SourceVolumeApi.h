#pragma once
// The volume operations answered by the built-in NTFS reader over byte sources, with the
// statuses Windows returns for the same conditions. Which source a drive letter names is left
// to the platform (OpenDrive).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ntfs/Ntfs.h"
#include "core/report/ClusterMap.h"
#include "core/report/VolumeApi.h"
#include "core/report/VolumeData.h"
#include "platform/reader/MapRecorder.h"
#include "platform/reader/VolumeLocation.h"

namespace morvel {

inline constexpr std::int32_t kStatusSuccess = 0;
inline constexpr auto kStatusInvalidHandle = static_cast<std::int32_t>(0xC0000008u);
inline constexpr auto kStatusInvalidParameter = static_cast<std::int32_t>(0xC000000Du);
inline constexpr auto kStatusInvalidDeviceRequest = static_cast<std::int32_t>(0xC0000010u);
inline constexpr auto kStatusBufferTooSmall = static_cast<std::int32_t>(0xC0000023u);
inline constexpr auto kStatusFileCorruptError = static_cast<std::int32_t>(0xC0000102u);
inline constexpr auto kStatusIoDeviceError = static_cast<std::int32_t>(0xC0000185u);

// The native status for a reader result: not NTFS, inconsistent, unreadable.
std::int32_t NtStatusFromNtfs(ntfs::Status status);

// The reader's record in the layout of the 96-byte volume data record.
NtfsVolumeData ToVolumeData(const ntfs::VolumeData& v);

using VolumeOpener = ntfs::Status (*)(base::ByteSource&, std::uint64_t, std::unique_ptr<ntfs::Volume>&);

class SourceVolumeApi : public VolumeApi, public ClusterMapSource {
 public:
  explicit SourceVolumeApi(PartitionChoice choice = {}, VolumeOpener opener = &ntfs::Volume::Open)
      : choice_(choice), opener_(opener) {}

  bool HasFsControl() const override { return true; }
  // Opens "\\.\X:" for reading; LastError() then holds 0 or an errno value.
  Handle OpenFile(const std::string& path, const OpenRequest& request) override;
  std::uint32_t LastError() override { return lastError_; }
  // The C library's text for an errno value, when it fits `bufferSize` with its terminator.
  std::string SystemMessage(std::uint32_t flags, std::int32_t code, std::uint32_t languageId,
                            std::uint32_t bufferSize) override;
  std::int32_t FsControl(Handle volume, std::uint32_t controlCode, std::span<std::uint8_t> output) override;
  // Releases a volume handle; an unknown or already closed handle is ignored.
  void CloseHandle(Handle handle) override { Release(handle, Kind::Volume); }
  // Looks "X:\name" up in the root directory of drive X. The volume stays open for the
  // lookups that follow (a report probes eleven names) until the next OpenFile.
  Handle FindFirst(const std::string& path, FindData& data) override;
  void FindClose(Handle handle) override { Release(handle, Kind::Find); }
  std::string LastReason() override { return reason_; }

  std::size_t OpenHandleCount() const;

  void RequestClusterMap(std::size_t cells) override { map_.Request(cells); }
  std::optional<ClusterMap> TakeClusterMap(std::string& reason) override { return map_.Take(reason); }

 protected:
  // The byte source of drive `letter`, or null with an errno value in `error`.
  virtual std::unique_ptr<base::ByteSource> OpenDrive(char letter, int& error) = 0;

 private:
  enum class Kind { Volume, Find };
  struct Entry {
    Kind kind = Kind::Volume;
    std::unique_ptr<base::ByteSource> source;  // the drive's device or file
    std::unique_ptr<SliceByteSource> volume;   // the volume's extent of it
  };

  // Opens drive `letter` and finds its volume; 0 or an errno value.
  int OpenVolumeOf(char letter, Entry& entry);
  // The volume the root lookups of drive `letter` read, opened on first use; null when it
  // cannot be opened.
  ntfs::Volume* LookupVolume(char letter);
  Handle Store(Entry entry);
  Entry* Find(Handle handle, Kind kind);
  void Release(Handle handle, Kind kind);

  PartitionChoice choice_;
  VolumeOpener opener_;
  std::uint32_t lastError_ = 0;
  std::string reason_;  // of the last FsControl or FindFirst
  std::vector<std::optional<Entry>> slots_;

  struct LookupCache {
    char letter = 0;
    Entry entry;
    std::unique_ptr<ntfs::Volume> volume;
  };
  std::optional<LookupCache> lookup_;
  MapRecorder map_;
};

}  // namespace morvel
