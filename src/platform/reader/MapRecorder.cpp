#include "platform/reader/MapRecorder.h"

#include <vector>

#include "base/BitCount.h"
#include "ntfs/BootSector.h"
#include "ntfs/Extents.h"

namespace morvel {
namespace {

MapArea AreaOf(ntfs::SystemArea area) {
  switch (area) {
    case ntfs::SystemArea::Mft:
      return MapArea::Mft;
    case ntfs::SystemArea::MftMirror:
      return MapArea::MftMirror;
    case ntfs::SystemArea::LogFile:
      return MapArea::LogFile;
    case ntfs::SystemArea::Boot:
      return MapArea::Boot;
    case ntfs::SystemArea::Bitmap:
      return MapArea::Bitmap;
    case ntfs::SystemArea::Upcase:
      return MapArea::Upcase;
    case ntfs::SystemArea::Other:
      return MapArea::OtherSystem;
    case ntfs::SystemArea::BadClusters:
      return MapArea::BadClusters;
  }
  return MapArea::OtherSystem;
}

std::string Failed(const char* what, const ntfs::Result& r) {
  return std::string(what) + ": " + (r.reason().empty() ? ntfs::StatusName(r.status()) : r.reason());
}

}  // namespace

ntfs::Result MapRecorder::CountObserved(ntfs::Volume& volume, ntfs::VolumeData& out, const BitmapObserver& observe) {
  volume.CountBitmapWith([&observe](std::uint64_t first, base::Bytes bytes, std::uint64_t clusters) {
    observe(first, bytes, clusters);
    return base::CountSetBits(bytes, clusters);
  });
  ntfs::Result status = volume.QueryVolumeData(out);
  volume.CountBitmapWith(nullptr);
  return status;
}

void MapRecorder::Request(std::size_t cells) {
  requested_ = cells;
  map_.reset();
  reason_ = "the volume was not queried";
}

ntfs::Result MapRecorder::Query(base::ByteSource& source, ntfs::Volume& volume, ntfs::VolumeData& out,
                                const BitmapObserver& observe) {
  if (requested_ == 0) return observe ? CountObserved(volume, out, observe) : volume.QueryVolumeData(out);
  const std::size_t cells = requested_;
  requested_ = 0;
  // The cells need the cluster count before the first chunk arrives: the boot sector has it.
  std::vector<std::uint8_t> sector(ntfs::kBootSectorSize);
  ntfs::BootSector boot;
  if (!source.ReadAt(0, sector) || !ntfs::ParseBootSector(sector, boot).ok()) {
    reason_ = "the boot sector could not be read again";
    return observe ? CountObserved(volume, out, observe) : volume.QueryVolumeData(out);
  }
  // The cells are counted with the reader's fastest routine, and the query takes its free
  // clusters from the same count: the bitmap's bytes are counted once, map or no map.
  ClusterMap map(boot.totalClusters, boot.bytesPerCluster, cells);
  volume.CountBitmapWith([&map, &observe](std::uint64_t first, base::Bytes bytes, std::uint64_t clusters) {
    if (observe) observe(first, bytes, clusters);
    return map.AddBitmap(first, bytes, clusters);
  });
  ntfs::Result status = volume.QueryVolumeData(out);
  volume.CountBitmapWith(nullptr);
  if (!status.ok()) {
    reason_ = Failed("the volume could not be queried", status);
    return status;
  }
  map_ = std::move(map);
  Overlay(source, out);
  return status;
}

void MapRecorder::Overlay(base::ByteSource& source, const ntfs::VolumeData& data) {
  const ntfs::Result status = ntfs::VisitMetadataExtents(
      source, 0, [this](const ntfs::Extent& e) { map_->AddArea(AreaOf(e.area), e.lcn, e.length); });
  if (!status.ok()) {
    map_.reset();
    reason_ = Failed("the system files' runs could not be read", status);
    return;
  }
  if (data.MftZoneEnd > data.MftZoneStart && data.MftZoneStart >= 0)
    map_->AddArea(MapArea::MftZone, static_cast<std::uint64_t>(data.MftZoneStart),
                  static_cast<std::uint64_t>(data.MftZoneEnd - data.MftZoneStart));
}

std::optional<ClusterMap> MapRecorder::Take(std::string& reason) {
  reason = map_ ? std::string() : reason_;
  std::optional<ClusterMap> map = std::move(map_);
  map_.reset();
  reason_ = "no map was asked for";
  return map;
}

}  // namespace morvel
