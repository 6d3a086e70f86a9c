#include "platform/win32/calls/DriveQuery.h"

#include <limits>

#include "platform/win32/calls/VolumeRecord.h"

namespace morvel {
namespace {

// Closes a handle when the scope ends, also when an error passes through.
class HandleCloser {
 public:
  using CloseFn = void (VolumeApi::*)(Handle);
  HandleCloser(VolumeApi& api, Handle handle, CloseFn close) : api_(api), handle_(handle), close_(close) {}
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;
  ~HandleCloser() {
    if (handle_ != kInvalidHandle) (api_.*close_)(handle_);
  }

 private:
  VolumeApi& api_;
  Handle handle_;
  CloseFn close_;
};

class CallDriveVolume final : public VolumeAccess {
 public:
  CallDriveVolume(VolumeApi& api, char letter) : api_(api), drive_(1, letter) {}

  VolumeQuery QueryVolumeData() override {
    VolumeQuery query;
    if (!api_.HasFsControl()) {
      query.outcome = VolumeQuery::Outcome::NotSupported;
      return query;
    }
    const Handle volume =
        api_.OpenFile("\\\\.\\" + drive_ + ":", {kGenericRead, kFileShareReadWrite, kOpenExisting, 0});
    if (volume == kInvalidHandle) {
      query.outcome = VolumeQuery::Outcome::OpenFailed;
      query.openError = api_.LastError();
      // A code with the top bit set is refused by the report before any message is looked up.
      if (query.openError <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        query.openErrorText = api_.SystemMessage(
            kFormatMessageFromSystemArgArray, static_cast<std::int32_t>(query.openError), 0, kFormatMessageBufferSize);
      return query;
    }
    HandleCloser closer(api_, volume, &VolumeApi::CloseHandle);
    VolumeDataBytes record{};
    query.status = api_.FsControl(volume, kFsctlGetNtfsVolumeData, record);
    if (query.status != 0) {
      query.outcome = VolumeQuery::Outcome::Refused;
      return query;
    }
    query.data = DecodeVolumeData(record);
    return query;
  }

  MetaDataLookup FindMetaDataFile(const std::string& name) override {
    MetaDataLookup lookup;
    FindData found;
    const Handle find = api_.FindFirst(drive_ + ":\\" + name, found);
    if (find == kInvalidHandle) return lookup;
    HandleCloser closer(api_, find, &VolumeApi::FindClose);
    lookup.outcome = MetaDataLookup::Outcome::Found;
    lookup.file.name = found.fileName;
    lookup.file.size = static_cast<std::int64_t>((std::uint64_t{found.fileSizeHigh} << 32) | found.fileSizeLow);
    return lookup;
  }

 private:
  VolumeApi& api_;
  std::string drive_;
};

}  // namespace

std::unique_ptr<VolumeAccess> MakeCallDriveVolume(VolumeApi& api, char letter) {
  return std::make_unique<CallDriveVolume>(api, letter);
}

}  // namespace morvel
