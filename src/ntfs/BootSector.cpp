#include "ntfs/BootSector.h"

#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "ntfs/Reason.h"

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
// smaller than a cluster, a negative n meaning 2^(-n) bytes. The field names the size in the
// reason; `at` is its offset.
Result DecodeBlockSize(base::Bytes s, std::size_t at, const char* what, std::uint32_t clusterSize, std::uint32_t& out) {
  const std::uint8_t raw = base::Le8(s, at);
  const auto value = static_cast<std::int8_t>(raw);
  std::uint64_t size = 0;
  if (value > 0) {
    size = static_cast<std::uint64_t>(value) * clusterSize;
  } else if (value < 0 && -value <= 31) {
    size = std::uint64_t{1} << -value;
  }
  if (!base::IsPowerOfTwo(size) || size < kMinRecordSize || size > kMaxRecordSize)
    return NotNtfs(std::string(what) + " " + Hex(raw) + " gives " + Dec(size) +
                   " bytes, not a power of two from 512 to 65536" + FieldAt(at));
  out = static_cast<std::uint32_t>(size);
  return {};
}

Result DecodeGeometry(base::Bytes s, BootSector& b) {
  b.bytesPerSector = base::Le16(s, 0x0B);  // 0x0B: bytes per sector
  if (!base::IsPowerOfTwo(b.bytesPerSector))
    return NotNtfs("bytes per sector " + Dec(b.bytesPerSector) + " is not a power of two" + FieldAt(0x0B));
  if (b.bytesPerSector < 256 || b.bytesPerSector > 4096)
    return NotNtfs("bytes per sector " + Dec(b.bytesPerSector) + " is outside 256 to 4096" + FieldAt(0x0B));
  const std::uint8_t spc = base::Le8(s, 0x0D);  // 0x0D: sectors per cluster
  if (!DecodeSectorsPerCluster(spc, b.sectorsPerCluster))
    return NotNtfs("sectors per cluster " + Hex(spc) + " is no valid encoding" + FieldAt(0x0D));
  const std::uint64_t cluster = std::uint64_t{b.bytesPerSector} * b.sectorsPerCluster;
  if (cluster > kMaxClusterSize) return NotNtfs("cluster of " + Dec(cluster) + " bytes exceeds 2 MiB" + FieldAt(0x0D));
  b.bytesPerCluster = static_cast<std::uint32_t>(cluster);
  b.clusterShift = static_cast<std::uint32_t>(std::countr_zero(b.bytesPerCluster));
  b.totalSectors = base::Le64(s, 0x28);  // 0x28: sectors in the volume (the backup boot sector follows)
  // Byte counts must stay within signed 64 bits, as the volume data record holds them.
  const auto maxSectors = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / b.bytesPerSector;
  if (b.totalSectors == 0 || b.totalSectors > maxSectors)
    return NotNtfs("sector count " + Dec(b.totalSectors) + " is zero or beyond 2^63 bytes" + FieldAt(0x28));
  b.totalClusters = b.totalSectors / b.sectorsPerCluster;
  if (b.totalClusters == 0)
    return NotNtfs("sector count " + Dec(b.totalSectors) + " is less than one cluster" + FieldAt(0x28));
  return {};
}

}  // namespace

bool HasNtfsSignature(base::Bytes sector) {
  return sector.size() >= 11 && std::memcmp(sector.data() + 3, kOemId, 8) == 0;
}

Result ParseBootSector(base::Bytes s, BootSector& out) {
  if (s.size() < kBootSectorSize || !HasNtfsSignature(s))
    return NotNtfs("boot sector: no NTFS signature (bytes 0x03 to 0x0A)");
  BootSector b;
  if (Result r = DecodeGeometry(s, b); !r.ok()) return std::move(r).In("boot sector");
  // 0x40: clusters per file record, 0x44: clusters per index block
  if (Result r = DecodeBlockSize(s, 0x40, "clusters per file record", b.bytesPerCluster, b.recordSize); !r.ok())
    return std::move(r).In("boot sector");
  if (Result r = DecodeBlockSize(s, 0x44, "clusters per index block", b.bytesPerCluster, b.indexBlockSize); !r.ok())
    return std::move(r).In("boot sector");
  b.mftLcn = base::Le64(s, 0x30);        // 0x30: first cluster of $MFT
  b.mftMirrorLcn = base::Le64(s, 0x38);  // 0x38: first cluster of $MFTMirr
  b.serialNumber = base::Le64(s, 0x48);  // 0x48: volume serial number
  if (b.mftLcn >= b.totalClusters)
    return Corrupt("boot sector: $MFT cluster " + Dec(b.mftLcn) + " lies past the last cluster " +
                   Dec(b.totalClusters - 1) + FieldAt(0x30));
  if (b.mftMirrorLcn >= b.totalClusters)
    return Corrupt("boot sector: $MFTMirr cluster " + Dec(b.mftMirrorLcn) + " lies past the last cluster " +
                   Dec(b.totalClusters - 1) + FieldAt(0x38));
  out = b;
  return {};
}

Result ReadBootSector(ByteSource& source, std::uint64_t offset, BootSector& out) {
  const std::uint64_t size = source.Size();
  if (offset > size || size - offset < kBootSectorSize)
    return NotNtfs("boot sector: the source has fewer than 512 bytes from byte " + Hex(offset));
  std::vector<std::uint8_t> sector(kBootSectorSize);
  if (!source.ReadAt(offset, sector)) return IoError("boot sector: reading 512 bytes" + AtByte(offset) + " failed");
  if (Result r = ParseBootSector(sector, out); !r.ok()) return r;
  // The volume must lie inside its source (parsing bounded totalSectors * bytesPerSector).
  const std::uint64_t bytes = out.totalSectors * out.bytesPerSector;
  if (bytes > size - offset)
    return Corrupt("boot sector: " + Dec(out.totalSectors) + " sectors (" + Dec(bytes) + " bytes) exceed the " +
                   Dec(size - offset) + " bytes of the source (byte 0x28)");
  return {};
}

}  // namespace ntfs
