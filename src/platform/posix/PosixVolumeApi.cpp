#include "PosixVolumeApi.h"

namespace morvel {
namespace {

// Without a native file-system control every query reports the unsupported system.
class UnsupportedVolumeApi final : public VolumeApi {
 public:
  bool HasFsControl() const override { return false; }
  Handle OpenFile(const std::string&, const OpenRequest&) override { return kInvalidHandle; }
  std::uint32_t LastError() override { return 0; }
  std::string SystemMessage(std::uint32_t, std::int32_t, std::uint32_t, std::uint32_t) override { return {}; }
  std::int32_t FsControl(Handle, std::uint32_t, std::span<std::uint8_t>) override { return -1; }
  void CloseHandle(Handle) override {}
  Handle FindFirst(const std::string&, FindData&) override { return kInvalidHandle; }
  void FindClose(Handle) override {}
};

}  // namespace

std::unique_ptr<VolumeApi> MakePosixVolumeApi() { return std::make_unique<UnsupportedVolumeApi>(); }

}  // namespace morvel
