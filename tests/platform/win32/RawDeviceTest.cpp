#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/calls/RawDevice.h"

namespace morvel {
namespace {

// A device of `bytes` that refuses what a volume handle refuses: a read that does not start and
// end on a sector. Records every call.
class FakeRawDevice final : public RawDeviceApi {
 public:
  std::vector<std::uint8_t> bytes;
  std::uint32_t openError = 0, lengthError = 0;
  std::vector<std::string> calls;

  Handle Open(const std::string& path) override {
    calls.push_back("Open " + path);
    error_ = openError;
    return openError != 0 ? kInvalidHandle : 7;
  }
  std::uint32_t LastError() override { return error_; }
  bool Length(Handle, std::uint64_t& size) override {
    calls.push_back("Length");
    error_ = lengthError;
    size = bytes.size();
    return lengthError == 0;
  }
  bool Read(Handle device, std::uint64_t offset, std::span<std::uint8_t> out, std::uint32_t& read) override {
    calls.push_back("Read " + std::to_string(offset) + "+" + std::to_string(out.size()));
    if (device != 7 || offset % 512 != 0 || out.size() % 512 != 0 || offset > bytes.size()) return false;
    read = static_cast<std::uint32_t>(std::min<std::uint64_t>(out.size(), bytes.size() - offset));
    std::memcpy(out.data(), bytes.data() + offset, read);
    return true;
  }
  std::string Message(std::uint32_t code) override { return code == 5 ? "Access is denied" : ""; }
  void Close(Handle device) override { calls.push_back("Close " + std::to_string(device)); }

 private:
  std::uint32_t error_ = 0;
};

TEST(RawDevice, ReadsAnyRangeInWholeSectorsAndClosesOnce) {
  auto device = std::make_shared<FakeRawDevice>();
  for (std::size_t i = 0; i < 3 * 4096 + 100; ++i) device->bytes.push_back(static_cast<std::uint8_t>(i * 7 + i / 251));
  std::unique_ptr<base::ByteSource> source;
  ASSERT_TRUE(OpenRawDevice(device, "\\\\.\\C:", source).ok());
  EXPECT_EQ(source->Size(), device->bytes.size());
  struct Case {
    std::uint64_t offset;
    std::size_t length;
    const char* read;  // the device's read
  };
  const Case cases[] = {
      {0, 512, "Read 0+4096"},
      {4000, 5000, "Read 0+12288"},
      {3 * 4096 + 90, 10, "Read 12288+4096"},  // the short last sector still serves its bytes
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> out(c.length);
    ASSERT_TRUE(source->ReadAt(c.offset, out)) << c.offset;
    EXPECT_TRUE(std::equal(out.begin(), out.end(), device->bytes.begin() + static_cast<std::ptrdiff_t>(c.offset)));
    EXPECT_EQ(device->calls.back(), c.read);
  }
  std::vector<std::uint8_t> past(11);
  EXPECT_FALSE(source->ReadAt(3 * 4096 + 90, past));
  source.reset();
  EXPECT_EQ(device->calls.front(), "Open \\\\.\\C:");
  EXPECT_EQ(device->calls[1], "Length");
  EXPECT_EQ(device->calls.back(), "Close 7");
  EXPECT_EQ(std::count(device->calls.begin(), device->calls.end(), "Close 7"), 1);
}

TEST(RawDevice, AFailureSaysWhyWithTheSystemsCodeAndLeavesNothingOpen) {
  auto denied = std::make_shared<FakeRawDevice>();
  denied->openError = 5;
  std::unique_ptr<base::ByteSource> source;
  const base::Result refused = OpenRawDevice(denied, "\\\\.\\C:", source);
  EXPECT_EQ(refused.code(), 5);
  EXPECT_EQ(refused.reason(), "Access is denied");
  EXPECT_EQ(source, nullptr);
  EXPECT_EQ(denied->calls, std::vector<std::string>{"Open \\\\.\\C:"});

  auto unsized = std::make_shared<FakeRawDevice>();
  unsized->lengthError = 1;
  const base::Result failed = OpenRawDevice(unsized, "\\\\.\\D:", source);
  EXPECT_EQ(failed.code(), 1);
  EXPECT_EQ(failed.reason(), "DeviceIoControl failed with error 1");
  EXPECT_EQ(source, nullptr);
  EXPECT_EQ(unsized->calls, (std::vector<std::string>{"Open \\\\.\\D:", "Length", "Close 7"}));
}

}  // namespace
}  // namespace morvel
