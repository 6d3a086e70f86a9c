#pragma once
// The volume operations answered by the built-in NTFS reader over byte sources, with the
// statuses Windows returns for the same conditions. Which source a drive letter names is left
// to the platform (OpenDrive).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/report/ClusterMap.h"
#include "core/report/VolumeApi.h"
#include "core/report/VolumeData.h"
#include "ntfs/Ntfs.h"
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

using VolumeOpener = ntfs::Result (*)(base::ByteSource&, std::uint64_t, std::unique_ptr<ntfs::Volume>&);

class SourceVolumeApi : public VolumeApi, public ClusterMapSource {
 public:
  explicit SourceVolumeApi(PartitionChoice choice = {}, VolumeOpener opener = &ntfs::Volume::Open)
      : choice_(choice), opener_(opener) {}

  bool HasFsControl() const override { return true; }
  // Opens "\\.\X:" for reading; LastError() then holds 0 or an errno value. The volume is
  // parsed once, on the first FsControl or lookup, and serves the root lookups of X that
  // follow, after the handle is closed too, until the next OpenFile.
  Handle OpenFile(const std::string& path, const OpenRequest& request) override;
  std::uint32_t LastError() override { return lastError_; }
  // The C library's text for an errno value, when it fits `bufferSize` with its terminator.
  std::string SystemMessage(std::uint32_t flags, std::int32_t code, std::uint32_t languageId,
                            std::uint32_t bufferSize) override;
  std::int32_t FsControl(Handle volume, std::uint32_t controlCode, std::span<std::uint8_t> output) override;
  // Releases a volume handle; an unknown or already closed handle is ignored.
  void CloseHandle(Handle handle) override { Release(handle, Kind::Volume); }
  // Looks "X:\name" up in the root directory of drive X: in the volume the last OpenFile of
  // X opened (a report's query and its eleven lookups open and parse the volume and read its
  // root index once), or else in the drive opened here and kept until the next OpenFile. A
  // lookup that could not read the directory fails with LastReason() set; one that found
  // nothing leaves it empty.
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
  // One drive as a report reads it: its source, the volume's extent of it, and the reader's
  // volume over that, parsed on first use, or why it could not be.
  struct OpenedVolume {
    char letter = 0;  // upper case
    int openError = 0;
    std::unique_ptr<base::ByteSource> source;  // the drive's device or file
    std::unique_ptr<SliceByteSource> slice;    // the volume's extent of it
    bool parsed = false;
    ntfs::Result parse;
    std::unique_ptr<ntfs::Volume> volume;
  };
  struct Entry {
    Kind kind = Kind::Volume;
    std::shared_ptr<OpenedVolume> opened;  // shared with the lookups; null for a find handle
  };

  // Opens drive `letter` and finds its volume; 0 or an errno value, also kept in `opened`.
  int OpenVolumeOf(char letter, OpenedVolume& opened);
  // The reader's volume of `opened`, parsed on first use; null with reason_ set when it
  // cannot be opened or parsed, and the native status in `status`.
  ntfs::Volume* Parse(OpenedVolume& opened, std::int32_t& status);
  // The volume the root lookups of drive `letter` read, opened on first use.
  OpenedVolume& LookupVolume(char letter);
  Handle Store(Entry entry);
  Entry* Find(Handle handle, Kind kind);
  void Release(Handle handle, Kind kind);

  PartitionChoice choice_;
  VolumeOpener opener_;
  std::uint32_t lastError_ = 0;
  std::string reason_;  // of the last FsControl or FindFirst
  std::vector<std::optional<Entry>> slots_;
  std::shared_ptr<OpenedVolume> shared_;  // the drive of the last OpenFile or lookup
  MapRecorder map_;
};

}  // namespace morvel
