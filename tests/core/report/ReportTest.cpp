#include <gtest/gtest.h>

#include <limits>

#include "core/report/VolumeReport.h"
#include "core/runtime/RuntimeError.h"
#include "tests/fakes/FakeVolume.h"

namespace morvel {
namespace {

using testing::FakeVolume;

NtfsVolumeData SampleVolume() {
  NtfsVolumeData d;
  d.NumberSectors = 20971519;
  d.TotalClusters = 2621439;
  d.FreeClusters = 1048576;
  d.BytesPerSector = 512;
  d.BytesPerCluster = 4096;
  d.BytesPerFileRecordSegment = 1024;
  d.ClustersPerFileRecordSegment = 0;
  d.MftValidDataLength = 33554432;
  d.MftStartLcn = 786432;
  d.Mft2StartLcn = 2;
  d.MftZoneStart = 794624;
  d.MftZoneEnd = 1122304;
  return d;
}

const std::vector<std::string> kHeader = {
    "Message from Original ...", "-----------------------------------", "Vantry",
    "NTFS volume layout report", "http://www.example.org/morvel/",      "-----------------------------------",
};

std::vector<std::string> WithHeader(std::vector<std::string> rest) {
  std::vector<std::string> all = kHeader;
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

TEST(Report, SuccessWritesThreeSectionsAndTheListing) {
  FakeVolume api;
  api.query.data = SampleVolume();
  api.AddRootFile("$mft", "$MFT", 33554432);
  StringLines lines;
  EXPECT_TRUE(WriteDriveReport("C DRIVE", api, lines, {}));
  EXPECT_EQ(lines.lines(), WithHeader({
                               "",
                               "NTFS VOLUME DATA OF [C] DRIVE",
                               "",
                               "Volume Size",
                               "-----------",
                               "Volume size            : 10240.00 MB",
                               "Total sectors          : 20971519",
                               "Total clusters         : 2621439",
                               "Free clusters          : 1048576",
                               "Free space             : 4096.00 MB (40.00% of drive)",
                               "",
                               "Allocation Size",
                               "----------------",
                               "Bytes per sector       : 512",
                               "Bytes per cluster      : 4096",
                               "Bytes per MFT record   : 1024",
                               "Clusters per MFT record: 0",
                               "",
                               "MFT Information",
                               "---------------",
                               "MFT size               : 32.00 MB (0.31% of drive)",
                               "MFT start cluster      : 786432",
                               "MFT zone clusters      : 794624 - 1122304",
                               "MFT zone size          : 1280.00 MB (12.50% of drive)",
                               "MFT mirror start       : 2",
                               "",
                               "Meta-Data files",
                               "---------------",
                               "$MFT           33554432 bytes",
                           }));
}

TEST(Report, FailureLeavesTenLines) {
  FakeVolume api;
  api.query.outcome = VolumeQuery::Outcome::Refused;
  api.query.status = static_cast<std::int32_t>(0xC0000010u);
  StringLines lines;
  EXPECT_FALSE(WriteDriveReport("E DRIVE", api, lines, {}));
  EXPECT_EQ(lines.lines(), WithHeader({"", "NTFS VOLUME DATA OF [E] DRIVE", "",
                                       "Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST"}));
  EXPECT_EQ(api.Lookups(), 0u);
}

TEST(Report, FiguresFollowTheLocaleAndRoundHalvesAway) {
  FakeVolume api;
  api.query.data = SampleVolume();
  api.query.data.MftValidDataLength = 33685504;  // exactly 32.125 MB
  api.query.data.MftZoneEnd = api.query.data.MftZoneStart - 327680;
  StringLines lines;
  WriteDriveReport("C", api, lines, NumberSeparators{",", "."});
  const auto& l = lines.lines();
  EXPECT_EQ(l[11], "Volume size            : 10240,00 MB");
  EXPECT_EQ(l[26], "MFT size               : 32,13 MB (0,31% of drive)");
  EXPECT_EQ(l[28], "MFT zone clusters      : 794624 - 466944");
  EXPECT_EQ(l[29], "MFT zone size          : -1280,00 MB (-12,50% of drive)");
}

TEST(Report, PressingTwiceWritesOneReport) {
  FakeVolume api;
  api.query.data = SampleVolume();
  StringLines lines;
  lines.Add("Memo1");
  WriteDriveReport("C DRIVE", api, lines, {});
  WriteDriveReport("C DRIVE", api, lines, {});
  EXPECT_EQ(lines.lines().size(), 34u);
}

struct ErrorCase {
  const char* name;
  void (*mutate)(NtfsVolumeData&);
  const char* message;
  std::size_t linesKept;
};

class ReportErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReportErrors, StopWhereTheErrorArises) {
  FakeVolume api;
  api.query.data = SampleVolume();
  GetParam().mutate(api.query.data);
  StringLines lines;
  try {
    WriteDriveReport("C DRIVE", api, lines, {});
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_STREQ(e.what(), GetParam().message);
  }
  EXPECT_EQ(lines.lines().size(), GetParam().linesKept);
}

constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
constexpr auto kMin = std::numeric_limits<std::int64_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportErrors,
    ::testing::Values(
        ErrorCase{"sectors", [](NtfsVolumeData& d) { d.NumberSectors = kMax / 2; }, "Integer overflow", 11},
        ErrorCase{"free", [](NtfsVolumeData& d) { d.FreeClusters = kMax / 1000; }, "Integer overflow", 15},
        ErrorCase{"noClusters", [](NtfsVolumeData& d) { d.TotalClusters = 0; }, "Floating point division by zero", 15},
        ErrorCase{"nothingFree", [](NtfsVolumeData& d) { d.TotalClusters = 0, d.FreeClusters = 0; },
                  "Invalid floating point operation", 15},
        ErrorCase{"clusterSize", [](NtfsVolumeData& d) { d.BytesPerCluster = 0, d.FreeClusters = 0; },
                  "Floating point division by zero", 26},
        ErrorCase{"mftSize", [](NtfsVolumeData& d) { d.MftValidDataLength = kMax / 10; }, "Integer overflow", 26},
        ErrorCase{"zoneDifference", [](NtfsVolumeData& d) { d.MftZoneStart = kMin, d.MftZoneEnd = 1; },
                  "Integer overflow", 29},
        ErrorCase{"zoneBytes", [](NtfsVolumeData& d) { d.MftZoneStart = 0, d.MftZoneEnd = kMax / 1024; },
                  "Integer overflow", 29}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(Report, EmptyCaptionRaisesAfterTheHeader) {
  FakeVolume api;
  StringLines lines;
  EXPECT_THROW(WriteDriveReport("", api, lines, {}), RuntimeError);
  EXPECT_EQ(lines.lines(), kHeader);
  EXPECT_TRUE(api.calls.empty());
}

TEST(Report, TargetReportNamesTheTarget) {
  FakeVolume api;
  api.query.outcome = VolumeQuery::Outcome::NotSupported;
  StringLines lines;
  EXPECT_FALSE(WriteVolumeReport("/images/vol.img", api, lines, {}));
  EXPECT_EQ(lines.lines()[7], "NTFS VOLUME DATA OF [/images/vol.img] DRIVE");
  EXPECT_EQ(lines.lines()[9], "Not running on supported version of Windows NT.");
}

// An open failure's code must fit a signed 32-bit value, and its message loses its tail.
TEST(Report, OpenFailureTextIsTrimmedAndItsCodeChecked) {
  FakeVolume api;
  api.query.outcome = VolumeQuery::Outcome::OpenFailed;
  api.query.openError = 5;
  api.query.openErrorText = "Access is denied. \r\n";
  StringLines lines;
  EXPECT_FALSE(WriteDriveReport("C", api, lines, {}));
  EXPECT_EQ(lines.lines().back(), "Error opening volume:Access is denied");
  api.query.openError = 0x80000005u;
  EXPECT_THROW(WriteDriveReport("C", api, lines, {}), RuntimeError);
  EXPECT_EQ(lines.lines().size(), 8u);
}

}  // namespace
}  // namespace morvel
