#include <gtest/gtest.h>

#include "core/report/VolumeQuery.h"
#include "core/runtime/RuntimeError.h"
#include "platform/win32/calls/DriveQuery.h"
#include "tests/platform/win32/FakeVolumeApi.h"

namespace morvel {
namespace {

using testing::FakeVolumeApi;

TEST(DriveQuery, WithoutTheEntryPointOpensNothing) {
  FakeVolumeApi api;
  api.fsControlBound = false;
  NtfsVolumeData data;
  std::string error;
  EXPECT_FALSE(GetNtfsVolumeData(*MakeCallDriveVolume(api, 'C'), data, error));
  EXPECT_EQ(error, "Not running on supported version of Windows NT.");
  EXPECT_TRUE(api.calls.empty());
}

TEST(DriveQuery, OpensTheVolumeDeviceWithTheDocumentedValues) {
  FakeVolumeApi api;
  api.data.NumberSectors = 12345;
  NtfsVolumeData data;
  std::string error = "untouched";
  ASSERT_TRUE(GetNtfsVolumeData(*MakeCallDriveVolume(api, 'd'), data, error));
  EXPECT_EQ(error, "untouched");
  EXPECT_EQ(data.NumberSectors, 12345);
  ASSERT_EQ(api.openedPaths.size(), 1u);
  EXPECT_EQ(api.openedPaths[0], "\\\\.\\d:");  // letter not case-converted
  EXPECT_EQ(api.openRequests[0].desiredAccess, 0x80000000u);
  EXPECT_EQ(api.openRequests[0].shareMode, 3u);
  EXPECT_EQ(api.openRequests[0].creationDisposition, 3u);
  EXPECT_EQ(api.openRequests[0].flagsAndAttributes, 0u);
  EXPECT_EQ(api.controlCodes, std::vector<std::uint32_t>{589924u});
  EXPECT_EQ(api.outputSizes, std::vector<std::size_t>{96u});
  EXPECT_EQ(api.calls, (std::vector<std::string>{"OpenFile", "FsControl", "CloseHandle"}));
}

TEST(DriveQuery, FailedStatusNamesItAndClosesOnce) {
  struct Case {
    std::uint32_t status;
    const char* error;
  };
  const Case cases[] = {
      {0xC0000010u, "Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST"},
      {0xC000000Du, "Error obtaining NTFS information:STATUS_INVALID_PARAMETER"},
      {0xC0000021u, "Error obtaining NTFS information:STATUS_ALREADY_COMMITTED"},
      {0xC0000023u, "Error obtaining NTFS information:STATUS_BUFFER_TOO_SMALL"},
      {0xC0000022u, "Error obtaining NTFS information:-1073741790"},
      {0x00000103u, "Error obtaining NTFS information:     259"},  // informational still fails
      {0x80000005u, "Error obtaining NTFS information:-2147483643"},
  };
  for (const auto& c : cases) {
    FakeVolumeApi api;
    api.status = static_cast<std::int32_t>(c.status);
    NtfsVolumeData data;
    std::string error;
    EXPECT_FALSE(GetNtfsVolumeData(*MakeCallDriveVolume(api, 'C'), data, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(api.closeCount, 1);
    EXPECT_EQ(api.openHandles, 0);
  }
}

TEST(DriveQuery, OpenFailureCarriesTheTrimmedSystemMessage) {
  struct Case {
    const char* message;
    const char* error;
  };
  const Case cases[] = {
      {"The system cannot find the file specified.\r\n",
       "Error opening volume:The system cannot find the file specified"},
      {"Access is denied. \r\n", "Error opening volume:Access is denied"},
      {"two\r\nlines...\r\n", "Error opening volume:two\r\nlines"},
      {"", "Error opening volume:"},
  };
  for (const auto& c : cases) {
    FakeVolumeApi api;
    api.openFails = true;
    api.lastError = 2;
    api.systemMessage = c.message;
    NtfsVolumeData data;
    std::string error;
    EXPECT_FALSE(GetNtfsVolumeData(*MakeCallDriveVolume(api, 'Z'), data, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(api.closeCount, 0);
    EXPECT_EQ(api.messageCodes, std::vector<std::int32_t>{2});
    EXPECT_EQ(api.messageFlags, std::vector<std::uint32_t>{0x3000u});
    EXPECT_EQ(api.messageBufferSizes, std::vector<std::uint32_t>{256u});
  }
}

TEST(DriveQuery, ErrorCodeWithTheTopBitSetRaisesRangeCheck) {
  FakeVolumeApi api;
  api.openFails = true;
  api.lastError = 0x80070005u;
  NtfsVolumeData data;
  std::string error = "before";
  try {
    GetNtfsVolumeData(*MakeCallDriveVolume(api, 'C'), data, error);
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_STREQ(e.what(), "Range check error");
  }
  EXPECT_EQ(error, "before");
  EXPECT_TRUE(api.messageCodes.empty());
}

TEST(DriveListing, ProbesAllNamesInOrderAndListsStoredNames) {
  FakeVolumeApi api;
  api.AddRootEntry("C:\\$mft", "$MFT", 1024);
  api.AddRootEntry("C:\\$badclus", "$BadClus", 0);
  api.AddRootEntry("C:\\$badclust", "$BadClust", 7);
  api.AddRootEntry("C:\\$upcase", "$UpCase", 131072);
  api.AddRootEntry("C:\\$logfile", "$LogFile", 0x123456789ull);  // beyond 4 GiB: the full size
  StringLines lines;
  ListMetaDataFiles(*MakeCallDriveVolume(api, 'C'), lines);
  const std::vector<std::string> probed = {"C:\\$mft",     "C:\\$mftmirr",  "C:\\$logfile", "C:\\$volume",
                                           "C:\\$attrdef", "C:\\$bitmap",   "C:\\$boot",    "C:\\$badclus",
                                           "C:\\$quota",   "C:\\$badclust", "C:\\$upcase"};
  EXPECT_EQ(api.findPaths, probed);
  EXPECT_EQ(lines.lines(), (std::vector<std::string>{
                               "$MFT           1024 bytes",
                               "$LogFile       4886718345 bytes",
                               "$BadClus       0 bytes",
                               "$BadClust      7 bytes",
                               "$UpCase        131072 bytes",
                           }));
  EXPECT_EQ(api.openHandles, 0);
}

TEST(DriveListing, NothingFoundListsNothing) {
  FakeVolumeApi api;
  StringLines lines;
  ListMetaDataFiles(*MakeCallDriveVolume(api, 'D'), lines);
  EXPECT_TRUE(lines.lines().empty());
  EXPECT_EQ(api.findPaths.size(), 11u);
}

}  // namespace
}  // namespace morvel
