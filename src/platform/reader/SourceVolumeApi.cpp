#include "platform/reader/SourceVolumeApi.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace morvel {
namespace {

constexpr std::uint32_t kFormatMessageFromSystem = 0x1000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kGenericAll = 0x10000000u;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The reader's reason, or the status's name when it gave none.
std::string ReasonOf(const ntfs::Result& r) { return r.reason().empty() ? ntfs::StatusName(r.status()) : r.reason(); }

// "\\.\X:" -> 'X'; 0 for any other path.
char VolumeDeviceLetter(const std::string& path) {
  if (path.size() != 6 || path.compare(0, 4, "\\\\.\\") != 0 || path[5] != ':') return 0;
  return IsLetter(path[4]) ? path[4] : 0;
}

// "X:\name" -> 'X' and "name"; 0 when the path is not a plain name in a drive's root.
char RootNameOf(const std::string& path, std::string& name) {
  if (path.size() < 4 || !IsLetter(path[0]) || path[1] != ':' || path[2] != '\\') return 0;
  name = path.substr(3);
  if (name.find_first_of("\\/*?") != std::string::npos) return 0;
  return path[0];
}

}  // namespace

std::int32_t NtStatusFromNtfs(ntfs::Status status) {
  switch (status) {
    case ntfs::Status::Ok:
      return kStatusSuccess;
    case ntfs::Status::NotNtfs:
      return kStatusInvalidDeviceRequest;
    case ntfs::Status::Corrupt:
      return kStatusFileCorruptError;
    case ntfs::Status::IoError:
      return kStatusIoDeviceError;
  }
  return kStatusIoDeviceError;
}

NtfsVolumeData ToVolumeData(const ntfs::VolumeData& v) {
  NtfsVolumeData d;
  d.VolumeSerialNumber = v.VolumeSerialNumber;
  d.NumberSectors = v.NumberSectors;
  d.TotalClusters = v.TotalClusters;
  d.FreeClusters = v.FreeClusters;
  d.TotalReserved = v.TotalReserved;
  d.BytesPerSector = v.BytesPerSector;
  d.BytesPerCluster = v.BytesPerCluster;
  d.BytesPerFileRecordSegment = v.BytesPerFileRecordSegment;
  d.ClustersPerFileRecordSegment = v.ClustersPerFileRecordSegment;
  d.MftValidDataLength = v.MftValidDataLength;
  d.MftStartLcn = v.MftStartLcn;
  d.Mft2StartLcn = v.Mft2StartLcn;
  d.MftZoneStart = v.MftZoneStart;
  d.MftZoneEnd = v.MftZoneEnd;
  return d;
}

Handle SourceVolumeApi::OpenFile(const std::string& path, const OpenRequest& request) {
  shared_.reset();  // a new query reads the volume afresh
  int error = 0;
  const char letter = VolumeDeviceLetter(path);
  auto opened = std::make_shared<OpenedVolume>();
  if (letter == 0) {
    error = ENOENT;
  } else if (request.creationDisposition != kOpenExisting) {
    error = EINVAL;
  } else if ((request.desiredAccess & (kGenericWrite | kGenericAll)) != 0) {
    error = EROFS;  // the reader never writes
  } else {
    error = OpenVolumeOf(letter, *opened);
  }
  lastError_ = static_cast<std::uint32_t>(error);
  if (error != 0) return kInvalidHandle;
  shared_ = opened;
  return Store(Entry{Kind::Volume, std::move(opened)});
}

std::string SourceVolumeApi::SystemMessage(std::uint32_t flags, std::int32_t code, std::uint32_t,
                                           std::uint32_t bufferSize) {
  if ((flags & kFormatMessageFromSystem) == 0) return {};
  std::string text = std::generic_category().message(code);
  if (text.size() + 1 > bufferSize) return {};  // the message would not fit the caller's buffer
  return text;
}

std::int32_t SourceVolumeApi::FsControl(Handle volume, std::uint32_t controlCode, std::span<std::uint8_t> output) {
  reason_.clear();
  Entry* entry = Find(volume, Kind::Volume);
  if (entry == nullptr) return kStatusInvalidHandle;
  if (controlCode != kFsctlGetNtfsVolumeData) return kStatusInvalidParameter;
  if (output.size() < kVolumeDataSize) return kStatusBufferTooSmall;
  shared_ = entry->opened;  // the lookups that follow read this volume
  std::int32_t status = kStatusSuccess;
  ntfs::Volume* ntfsVolume = Parse(*entry->opened, status);
  if (ntfsVolume == nullptr) return status;
  ntfs::VolumeData record;
  if (const ntfs::Result r = map_.Query(*entry->opened->slice, *ntfsVolume, record); !r.ok()) {
    reason_ = ReasonOf(r);
    return NtStatusFromNtfs(r.status());
  }
  const VolumeDataBytes bytes = EncodeVolumeData(ToVolumeData(record));
  std::copy(bytes.begin(), bytes.end(), output.begin());
  return kStatusSuccess;
}

Handle SourceVolumeApi::FindFirst(const std::string& path, FindData& data) {
  reason_.clear();
  std::string name;
  const char letter = RootNameOf(path, name);
  if (letter == 0 || name.empty()) return kInvalidHandle;
  OpenedVolume& opened = LookupVolume(letter);
  std::int32_t status = kStatusSuccess;
  ntfs::Volume* volume = Parse(opened, status);
  if (volume == nullptr) return kInvalidHandle;
  std::optional<ntfs::RootEntry> found;
  if (const ntfs::Result r = volume->FindRootEntry(name, found); !r.ok()) {
    reason_ = ReasonOf(r);
    return kInvalidHandle;
  }
  if (!found) return kInvalidHandle;
  data.fileName = found->name;
  data.fileSizeHigh = static_cast<std::uint32_t>(found->size >> 32);
  data.fileSizeLow = static_cast<std::uint32_t>(found->size & 0xFFFFFFFFu);
  // The find handle holds nothing open: the entry was read whole.
  return Store(Entry{Kind::Find, nullptr});
}

ntfs::Volume* SourceVolumeApi::Parse(OpenedVolume& opened, std::int32_t& status) {
  if (opened.openError != 0) {
    reason_ = "opening the drive: " + std::generic_category().message(opened.openError);
    status = kStatusIoDeviceError;
    return nullptr;
  }
  if (!opened.parsed) {
    opened.parsed = true;
    opened.parse = opener_(*opened.slice, 0, opened.volume);
  }
  if (!opened.parse.ok()) {
    reason_ = ReasonOf(opened.parse);
    status = NtStatusFromNtfs(opened.parse.status());
    return nullptr;
  }
  return opened.volume.get();
}

SourceVolumeApi::OpenedVolume& SourceVolumeApi::LookupVolume(char letter) {
  const char upper = ToUpper(letter);
  if (!shared_ || shared_->letter != upper) {
    shared_ = std::make_shared<OpenedVolume>();
    OpenVolumeOf(letter, *shared_);  // a failure is kept: not retried until the next OpenFile
  }
  return *shared_;
}

std::size_t SourceVolumeApi::OpenHandleCount() const {
  return static_cast<std::size_t>(
      std::count_if(slots_.begin(), slots_.end(), [](const auto& s) { return s.has_value(); }));
}

int SourceVolumeApi::OpenVolumeOf(char letter, OpenedVolume& opened) {
  opened.letter = ToUpper(letter);
  int error = 0;
  opened.source = OpenDrive(letter, error);
  VolumeExtent extent;
  if (!opened.source) {
    error = error != 0 ? error : ENOENT;
  } else {
    error = LocateVolume(*opened.source, choice_, extent);
  }
  opened.openError = error;
  if (error == 0) opened.slice = std::make_unique<SliceByteSource>(*opened.source, extent.offset, extent.length);
  return error;
}

Handle SourceVolumeApi::Store(Entry entry) {
  auto free = std::find_if(slots_.begin(), slots_.end(), [](const auto& s) { return !s.has_value(); });
  if (free == slots_.end()) free = slots_.insert(slots_.end(), std::nullopt);
  free->emplace(std::move(entry));
  // Handle values start at 1 and never meet kInvalidHandle.
  return static_cast<Handle>(free - slots_.begin()) + 1;
}

SourceVolumeApi::Entry* SourceVolumeApi::Find(Handle handle, Kind kind) {
  if (handle == 0 || handle > slots_.size()) return nullptr;
  auto& slot = slots_[handle - 1];
  return slot && slot->kind == kind ? &*slot : nullptr;
}

void SourceVolumeApi::Release(Handle handle, Kind kind) {
  if (Find(handle, kind) != nullptr) slots_[handle - 1].reset();
}

}  // namespace morvel
