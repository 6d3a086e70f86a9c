#include <gtest/gtest.h>

#include <cerrno>

#include "platform/reader/SourceVolumeApi.h"
#include "tests/platform/reader/MemorySource.h"

namespace morvel {
namespace {

using testing::MemorySource;
using testing::NtfsBootSectorBytes;
using testing::ScriptedNtfs;

constexpr OpenRequest kRead{kGenericRead, kFileShareReadWrite, kOpenExisting, 0};

// Drive C holds an NTFS boot sector, drive U cannot be read, every other letter is absent.
class TestVolumeApi final : public SourceVolumeApi {
 public:
  TestVolumeApi() : SourceVolumeApi({}, &ScriptedNtfs::Open) {}
  int drivesOpened = 0;

 protected:
  std::unique_ptr<base::ByteSource> OpenDrive(char letter, int& error) override {
    ++drivesOpened;
    if (letter == 'C' || letter == 'c') return std::make_unique<MemorySource>(NtfsBootSectorBytes());
    if (letter == 'U') return std::make_unique<MemorySource>(NtfsBootSectorBytes(), true);
    error = ENOENT;
    return nullptr;
  }
};

class SourceVolumeApiTest : public ::testing::Test {
 protected:
  void SetUp() override { ScriptedNtfs::Reset(); }
  TestVolumeApi api;
};

TEST_F(SourceVolumeApiTest, ReaderResultsBecomeTheStatusesWindowsUsesWithTheirReasons) {
  struct Case {
    ntfs::Status open, query;
    std::uint32_t status;
    const char* reason;
  };
  const Case cases[] = {
      {ntfs::Status::Ok, ntfs::Status::Ok, 0, ""},
      {ntfs::Status::NotNtfs, ntfs::Status::Ok, 0xC0000010u, "boot sector torn"},
      {ntfs::Status::Corrupt, ntfs::Status::Ok, 0xC0000102u, "boot sector torn"},
      {ntfs::Status::IoError, ntfs::Status::Ok, 0xC0000185u, "boot sector torn"},
      {ntfs::Status::Ok, ntfs::Status::Corrupt, 0xC0000102u, "query refused"},
      {ntfs::Status::Ok, ntfs::Status::IoError, 0xC0000185u, "query refused"},
      {ntfs::Status::Ok, ntfs::Status::Ok, 0, ""},  // the reason of the case before is gone
  };
  for (const auto& c : cases) {
    ScriptedNtfs::openStatus = c.open;
    ScriptedNtfs::queryStatus = c.query;
    const Handle volume = api.OpenFile("\\\\.\\C:", kRead);
    ASSERT_NE(volume, kInvalidHandle);
    VolumeDataBytes record{};
    EXPECT_EQ(static_cast<std::uint32_t>(api.FsControl(volume, kFsctlGetNtfsVolumeData, record)), c.status);
    EXPECT_EQ(api.LastReason(), c.reason);
    api.CloseHandle(volume);
  }
  EXPECT_EQ(api.OpenHandleCount(), 0u);
}

TEST_F(SourceVolumeApiTest, TheRecordIsWrittenInTheNativeLayout) {
  ScriptedNtfs::data.NumberSectors = 0x0102030405060708;
  ScriptedNtfs::data.BytesPerSector = 512;
  ScriptedNtfs::data.MftZoneEnd = -2;
  const Handle volume = api.OpenFile("\\\\.\\C:", kRead);
  std::vector<std::uint8_t> output(128, 0xEE);
  ASSERT_EQ(api.FsControl(volume, kFsctlGetNtfsVolumeData, output), 0);
  // 0x08: NumberSectors, little-endian
  EXPECT_EQ(std::vector<std::uint8_t>(output.begin() + 8, output.begin() + 16),
            (std::vector<std::uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
  // 0x28: BytesPerSector
  EXPECT_EQ(output[0x28] | output[0x29] << 8, 512);
  // 0x58: MftZoneEnd, two's complement
  EXPECT_EQ(output[0x58], 0xFE);
  EXPECT_EQ(output[0x5F], 0xFF);
  // Past the 96 bytes the caller's buffer is left alone.
  EXPECT_EQ(output[96], 0xEE);
  api.CloseHandle(volume);
}

TEST_F(SourceVolumeApiTest, RequestsTheVolumeCannotAnswer) {
  const Handle volume = api.OpenFile("\\\\.\\C:", kRead);
  VolumeDataBytes record{};
  std::array<std::uint8_t, 95> small{};
  EXPECT_EQ(static_cast<std::uint32_t>(api.FsControl(volume, 0x00090068u, record)), 0xC000000Du);
  EXPECT_EQ(static_cast<std::uint32_t>(api.FsControl(volume, kFsctlGetNtfsVolumeData, small)), 0xC0000023u);
  EXPECT_EQ(ScriptedNtfs::opens, 0);  // refused before the volume is read
  api.CloseHandle(volume);
  EXPECT_EQ(static_cast<std::uint32_t>(api.FsControl(volume, kFsctlGetNtfsVolumeData, record)), 0xC0000008u);
  EXPECT_EQ(static_cast<std::uint32_t>(api.FsControl(0, kFsctlGetNtfsVolumeData, record)), 0xC0000008u);
  EXPECT_EQ(static_cast<std::uint32_t>(api.FsControl(kInvalidHandle, kFsctlGetNtfsVolumeData, record)), 0xC0000008u);
}

TEST_F(SourceVolumeApiTest, OpenFileAcceptsOnlyAVolumeDeviceForReading) {
  struct Case {
    const char* path;
    OpenRequest request;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"\\\\.\\C:", kRead, 0},
      {"\\\\.\\c:", kRead, 0},
      {"\\\\.\\Q:", kRead, ENOENT},
      {"\\\\.\\U:", kRead, EIO},  // the boot sector cannot be read
      {"\\\\.\\C", kRead, ENOENT},
      {"C:", kRead, ENOENT},
      {"\\\\.\\1:", kRead, ENOENT},
      {"\\\\.\\C:\\", kRead, ENOENT},
      {"\\\\.\\C:", {kGenericRead | 0x40000000u, 3, kOpenExisting, 0}, EROFS},
      {"\\\\.\\C:", {kGenericRead, 3, 1, 0}, EINVAL},
  };
  for (const auto& c : cases) {
    const Handle h = api.OpenFile(c.path, c.request);
    EXPECT_EQ(h == kInvalidHandle, c.error != 0) << c.path;
    EXPECT_EQ(api.LastError(), c.error) << c.path;
    api.CloseHandle(h);
  }
  EXPECT_EQ(api.OpenHandleCount(), 0u);
}

TEST_F(SourceVolumeApiTest, HandlesAreDistinctReusedAndClosedOnce) {
  const Handle a = api.OpenFile("\\\\.\\C:", kRead);
  const Handle b = api.OpenFile("\\\\.\\C:", kRead);
  EXPECT_NE(a, b);
  EXPECT_EQ(api.OpenHandleCount(), 2u);
  api.FindClose(a);  // a volume handle is no find handle
  EXPECT_EQ(api.OpenHandleCount(), 2u);
  api.CloseHandle(a);
  api.CloseHandle(a);
  api.CloseHandle(kInvalidHandle);
  api.CloseHandle(0);
  api.CloseHandle(1000000);
  EXPECT_EQ(api.OpenHandleCount(), 1u);
  const Handle c = api.OpenFile("\\\\.\\C:", kRead);
  EXPECT_EQ(c, a);  // the freed slot
  api.CloseHandle(b);
  api.CloseHandle(c);
  EXPECT_EQ(api.OpenHandleCount(), 0u);
}

TEST_F(SourceVolumeApiTest, FindFirstReturnsTheStoredNameAndBothSizeHalves) {
  ScriptedNtfs::entries["$mft"] = {"$MFT", 0x123456789ull};
  FindData data;
  const Handle find = api.FindFirst("C:\\$mft", data);
  ASSERT_NE(find, kInvalidHandle);
  EXPECT_EQ(data.fileName, "$MFT");
  EXPECT_EQ(data.fileSizeHigh, 0x1u);
  EXPECT_EQ(data.fileSizeLow, 0x23456789u);
  EXPECT_EQ(api.OpenHandleCount(), 1u);
  api.CloseHandle(find);  // a find handle is no volume handle
  EXPECT_EQ(api.OpenHandleCount(), 1u);
  api.FindClose(find);
  EXPECT_EQ(api.OpenHandleCount(), 0u);
}

TEST_F(SourceVolumeApiTest, FindFirstFindsNothingOrSaysWhyItCouldNotLook) {
  ScriptedNtfs::entries["$mft"] = {"$MFT", 1024};
  const struct {
    const char* path;
    const char* reason;  // empty: merely nothing found
  } cases[] = {
      {"C:\\$bitmap", ""},
      {"C:\\", ""},
      {"C:\\a\\$mft", ""},
      {"C:\\$m*", ""},
      {"C:\\$mf?", ""},
      {"C:$mft", ""},
      {"1:\\$mft", ""},
      {"Q:\\$mft", "opening the drive: No such file or directory"},
      {"U:\\$mft", "opening the drive: Input/output error"},
      {"C:\\$bitmap", ""},
  };
  for (const auto& c : cases) {
    FindData data;
    EXPECT_EQ(api.FindFirst(c.path, data), kInvalidHandle) << c.path;
    EXPECT_EQ(api.LastReason(), c.reason) << c.path;
  }
  // A volume the reader refuses, or a directory it cannot read, is no empty directory.
  const struct {
    ntfs::Status open, find;
    const char* reason;
  } failures[] = {
      {ntfs::Status::Corrupt, ntfs::Status::Ok, "boot sector torn"},
      {ntfs::Status::Ok, ntfs::Status::Corrupt, "index torn"},
      {ntfs::Status::Ok, ntfs::Status::IoError, "index torn"},
  };
  for (const auto& f : failures) {
    api.CloseHandle(api.OpenFile("\\\\.\\C:", kRead));  // a fresh volume
    ScriptedNtfs::openStatus = f.open;
    ScriptedNtfs::findStatus = f.find;
    FindData data;
    EXPECT_EQ(api.FindFirst("C:\\$mft", data), kInvalidHandle);
    EXPECT_EQ(api.LastReason(), f.reason);
  }
  EXPECT_EQ(api.OpenHandleCount(), 0u);
}

TEST_F(SourceVolumeApiTest, AReportOpensAndParsesTheVolumeOnce) {
  ScriptedNtfs::entries["$mft"] = {"$MFT", 1024};
  const Handle volume = api.OpenFile("\\\\.\\c:", kRead);
  VolumeDataBytes record{};
  ASSERT_EQ(api.FsControl(volume, kFsctlGetNtfsVolumeData, record), 0);
  api.CloseHandle(volume);
  FindData data;
  for (const char* path : {"C:\\$mft", "C:\\$bitmap", "c:\\$MFT"}) api.FindClose(api.FindFirst(path, data));
  EXPECT_EQ(data.fileName, "$MFT");
  EXPECT_EQ(ScriptedNtfs::opens, 1);
  EXPECT_EQ(api.drivesOpened, 1);
  EXPECT_EQ(api.OpenHandleCount(), 0u);
}

TEST_F(SourceVolumeApiTest, SystemMessagesAreTheCLibrarysTexts) {
  EXPECT_EQ(api.SystemMessage(kFormatMessageFromSystemArgArray, ENOENT, 0, 256), "No such file or directory");
  EXPECT_EQ(api.SystemMessage(kFormatMessageFromSystemArgArray, EACCES, 0, 256), "Permission denied");
  // Like FormatMessageA, a text that does not fit the buffer with its terminator fails.
  EXPECT_EQ(api.SystemMessage(kFormatMessageFromSystemArgArray, EACCES, 0, 17), "");
  EXPECT_EQ(api.SystemMessage(kFormatMessageFromSystemArgArray, EACCES, 0, 18), "Permission denied");
  EXPECT_EQ(api.SystemMessage(0, EACCES, 0, 256), "");
}

}  // namespace
}  // namespace morvel
