#include "ntfs/BootSector.h"

#include <bit>
#include <cstring>
#include <limits>

namespace ntfs {
namespace {

constexpr char kOemId[] = "NTFS    ";

// Sectors per cluster: a power of two up to 128, or, for clusters of 64 KiB and more on
// newer volumes, a byte above 0x80 that encodes 2^(256 - value) sectors.
bool DecodeSectorsPerCluster(std::uint8_t value, std::uint32_t& out) {
  if (value == 0) return false;
  if (value <= 0x80) {
    if (!base::IsPowerOfTwo(value)) return false;
    out = value;
    return true;
  }
  const unsigned shift = 256u - value;
  if (shift > 20) return false;  // more than any 2 MiB cluster needs
  out = 1u << shift;
  return true;
}

// Clusters per file record or index block: a positive count of clusters, or, when a record is
// smaller than a cluster, a negative n meaning 2^(-n) bytes.
bool DecodeBlockSize(std::uint8_t raw, std::uint32_t clusterSize, std::uint32_t& out) {
  const auto value = static_cast<std::int8_t>(raw);
  std::uint64_t size = 0;
  if (value > 0) {
    size = static_cast<std::uint64_t>(value) * clusterSize;
  } else if (value < 0) {
    const int shift = -value;
    if (shift > 31) return false;
    size = std::uint64_t{1} << shift;
  }
  if (!base::IsPowerOfTwo(size) || size < kMinRecordSize || size > kMaxRecordSize) return false;
  out = static_cast<std::uint32_t>(size);
  return true;
}

}  // namespace

bool HasNtfsSignature(base::Bytes sector) { return sector.size() >= 11 && std::memcmp(sector.data() + 3, kOemId, 8) == 0; }

Status ParseBootSector(base::Bytes s, BootSector& out) {
  if (s.size() < kBootSectorSize || !HasNtfsSignature(s)) return Status::NotNtfs;
  BootSector b;
  b.bytesPerSector = base::Le16(s, 0x0B);  // 0x0B: bytes per sector
  if (!base::IsPowerOfTwo(b.bytesPerSector) || b.bytesPerSector < 256 || b.bytesPerSector > 4096) return Status::NotNtfs;
  if (!DecodeSectorsPerCluster(base::Le8(s, 0x0D), b.sectorsPerCluster)) return Status::NotNtfs;  // 0x0D: sectors per cluster
  const std::uint64_t cluster = std::uint64_t{b.bytesPerSector} * b.sectorsPerCluster;
  if (cluster > kMaxClusterSize) return Status::NotNtfs;
  b.bytesPerCluster = static_cast<std::uint32_t>(cluster);
  b.clusterShift = static_cast<std::uint32_t>(std::countr_zero(b.bytesPerCluster));
  b.totalSectors = base::Le64(s, 0x28);  // 0x28: sectors in the volume (the backup boot sector follows)
  // Byte counts must stay within signed 64 bits, as the volume data record holds them.
  const auto maxSectors = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / b.bytesPerSector;
  if (b.totalSectors == 0 || b.totalSectors > maxSectors) return Status::NotNtfs;
  b.totalClusters = b.totalSectors / b.sectorsPerCluster;
  if (b.totalClusters == 0) return Status::NotNtfs;
  if (!DecodeBlockSize(base::Le8(s, 0x40), b.bytesPerCluster, b.recordSize))
    return Status::NotNtfs;  // 0x40: clusters per file record
  if (!DecodeBlockSize(base::Le8(s, 0x44), b.bytesPerCluster, b.indexBlockSize))
    return Status::NotNtfs;        // 0x44: clusters per index block
  b.mftLcn = base::Le64(s, 0x30);        // 0x30: first cluster of $MFT
  b.mftMirrorLcn = base::Le64(s, 0x38);  // 0x38: first cluster of $MFTMirr
  b.serialNumber = base::Le64(s, 0x48);  // 0x48: volume serial number
  if (b.mftLcn >= b.totalClusters || b.mftMirrorLcn >= b.totalClusters) return Status::Corrupt;
  out = b;
  return Status::Ok;
}

}  // namespace ntfs
