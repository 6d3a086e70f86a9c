#pragma once
// The NTFS boot sector: the volume's geometry and where its master file table lies.
#include <cstdint>

#include "base/Bytes.h"
#include "ntfs/Ntfs.h"

namespace ntfs {

inline constexpr std::size_t kBootSectorSize = 512;
inline constexpr std::uint32_t kMaxClusterSize = 2u << 20;
inline constexpr std::uint32_t kMinRecordSize = 512;  // one update-sequence stride
inline constexpr std::uint32_t kMaxRecordSize = 64u << 10;

struct BootSector {
  std::uint32_t bytesPerSector = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t bytesPerCluster = 0;
  std::uint32_t clusterShift = 0;  // log2(bytesPerCluster)
  std::uint64_t totalSectors = 0;
  std::uint64_t totalClusters = 0;
  std::uint64_t mftLcn = 0;
  std::uint64_t mftMirrorLcn = 0;
  std::uint32_t recordSize = 0;
  std::uint32_t indexBlockSize = 0;
  std::uint64_t serialNumber = 0;
};

// Decodes and validates the first 512 bytes of a volume. NotNtfs when a field cannot belong
// to an NTFS boot sector, Corrupt when the fields contradict each other.
Result ParseBootSector(base::Bytes sector, BootSector& out);

// Reads and parses the boot sector of the volume at `offset` in `source`, and checks that the
// volume lies inside its source.
Result ReadBootSector(ByteSource& source, std::uint64_t offset, BootSector& out);

// Whether the sector carries the NTFS signature (the partition listing's quick test).
bool HasNtfsSignature(base::Bytes sector);

}  // namespace ntfs
