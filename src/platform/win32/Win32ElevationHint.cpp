#include "platform/win32/Win32ElevationHint.h"

#include <windows.h>

#include <utility>

namespace morvel {
namespace {

class ElevationHint final : public VolumeApi {
 public:
  ElevationHint(std::unique_ptr<VolumeApi> api, std::ostream& hints) : api_(std::move(api)), hints_(hints) {}

  bool HasFsControl() const override { return api_->HasFsControl(); }
  Handle OpenFile(const std::string& path, const OpenRequest& request) override {
    const Handle handle = api_->OpenFile(path, request);
    if (handle == kInvalidHandle && api_->LastError() == ERROR_ACCESS_DENIED) hints_ << kElevationHint << '\n';
    return handle;
  }
  std::uint32_t LastError() override { return api_->LastError(); }
  std::string SystemMessage(std::uint32_t flags, std::int32_t code, std::uint32_t languageId,
                            std::uint32_t bufferSize) override {
    return api_->SystemMessage(flags, code, languageId, bufferSize);
  }
  std::int32_t FsControl(Handle volume, std::uint32_t controlCode, std::span<std::uint8_t> output) override {
    return api_->FsControl(volume, controlCode, output);
  }
  void CloseHandle(Handle handle) override { api_->CloseHandle(handle); }
  Handle FindFirst(const std::string& path, FindData& data) override { return api_->FindFirst(path, data); }
  void FindClose(Handle handle) override { api_->FindClose(handle); }

 private:
  std::unique_ptr<VolumeApi> api_;
  std::ostream& hints_;
};

}  // namespace

std::unique_ptr<VolumeApi> WithElevationHint(std::unique_ptr<VolumeApi> api, std::ostream& hints) {
  return std::make_unique<ElevationHint>(std::move(api), hints);
}

}  // namespace morvel
