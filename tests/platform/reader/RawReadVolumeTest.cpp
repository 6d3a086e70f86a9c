#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/report/VolumeQuery.h"
#include "platform/reader/RawReadVolume.h"
#include "tests/fakes/FakeVolume.h"
#include "tests/platform/reader/MemorySource.h"

namespace morvel {
namespace {

constexpr int kDenied = 5;

struct RawDrive {
  testing::FakeVolume driver;
  std::vector<std::string> opened;  // the raw names opened, in order
  base::Result refusal;             // what the raw open gives; ok: the sample image

  std::unique_ptr<RawReadVolume> Open() {
    driver.query.data.TotalClusters = 1234;  // the driver's figure, not the image's
    return std::make_unique<RawReadVolume>(
        driver.OpenDrive('C'), [](VolumeDetails&) { return base::Result(); }, "\\\\.\\C:",
        [this](const std::string& name, std::unique_ptr<base::ByteSource>& out) {
          opened.push_back(name);
          if (!refusal.ok()) return refusal;
          std::ifstream file(MORVEL_SAMPLE_IMAGE, std::ios::binary);
          out = std::make_unique<testing::MemorySource>(
              std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {}));
          return base::Result();
        },
        RawReadVolume::Refusal{kDenied, "run it as administrator"});
  }
};

TEST(RawReadVolume, TheDriverAnswersTheReportAndTheRawBytesTheMapAndTheScan) {
  RawDrive drive;
  const auto volume = drive.Open();
  ASSERT_TRUE(volume->RequestClusterMap(64));
  ASSERT_TRUE(volume->RequestScan({true, false}));
  const VolumeQuery query = QueryNtfsVolumeData(*volume);
  ASSERT_TRUE(query.ok());
  EXPECT_EQ(query.data.TotalClusters, 1234);
  std::string reason;
  const auto map = volume->TakeClusterMap(reason);
  ASSERT_TRUE(map) << reason;
  EXPECT_NE(map->TotalClusters(), 1234u);
  EXPECT_EQ(map->CellCount(), 64u);
  EXPECT_FALSE(map->CellOwners(0).empty());  // the scan's files own the map's cells
  const auto scan = volume->TakeScan(reason);
  ASSERT_TRUE(scan && scan->analysis) << reason;
  EXPECT_GT(scan->analysis->directories, 0u);
  EXPECT_EQ(drive.opened, std::vector<std::string>{"\\\\.\\C:"});
}

TEST(RawReadVolume, NoMapNoRawOpenAndARefusalSaysHowToGetPast) {
  RawDrive plain;
  ASSERT_TRUE(QueryNtfsVolumeData(*plain.Open()).ok());
  EXPECT_TRUE(plain.opened.empty());

  RawDrive denied;
  denied.refusal = base::Result(base::Status::System, "Access is denied", kDenied);
  const auto volume = denied.Open();
  EXPECT_FALSE(volume->RequestClusterMap(64));
  EXPECT_TRUE(QueryNtfsVolumeData(*volume).ok());
  std::string reason;
  EXPECT_FALSE(volume->TakeClusterMap(reason));
  EXPECT_EQ(reason, "\\\\.\\C: could not be opened for reading: Access is denied; run it as administrator");
  EXPECT_FALSE(volume->RequestScan({true, false}));
  EXPECT_FALSE(volume->TakeScan(reason));
  EXPECT_EQ(reason, "\\\\.\\C: could not be opened for reading: Access is denied; run it as administrator");

  RawDrive missing;
  missing.refusal = base::Result(base::Status::System, "The device is not ready", 21);
  const auto other = missing.Open();
  EXPECT_FALSE(other->RequestClusterMap(64));
  EXPECT_FALSE(other->TakeClusterMap(reason));
  EXPECT_EQ(reason, "\\\\.\\C: could not be opened for reading: The device is not ready");
}

}  // namespace
}  // namespace morvel
