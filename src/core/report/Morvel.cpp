#include "core/report/Morvel.h"

#include "base/Text.h"

#include "core/runtime/Checked.h"
#include "core/runtime/Format.h"

namespace morvel {
namespace {

// Closes a handle when the scope ends, also when an error passes through.
class HandleCloser {
 public:
  using CloseFn = void (VolumeApi::*)(Handle);
  HandleCloser(VolumeApi& api, Handle handle, CloseFn close) : api_(api), handle_(handle), close_(close) {}
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;
  ~HandleCloser() { CloseNow(); }
  void CloseNow() {
    if (handle_ != kInvalidHandle) (api_.*close_)(handle_);
    handle_ = kInvalidHandle;
  }

 private:
  VolumeApi& api_;
  Handle handle_;
  CloseFn close_;
};

}  // namespace

std::string NtStatusName(std::int32_t status) {
  switch (static_cast<std::uint32_t>(status)) {
    case 0x00000000u: return "STATUS_SUCCESS";
    case 0xC000000Du: return "STATUS_INVALID_PARAMETER";
    case 0xC0000010u: return "STATUS_INVALID_DEVICE_REQUEST";
    case 0xC0000021u: return "STATUS_ALREADY_COMMITTED";
    case 0xC0000023u: return "STATUS_BUFFER_TOO_SMALL";
    default: return Format("%8d", {status});
  }
}

std::string SystemMessageText(VolumeApi& api, std::uint32_t errorCode) {
  const std::int32_t code = RangeCheckedInt32(errorCode);
  return base::TrimMessageTail(api.SystemMessage(kFormatMessageFromSystemArgArray, code, 0, kFormatMessageBufferSize));
}

std::string VolumeQuery::ErrorLine() const {
  switch (outcome) {
    case Outcome::Ok: return {};
    case Outcome::NotSupported: return kNotSupportedText;
    case Outcome::OpenFailed: return kOpenErrorPrefix + openErrorText;
    case Outcome::Refused: return kQueryErrorPrefix + NtStatusName(status);
  }
  return {};
}

VolumeQuery QueryNtfsVolumeData(VolumeApi& api, char letter) {
  VolumeQuery query;
  if (!api.HasFsControl()) {
    query.outcome = VolumeQuery::Outcome::NotSupported;
    return query;
  }
  const std::string path = Format("\\\\.\\%s:", {std::string(1, letter)});
  const Handle volume = api.OpenFile(path, {kGenericRead, kFileShareReadWrite, kOpenExisting, 0});
  if (volume == kInvalidHandle) {
    query.outcome = VolumeQuery::Outcome::OpenFailed;
    query.openError = api.LastError();
    query.openErrorText = SystemMessageText(api, query.openError);
    return query;
  }
  HandleCloser closer(api, volume, &VolumeApi::CloseHandle);
  VolumeDataBytes record{};
  query.status = api.FsControl(volume, kFsctlGetNtfsVolumeData, record);
  if (query.status != 0) {
    query.outcome = VolumeQuery::Outcome::Refused;
    query.reason = api.LastReason();
    return query;
  }
  query.data = DecodeVolumeData(record);
  return query;
}

bool GetNtfsVolumeData(VolumeApi& api, char letter, NtfsVolumeData& data, std::string& error) {
  const VolumeQuery query = QueryNtfsVolumeData(api, letter);
  if (!query.ok()) {
    error = query.ErrorLine();
    return false;
  }
  data = query.data;
  return true;
}

MetaDataListing FindMetaDataFiles(VolumeApi& api, char letter) {
  MetaDataListing listing;
  const std::string drive(1, letter);
  for (const char* name : MetaDataFileNames) {
    FindData found;
    const Handle find = api.FindFirst(Format("%s:\\%s", {drive, name}), found);
    if (find == kInvalidHandle) {
      if (std::string reason = api.LastReason(); !reason.empty() && listing.failure.empty()) {
        listing.failure = std::string(name) + ": " + reason;
      }
      continue;
    }
    HandleCloser closer(api, find, &VolumeApi::FindClose);
    const auto size = static_cast<std::int64_t>((std::uint64_t{found.fileSizeHigh} << 32) | found.fileSizeLow);
    listing.files.push_back({found.fileName, size});
  }
  return listing;
}

void AddMetaDataLines(const MetaDataListing& listing, Lines& lines) {
  for (const auto& file : listing.files) lines.Add(Format("%-11s    %d bytes", {file.name, file.size}));
}

void ListMetaDataFiles(VolumeApi& api, char letter, Lines& lines) { AddMetaDataLines(FindMetaDataFiles(api, letter), lines); }

}  // namespace morvel
