#include "platform/reader/ReaderVolume.h"

#include <system_error>

#include "platform/reader/CachedByteSource.h"

namespace morvel {
namespace {

// The reader's reason, or the status's name when it gave none.
std::string ReasonOf(const ntfs::Result& r) { return r.reason().empty() ? ntfs::StatusName(r.status()) : r.reason(); }

std::string ErrnoText(int error) { return std::generic_category().message(error); }

}  // namespace

std::int32_t NtStatusFromNtfs(ntfs::Status status) {
  switch (status) {
    case ntfs::Status::Ok:
      return 0;
    case ntfs::Status::NotNtfs:
      return kStatusInvalidDeviceRequest;
    case ntfs::Status::Corrupt:
      return kStatusFileCorruptError;
    case ntfs::Status::IoError:
    case ntfs::Status::System:
    case ntfs::Status::Usage:
      return kStatusIoDeviceError;
  }
  return kStatusIoDeviceError;
}

NtfsVolumeData ToVolumeData(const ntfs::VolumeData& v) {
  NtfsVolumeData d;
  d.VolumeSerialNumber = v.VolumeSerialNumber;
  d.NumberSectors = v.NumberSectors;
  d.TotalClusters = v.TotalClusters;
  d.FreeClusters = v.FreeClusters;
  d.TotalReserved = v.TotalReserved;
  d.BytesPerSector = v.BytesPerSector;
  d.BytesPerCluster = v.BytesPerCluster;
  d.BytesPerFileRecordSegment = v.BytesPerFileRecordSegment;
  d.ClustersPerFileRecordSegment = v.ClustersPerFileRecordSegment;
  d.MftValidDataLength = v.MftValidDataLength;
  d.MftStartLcn = v.MftStartLcn;
  d.Mft2StartLcn = v.Mft2StartLcn;
  d.MftZoneStart = v.MftZoneStart;
  d.MftZoneEnd = v.MftZoneEnd;
  return d;
}

ReaderVolume::ReaderVolume(SourceOpening opening, PartitionChoice choice, ContentDescriber describe, VolumeParser parse)
    : opening_(std::move(opening)), choice_(choice), describe_(std::move(describe)), parse_(parse) {
  if (!opening_.source && opening_.result.code() == 0)
    opening_.result = base::ErrnoFailure(ENOENT, opening_.result.reason());
  // The query, the lookups, the map and the details share what any of them has read.
  if (opening_.source && dynamic_cast<CachedByteSource*>(opening_.source.get()) == nullptr)
    opening_.source = std::make_unique<CachedByteSource>(std::move(opening_.source));
  scan_.SetInUse(opening_.inUse);
}

ntfs::Volume* ReaderVolume::Volume() {
  if (!parsed_ && opening_.source) {
    parsed_ = true;
    located_ = LocateVolume(*opening_.source, choice_, extent_, &warnings_);
    if (located_.ok()) {
      slice_ = std::make_unique<SliceByteSource>(*opening_.source, extent_.offset, extent_.length);
      parse_result_ = parse_(*slice_, 0, volume_);
    }
  }
  return parse_result_.ok() ? volume_.get() : nullptr;
}

ntfs::Result ReaderVolume::ScannedQuery(ntfs::Volume& volume, ntfs::VolumeData& record) {
  if (!scan_.Requested()) return map_.Query(*slice_, volume, record);
  // The order of reading: the MFT scan first, then the report's $Bitmap pass, which counts the
  // free extents in its own chunks; so $MFT and $Bitmap are each read once.
  scan_.Scan(*slice_, volume);
  const ntfs::Result r =
      map_.Query(*slice_, volume, record, [this](std::uint64_t first, base::Bytes bytes, std::uint64_t clusters) {
        scan_.Observe(first, bytes, clusters);
      });
  scan_.Finish(r);
  // A map asked for with the scan: the files owning its cells.
  if (const ntfs::MftScan* mft = scan_.Mft()) map_.AddFiles(*mft);
  return r;
}

VolumeQuery ReaderVolume::QueryVolumeData() {
  VolumeQuery query;
  ntfs::Volume* volume = Volume();
  query.warnings = warnings_;
  const base::Result& opened = opening_.source ? located_ : opening_.result;
  if (!opened.ok()) {
    query.outcome = VolumeQuery::Outcome::OpenFailed;
    query.openError = static_cast<std::uint32_t>(opened.code());
    query.openErrorText = ErrnoText(opened.code());
    // Where the program looked, or else why the chosen partition is not there.
    query.where = !opening_.where.empty() ? opening_.where : opened.reason();
    if (query.where == query.openErrorText) query.where.clear();
  } else {
    ntfs::VolumeData record;
    const ntfs::Result r = volume != nullptr ? ScannedQuery(*volume, record) : parse_result_;
    if (r.ok()) {
      query.data = ToVolumeData(record);
      return query;
    }
    query.outcome = VolumeQuery::Outcome::Refused;
    query.status = NtStatusFromNtfs(r.status());
    query.reason = ReasonOf(r);
  }
  const bool noVolume =
      query.outcome == VolumeQuery::Outcome::OpenFailed || query.status == kStatusInvalidDeviceRequest;
  if (noVolume && describe_) query.detected = describe_(opening_.source.get(), choice_.number);
  return query;
}

MetaDataLookup ReaderVolume::FindMetaDataFile(const std::string& name) {
  MetaDataLookup lookup;
  ntfs::Volume* volume = Volume();
  if (volume == nullptr) {
    lookup.outcome = MetaDataLookup::Outcome::Unreadable;
    const base::Result& opened = opening_.source ? located_ : opening_.result;
    lookup.reason = !opened.ok() ? "opening the drive: " + ErrnoText(opened.code()) : ReasonOf(parse_result_);
    return lookup;
  }
  std::optional<ntfs::RootEntry> found;
  if (const ntfs::Result r = volume->FindRootEntry(name, found); !r.ok()) {
    lookup.outcome = MetaDataLookup::Outcome::Unreadable;
    lookup.reason = ReasonOf(r);
    return lookup;
  }
  if (!found) return lookup;
  lookup.outcome = MetaDataLookup::Outcome::Found;
  lookup.file.name = found->name;
  lookup.file.size = static_cast<std::int64_t>(found->size);
  return lookup;
}

bool ReaderVolume::RequestClusterMap(std::size_t cells) {
  map_.Request(cells);
  return true;
}

bool ReaderVolume::RequestScan(const ScanRequest& request) {
  scan_.Request(request);
  return true;
}

base::Result ReaderVolume::ReadDetails(VolumeDetails& out) {
  if (!opening_.source) return opening_.result;
  out.source = opening_.name;
  out.blockDevice = opening_.blockDevice;
  out.physicalSectorSize = opening_.physicalSectorSize;
  return ReadVolumeDetails(*opening_.source, choice_, out, volume_.get());
}

}  // namespace morvel
