#include "platform/win32/calls/RawDevice.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace morvel {
namespace {

base::Result Failed(RawDeviceApi& api, const char* call, std::uint32_t code) {
  std::string words = api.Message(code);
  if (words.empty()) words = std::string(call) + " failed with error " + std::to_string(code);
  return {base::Status::System, words, static_cast<int>(code)};
}

class RawDeviceSource final : public base::ByteSource {
 public:
  RawDeviceSource(std::shared_ptr<RawDeviceApi> api, Handle device, std::uint64_t size)
      : api_(std::move(api)), device_(device), size_(size) {}
  ~RawDeviceSource() override { api_->Close(device_); }
  RawDeviceSource(const RawDeviceSource&) = delete;
  RawDeviceSource& operator=(const RawDeviceSource&) = delete;

  std::uint64_t Size() const override { return size_; }

  // The sectors around the bytes asked for, through a buffer of whole sectors.
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return false;
    std::size_t done = 0;
    while (done < out.size()) {
      const std::uint64_t at = offset + done;
      const std::uint64_t first = at / kRawSectorAlignment * kRawSectorAlignment;
      const std::uint64_t skip = at - first;
      const std::uint64_t want = std::min<std::uint64_t>(kBounce, skip + (out.size() - done));
      const std::uint64_t span = (want + kRawSectorAlignment - 1) / kRawSectorAlignment * kRawSectorAlignment;
      if (!sectors_) sectors_ = base::AllocatePages(kBounce);
      std::uint32_t read = 0;
      if (!api_->Read(device_, first, std::span(sectors_.get(), static_cast<std::size_t>(span)), read)) return false;
      // A short read past the bytes asked for still serves them; one that stops before is a failure.
      if (read <= skip || read > span) return false;
      const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(read - skip, out.size() - done));
      std::memcpy(out.data() + done, sectors_.get() + skip, take);
      done += take;
    }
    return true;
  }

 private:
  static constexpr std::uint64_t kBounce = std::uint64_t{1} << 20;
  std::shared_ptr<RawDeviceApi> api_;
  Handle device_;
  std::uint64_t size_;
  base::PageBuffer sectors_;
};

}  // namespace

base::Result OpenRawDevice(std::shared_ptr<RawDeviceApi> api, const std::string& path,
                           std::unique_ptr<base::ByteSource>& out) {
  out.reset();
  const Handle device = api->Open(path);
  if (device == kInvalidHandle) return Failed(*api, "CreateFileA", api->LastError());
  std::uint64_t size = 0;
  if (!api->Length(device, size)) {
    const std::uint32_t code = api->LastError();
    api->Close(device);
    return Failed(*api, "DeviceIoControl", code);
  }
  out = std::make_unique<RawDeviceSource>(std::move(api), device, size);
  return {};
}

}  // namespace morvel
