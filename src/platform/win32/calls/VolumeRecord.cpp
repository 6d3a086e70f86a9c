#include "platform/win32/calls/VolumeRecord.h"

#include "base/Bytes.h"

namespace morvel {
namespace {

std::int64_t S64(base::Bytes b, std::size_t at) { return static_cast<std::int64_t>(base::Le64(b, at)); }
void SetS64(std::span<std::uint8_t> b, std::size_t at, std::int64_t v) {
  base::Set64(b, at, static_cast<std::uint64_t>(v));
}

}  // namespace

NtfsVolumeData DecodeVolumeData(std::span<const std::uint8_t, kVolumeDataSize> b) {
  NtfsVolumeData d;
  d.VolumeSerialNumber = S64(b, 0x00);
  d.NumberSectors = S64(b, 0x08);
  d.TotalClusters = S64(b, 0x10);
  d.FreeClusters = S64(b, 0x18);
  d.TotalReserved = S64(b, 0x20);
  d.BytesPerSector = base::Le32(b, 0x28);
  d.BytesPerCluster = base::Le32(b, 0x2C);
  d.BytesPerFileRecordSegment = base::Le32(b, 0x30);
  d.ClustersPerFileRecordSegment = base::Le32(b, 0x34);
  d.MftValidDataLength = S64(b, 0x38);
  d.MftStartLcn = S64(b, 0x40);
  d.Mft2StartLcn = S64(b, 0x48);
  d.MftZoneStart = S64(b, 0x50);
  d.MftZoneEnd = S64(b, 0x58);
  return d;
}

VolumeDataBytes EncodeVolumeData(const NtfsVolumeData& d) {
  VolumeDataBytes b{};
  SetS64(b, 0x00, d.VolumeSerialNumber);
  SetS64(b, 0x08, d.NumberSectors);
  SetS64(b, 0x10, d.TotalClusters);
  SetS64(b, 0x18, d.FreeClusters);
  SetS64(b, 0x20, d.TotalReserved);
  base::Set32(b, 0x28, d.BytesPerSector);
  base::Set32(b, 0x2C, d.BytesPerCluster);
  base::Set32(b, 0x30, d.BytesPerFileRecordSegment);
  base::Set32(b, 0x34, d.ClustersPerFileRecordSegment);
  SetS64(b, 0x38, d.MftValidDataLength);
  SetS64(b, 0x40, d.MftStartLcn);
  SetS64(b, 0x48, d.Mft2StartLcn);
  SetS64(b, 0x50, d.MftZoneStart);
  SetS64(b, 0x58, d.MftZoneEnd);
  return b;
}

}  // namespace morvel
