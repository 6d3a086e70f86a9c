#pragma once
// The figures of an NTFS volume the report shows, named as the file system's volume-data
// record names them.
#include <cstdint>

namespace morvel {

struct NtfsVolumeData {
  std::int64_t VolumeSerialNumber = 0;            // 0x00
  std::int64_t NumberSectors = 0;                 // 0x08
  std::int64_t TotalClusters = 0;                 // 0x10
  std::int64_t FreeClusters = 0;                  // 0x18
  std::int64_t TotalReserved = 0;                 // 0x20
  std::uint32_t BytesPerSector = 0;               // 0x28
  std::uint32_t BytesPerCluster = 0;              // 0x2C
  std::uint32_t BytesPerFileRecordSegment = 0;    // 0x30
  std::uint32_t ClustersPerFileRecordSegment = 0; // 0x34
  std::int64_t MftValidDataLength = 0;            // 0x38
  std::int64_t MftStartLcn = 0;                   // 0x40
  std::int64_t Mft2StartLcn = 0;                  // 0x48
  std::int64_t MftZoneStart = 0;                  // 0x50
  std::int64_t MftZoneEnd = 0;                    // 0x58

  bool operator==(const NtfsVolumeData&) const = default;
};

}  // namespace morvel
