#include "ntfs/VolumeFacts.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "base/Utf.h"
#include "ntfs/BootSector.h"
#include "ntfs/Reason.h"
#include "ntfs/Runlist.h"
#include "ntfs/VolumeReader.h"

namespace ntfs {
namespace {

constexpr std::uint64_t kVolumeRecord = 3;
constexpr std::uint32_t kVolumeName = 0x60;
constexpr std::uint32_t kVolumeInformation = 0x70;
constexpr std::size_t kMaxLabelBytes = 128 * 2;      // 128 UTF-16 units
constexpr std::size_t kMaxInformationBytes = 0x100;  // 12 used; more is tolerated, within reason
constexpr std::size_t kSignatureBytes = 4;
constexpr std::uint16_t kCompressedOrEncrypted = 0x0001 | 0x4000;

struct FlagName {
  std::uint16_t bit;
  const char* name;
};

constexpr std::array<FlagName, 8> kFlagNames = {{
    {kVolumeDirty, "dirty (chkdsk scheduled)"},
    {kVolumeResizeLogFile, "resize log file"},
    {kVolumeUpgradeOnMount, "upgrade on mount"},
    {kVolumeMountedOnNt4, "mounted on NT 4"},
    {kVolumeDeleteUsnUnderway, "delete USN underway"},
    {kVolumeRepairObjectIds, "repair object IDs"},
    {kVolumeChkdskUnderway, "chkdsk underway"},
    {kVolumeModifiedByChkdsk, "modified by chkdsk"},
}};

Result ReadInformation(VolumeReader& reader, VolumeFacts& out) {
  std::vector<std::uint8_t> value;
  bool found = false;
  if (Result r = reader.ReadValue(kVolumeRecord, kVolumeInformation, "", kMaxInformationBytes, value, found); !r.ok())
    return r;
  if (!found) return Corrupt("no $VOLUME_INFORMATION");
  if (value.size() < 12) return Corrupt("$VOLUME_INFORMATION of " + Dec(value.size()) + " bytes, fewer than 12");
  out.majorVersion = base::Le8(value, 0x08);  // 0x08: major version
  out.minorVersion = base::Le8(value, 0x09);  // 0x09: minor version
  out.flags = base::Le16(value, 0x0A);        // 0x0A: volume flags
  return {};
}

Result ReadLabel(VolumeReader& reader, VolumeFacts& out) {
  std::vector<std::uint8_t> value;
  bool found = false;
  if (Result r = reader.ReadValue(kVolumeRecord, kVolumeName, "", kMaxLabelBytes, value, found); !r.ok()) return r;
  out.label = found ? base::Utf16LeToUtf8(value) : std::string();
  return {};
}

// The first bytes of a file's unnamed $DATA, resident or not, from its first extent alone: a
// hibernation file is gigabytes long, and only its header matters here. `complete` says
// whether the file holds that many bytes, plainly stored.
Result ReadHead(VolumeReader& reader, std::uint64_t record, std::span<std::uint8_t> out, bool& complete) {
  bool done = false;
  complete = false;
  int count = 0;
  return reader.VisitAttribute(
      record, kData, "",
      [&](const Attribute& a) -> Result {
        if (done || (a.nonResident && a.lowestVcn != 0)) return {};
        done = true;
        if (!a.nonResident) {
          complete = a.value.size() >= out.size();
          if (complete) std::copy_n(a.value.begin(), out.size(), out.begin());
          return {};
        }
        // Compressed or encrypted bytes are not the header; a short file holds none.
        if ((a.flags & kCompressedOrEncrypted) != 0 || a.dataSize < out.size()) return {};
        Stream stream;
        stream.dataSize = a.dataSize;
        stream.initializedSize = a.initializedSize;
        if (Result r = DecodeRunlist(a.runlist, a.lowestVcn, a.highestVcn, reader.boot().totalClusters, stream.runs,
                                     a.runlistOffset);
            !r.ok())
          return r;
        if (Result r = ReadStream(reader.disk(), stream, reader.boot().clusterShift, 0, out); !r.ok()) return r;
        complete = true;
        return {};
      },
      count);
}

Hibernation ReadHibernation(ByteSource& source, std::uint64_t offset, VolumeReader& reader, Volume* opened,
                            std::string& signature) {
  std::unique_ptr<Volume> own;
  if (opened == nullptr) {
    if (!Volume::Open(source, offset, own).ok()) return Hibernation::Unreadable;
    opened = own.get();
  }
  std::optional<RootEntry> entry;
  if (!opened->FindRootEntry("hiberfil.sys", entry).ok()) return Hibernation::Unreadable;
  if (!entry) return Hibernation::NoFile;
  std::array<std::uint8_t, kSignatureBytes> head{};
  bool complete = false;
  if (!ReadHead(reader, RecordNumber(entry->fileReference), head, complete).ok()) return Hibernation::Unreadable;
  if (!complete) return Hibernation::NotHibernated;  // shorter than a header: nothing to resume
  signature.assign(head.begin(), head.end());
  return signature == "hibr" || signature == "HIBR" ? Hibernation::Hibernated : Hibernation::NotHibernated;
}

}  // namespace

std::vector<std::string> VolumeFlagNames(std::uint16_t flags) {
  std::vector<std::string> names;
  for (unsigned bit = 1; bit <= 0x8000; bit <<= 1) {
    if ((flags & bit) == 0) continue;
    const auto* named =
        std::find_if(kFlagNames.begin(), kFlagNames.end(), [&](const FlagName& f) { return f.bit == bit; });
    if (named != kFlagNames.end()) {
      names.emplace_back(named->name);
    } else {
      char text[8];
      std::snprintf(text, sizeof text, "0x%04X", bit);
      names.emplace_back(text);
    }
  }
  return names;
}

Result ReadVolumeFacts(ByteSource& source, std::uint64_t offset, VolumeFacts& out, Volume* opened) {
  out = VolumeFacts{};
  BootSector boot;
  if (Result r = ReadBootSector(source, offset, boot); !r.ok()) return r;
  VolumeReader reader(source, offset, boot);
  if (Result r = reader.LoadMft(); !r.ok()) return std::move(r).In("$MFT");
  if (Result r = ReadInformation(reader, out); !r.ok()) return std::move(r).In("$Volume");
  if (Result r = ReadLabel(reader, out); !r.ok()) return std::move(r).In("$Volume");
  out.serialNumber = boot.serialNumber;
  out.bytesPerSector = boot.bytesPerSector;
  out.bytes = boot.totalSectors * boot.bytesPerSector;
  for (const Run& run : reader.mft().runs)
    if (run.lcn != kSparse) ++out.mftExtents;
  out.hibernation = ReadHibernation(source, offset, reader, opened, out.hibernationSignature);
  return {};
}

}  // namespace ntfs
