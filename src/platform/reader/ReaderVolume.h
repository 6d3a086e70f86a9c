#pragma once
// A volume read by the built-in NTFS reader from a device, an image file or a container's
// media data, with the statuses Windows gives for the same conditions: a source that is not
// NTFS is refused with STATUS_INVALID_DEVICE_REQUEST, inconsistent structures with
// STATUS_FILE_CORRUPT_ERROR, a failed read with STATUS_IO_DEVICE_ERROR, each with its reason.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/ByteSource.h"
#include "base/Result.h"
#include "ntfs/Ntfs.h"
#include "platform/reader/MapRecorder.h"
#include "platform/reader/OpenedVolume.h"
#include "platform/reader/ScanRecorder.h"
#include "platform/reader/VolumeLocation.h"

namespace morvel {

inline constexpr auto kStatusInvalidDeviceRequest = static_cast<std::int32_t>(0xC0000010u);
inline constexpr auto kStatusFileCorruptError = static_cast<std::int32_t>(0xC0000102u);
inline constexpr auto kStatusIoDeviceError = static_cast<std::int32_t>(0xC0000185u);

// The native status for a reader result: not NTFS, inconsistent, unreadable.
std::int32_t NtStatusFromNtfs(ntfs::Status status);

// The reader's record as the report names its figures.
NtfsVolumeData ToVolumeData(const ntfs::VolumeData& v);

// The bytes of a target as its opener found them: the source, or why it could not be opened.
struct SourceOpening {
  std::unique_ptr<base::ByteSource> source;  // null when the open failed
  // Why the open failed: its errno value, which the report shows, and the reason --details says.
  base::Result result;
  std::string where;  // where the program looked, said when it failed
  // For --details: the device or file read, as the user should see it, and what it is.
  std::string name;
  bool blockDevice = false;
  // Whether it is mounted read-write, so that what is read may change while it is read: asked
  // only when a check is made (it reads the machine's mounts). Nothing: not in use.
  std::function<bool()> inUse;
  std::uint32_t physicalSectorSize = 0;  // 0: unknown
  bool container = false;                // the source is a container image's media data
};

// What a target holds when no NTFS volume was found in it ("exFAT file system"); empty when
// there is nothing to add. Given the target's source, or null when it could not be opened.
using ContentDescriber = std::function<std::string(base::ByteSource* source, int partition)>;

// Opens the file at a path into its second argument as the bytes the reader sees: raw, or a
// container's media data. A failure carries an errno value.
using ImageOpener = std::function<base::Result(const std::string&, std::unique_ptr<base::ByteSource>&)>;

using VolumeParser = ntfs::Result (*)(base::ByteSource&, std::uint64_t, std::unique_ptr<ntfs::Volume>&);

class ReaderVolume final : public OpenedVolume {
 public:
  ReaderVolume(SourceOpening opening, PartitionChoice choice, ContentDescriber describe = nullptr,
               VolumeParser parse = &ntfs::Volume::Open);

  // The volume is found and parsed on the first query or lookup, once; the lookups that follow
  // share its root index.
  VolumeQuery QueryVolumeData() override;
  MetaDataLookup FindMetaDataFile(const std::string& name) override;
  bool RequestClusterMap(std::size_t cells) override;
  std::optional<ClusterMap> TakeClusterMap(std::string& reason) override { return map_.Take(reason); }
  bool RequestScan(const ScanRequest& request) override;
  std::optional<VolumeScan> TakeScan(std::string& reason) override { return scan_.Take(reason); }
  base::Result ReadDetails(VolumeDetails& out) override;
  // The $MFT scan of the last query that asked for one, for what rides along with the report's
  // pass; null when there was none.
  const ntfs::MftScan* Scan() const { return scan_.Mft(); }

 private:
  // The reader's volume, or null with `failure` saying why (an open error, a missing
  // partition, a rejection).
  ntfs::Volume* Volume();
  // The volume-data query with the map and the scan asked for.
  ntfs::Result ScannedQuery(ntfs::Volume& volume, ntfs::VolumeData& record);

  SourceOpening opening_;
  PartitionChoice choice_;
  ContentDescriber describe_;
  VolumeParser parse_;
  bool parsed_ = false;
  base::Result located_;
  std::vector<std::string> warnings_;  // what the partition table had damaged
  VolumeExtent extent_;
  std::unique_ptr<SliceByteSource> slice_;
  ntfs::Result parse_result_;
  std::unique_ptr<ntfs::Volume> volume_;
  MapRecorder map_;
  ScanRecorder scan_;
};

}  // namespace morvel
