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

bool GetNtfsVolumeData(VolumeApi& api, char letter, NtfsVolumeData& data, std::string& error) {
  if (!api.HasFsControl()) {
    error = kNotSupportedText;
    return false;
  }
  const std::string path = Format("\\\\.\\%s:", {std::string(1, letter)});
  const Handle volume = api.OpenFile(path, {kGenericRead, kFileShareReadWrite, kOpenExisting, 0});
  if (volume == kInvalidHandle) {
    const std::uint32_t lastError = api.LastError();
    error = kOpenErrorPrefix + SystemMessageText(api, lastError);
    return false;
  }
  HandleCloser closer(api, volume, &VolumeApi::CloseHandle);
  VolumeDataBytes record{};
  const std::int32_t status = api.FsControl(volume, kFsctlGetNtfsVolumeData, record);
  if (status != 0) {
    error = kQueryErrorPrefix + NtStatusName(status);
    return false;
  }
  data = DecodeVolumeData(record);
  return true;
}

void ListMetaDataFiles(VolumeApi& api, char letter, Lines& lines) {
  const std::string drive(1, letter);
  for (const char* name : MetaDataFileNames) {
    FindData found;
    const Handle find = api.FindFirst(Format("%s:\\%s", {drive, name}), found);
    if (find == kInvalidHandle) continue;
    HandleCloser closer(api, find, &VolumeApi::FindClose);
    const auto size = static_cast<std::int64_t>((std::uint64_t{found.fileSizeHigh} << 32) | found.fileSizeLow);
    const std::string line = Format("%-11s    %d bytes", {found.fileName, size});
    closer.CloseNow();
    lines.Add(line);
  }
}

}  // namespace morvel
