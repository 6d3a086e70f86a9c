// --details of a drive letter from the driver's answers, given by a fake: the facts decoded from
// the system's records, and each answer the system refuses shown as unknown with its reason.
#include <gtest/gtest.h>

#include <map>

#include "app/cli/Details.h"
#include "base/Bytes.h"
#include "platform/win32/Win32DriverDetails.h"
#include "platform/win32/calls/VolumeRecord.h"

namespace morvel {
namespace {

void PutLe(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The answers of a healthy NTFS volume; a test sets the error of any call it wants refused.
struct FakeQueries final : DriverQueries {
  Information information{"Data", "NTFS", 0x80040043};
  std::uint32_t extendedBytes = 32;
  std::map<std::string, std::uint32_t> errors;

  std::uint32_t Error(const char* call) { return errors.count(call) != 0 ? errors[call] : 0; }
  std::uint32_t VolumeInformation(Information& out) override {
    out = information;
    return Error("information");
  }
  std::uint32_t VolumeData(std::vector<std::uint8_t>& out) override {
    NtfsVolumeData data;
    data.VolumeSerialNumber = 0x1234ABCD5678EF90;
    data.NumberSectors = 2048000;
    data.BytesPerSector = 512;
    const VolumeDataBytes record = EncodeVolumeData(data);
    out.assign(record.begin(), record.end());
    out.resize(kVolumeDataSize + 32);
    PutLe(out, 96 + 0x00, extendedBytes, 4);  // ByteCount
    PutLe(out, 96 + 0x04, 3, 2);              // MajorVersion
    PutLe(out, 96 + 0x06, 1, 2);              // MinorVersion
    PutLe(out, 96 + 0x08, 4096, 4);           // BytesPerPhysicalSector
    return Error("data");
  }
  std::uint32_t DirtyFlags(std::uint32_t& out) override {
    out = 0x1;
    return Error("dirty");
  }
  std::uint32_t PartitionInformation(std::vector<std::uint8_t>& out) override {
    out.assign(144, 0);
    PutLe(out, 0x08, 1 << 20, 8);  // StartingOffset
    PutLe(out, 0x18, 2, 4);        // PartitionNumber
    return Error("partition");
  }
  std::uint32_t MftExtents(std::uint64_t& out) override {
    out = 3;
    return Error("mft");
  }
  std::uint32_t HiberfilHead(bool& exists, std::string& head) override {
    exists = true;
    head = "HIBR";
    return Error("hiberfil");
  }
  std::string Message(std::uint32_t error) override {
    return error == 5 ? "Access is denied." : error == 32 ? "The file is in use." : "Error " + std::to_string(error);
  }
};

std::vector<std::string> Lines(FakeQueries& q) {
  cli::DetailsOutcome outcome;
  outcome.error = ReadDriverDetails('E', q, outcome.details).reason();
  return cli::DetailsLines(outcome);
}

TEST(Win32DriverDetails, WhatTheDriverTells) {
  FakeQueries q;
  EXPECT_EQ(Lines(q), (std::vector<std::string>{
                          "Volume details",
                          "--------------",
                          "Label                : Data",
                          "NTFS version         : 3.1",
                          "Volume flags         : 0x0001: dirty (chkdsk scheduled) (the driver tells dirty and "
                          "upgrade on mount only)",
                          "File system flags    : 0x80040043: case-sensitive search, case-preserved names, sparse "
                          "files, named streams, 0x80000000",
                          "Hibernated           : yes (hiberfil.sys header \"HIBR\"; Linux drivers mount it read-only)",
                          "Serial number        : 0x1234abcd5678ef90",
                          "Physical sector size : 4096 (reported by the driver)",
                          "$MFT extents         : 3",
                          "Source               : \\\\.\\E:",
                          "Partition            : 2 (of the disk the volume lies on)",
                          "Byte offset          : 1048576",
                          "Figures              : from the driver",
                          "MFT zone             : as the driver keeps it",
                      }));
}

TEST(Win32DriverDetails, RefusedAnswersAreUnknownWithTheirReason) {
  FakeQueries q;
  q.extendedBytes = 0;
  q.errors = {{"dirty", 5}, {"partition", 1}, {"mft", 5}, {"hiberfil", 32}};
  const auto lines = Lines(q);
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[3], "NTFS version         : unknown (the driver gave no extended volume data)");
  EXPECT_EQ(lines[4], "Volume flags         : unknown (FSCTL_IS_VOLUME_DIRTY failed: Access is denied.)");
  EXPECT_EQ(lines[6], "Hibernated           : unknown (hiberfil.sys could not be read: The file is in use.)");
  EXPECT_EQ(lines[8], "Physical sector size : unknown (logical 512)");
  EXPECT_EQ(lines[9],
            "$MFT extents         : unknown (FSCTL_GET_RETRIEVAL_POINTERS on $MFT failed: Access is denied.)");
  EXPECT_EQ(lines[11], "Partition            : unknown (IOCTL_DISK_GET_PARTITION_INFO_EX failed: Error 1)");
  EXPECT_EQ(lines[12], "Byte offset          : unknown");

  cli::DetailsOutcome outcome;
  outcome.error = ReadDriverDetails('E', q, outcome.details).reason();
  cli::JsonWriter json;
  json.BeginArray();
  cli::WriteDetails(json, "E", outcome);
  json.EndArray();
  for (const char* member :
       {"\"ntfsVersion\": null", "\"volumeFlags\": null", "\"hibernated\": null", "\"mftExtents\": null",
        "\"partition\": null", "\"figuresFrom\": \"driver\"", "\"mftZoneModeled\": false",
        "\"mftExtents\": \"FSCTL_GET_RETRIEVAL_POINTERS on $MFT "
        "failed: Access is denied.\""})
    EXPECT_NE(json.text().find(member), std::string::npos) << member << "\n" << json.text();
}

TEST(Win32DriverDetails, NoFactsWithoutTheVolumeData) {
  const struct {
    const char* error;
    std::uint32_t code;
    const char* fileSystem;
    const char* expected;
  } cases[] = {
      {"data", 50, "NTFS", "the volume-data request (FSCTL_GET_NTFS_VOLUME_DATA) failed: Error 50"},
      {"information", 5, "NTFS", "GetVolumeInformationW failed: Access is denied."},
      {"", 0, "FAT32", "not an NTFS volume (its file system is FAT32)"},
  };
  for (const auto& c : cases) {
    FakeQueries q;
    q.information.fileSystem = c.fileSystem;
    if (c.code != 0) q.errors[c.error] = c.code;
    EXPECT_EQ(Lines(q).back(), std::string("Unavailable          : ") + c.expected);
  }
}

}  // namespace
}  // namespace morvel
