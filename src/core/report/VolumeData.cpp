#include "core/report/VolumeData.h"

namespace morvel {
namespace {

std::uint64_t LoadLe(const std::uint8_t* p, int n) {
  std::uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void StoreLe(std::uint8_t* p, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i, v >>= 8) p[i] = static_cast<std::uint8_t>(v & 0xFF);
}

std::int64_t S64(const std::uint8_t* p) { return static_cast<std::int64_t>(LoadLe(p, 8)); }
std::uint32_t U32(const std::uint8_t* p) { return static_cast<std::uint32_t>(LoadLe(p, 4)); }

}  // namespace

NtfsVolumeData DecodeVolumeData(std::span<const std::uint8_t, kVolumeDataSize> b) {
  const std::uint8_t* p = b.data();
  NtfsVolumeData d;
  d.VolumeSerialNumber = S64(p + 0x00);
  d.NumberSectors = S64(p + 0x08);
  d.TotalClusters = S64(p + 0x10);
  d.FreeClusters = S64(p + 0x18);
  d.TotalReserved = S64(p + 0x20);
  d.BytesPerSector = U32(p + 0x28);
  d.BytesPerCluster = U32(p + 0x2C);
  d.BytesPerFileRecordSegment = U32(p + 0x30);
  d.ClustersPerFileRecordSegment = U32(p + 0x34);
  d.MftValidDataLength = S64(p + 0x38);
  d.MftStartLcn = S64(p + 0x40);
  d.Mft2StartLcn = S64(p + 0x48);
  d.MftZoneStart = S64(p + 0x50);
  d.MftZoneEnd = S64(p + 0x58);
  return d;
}

VolumeDataBytes EncodeVolumeData(const NtfsVolumeData& d) {
  VolumeDataBytes b{};
  std::uint8_t* p = b.data();
  auto s64 = [](std::uint8_t* at, std::int64_t v) { StoreLe(at, static_cast<std::uint64_t>(v), 8); };
  s64(p + 0x00, d.VolumeSerialNumber);
  s64(p + 0x08, d.NumberSectors);
  s64(p + 0x10, d.TotalClusters);
  s64(p + 0x18, d.FreeClusters);
  s64(p + 0x20, d.TotalReserved);
  StoreLe(p + 0x28, d.BytesPerSector, 4);
  StoreLe(p + 0x2C, d.BytesPerCluster, 4);
  StoreLe(p + 0x30, d.BytesPerFileRecordSegment, 4);
  StoreLe(p + 0x34, d.ClustersPerFileRecordSegment, 4);
  s64(p + 0x38, d.MftValidDataLength);
  s64(p + 0x40, d.MftStartLcn);
  s64(p + 0x48, d.Mft2StartLcn);
  s64(p + 0x50, d.MftZoneStart);
  s64(p + 0x58, d.MftZoneEnd);
  return b;
}

}  // namespace morvel
