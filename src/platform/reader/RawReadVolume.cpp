#include "platform/reader/RawReadVolume.h"

namespace morvel {

RawReadVolume::RawReadVolume(std::unique_ptr<VolumeAccess> driver, DetailsReader details, std::string rawName,
                             ImageOpener openRaw, Refusal refusal)
    : driver_(std::move(driver)),
      details_(std::move(details)),
      rawName_(std::move(rawName)),
      openRaw_(std::move(openRaw)),
      refusal_(std::move(refusal)) {}

ReaderVolume* RawReadVolume::Raw() {
  if (opened_) return raw_.get();
  opened_ = true;
  SourceOpening opening;
  opening.name = rawName_;
  opening.blockDevice = true;
  opening.inUse = [] { return true; };  // a drive letter is a mounted volume: what it holds may change while read
  opening.result = openRaw_(rawName_, opening.source);
  if (!opening.result.ok() || !opening.source) {
    rawWhyNot_ = rawName_ + " could not be opened for reading: " + opening.result.reason();
    if (opening.result.code() == refusal_.code && refusal_.code != 0) rawWhyNot_ += "; " + refusal_.hint;
    return nullptr;
  }
  raw_ = std::make_unique<ReaderVolume>(std::move(opening), PartitionChoice{});
  return raw_.get();
}

template <typename Ask>
bool RawReadVolume::AskRaw(const Ask& ask) {
  ReaderVolume* raw = Raw();
  if (raw == nullptr) return false;
  rawAsked_ = true;
  return ask(*raw);
}

VolumeQuery RawReadVolume::QueryVolumeData() {
  VolumeQuery query = driver_->QueryVolumeData();
  if (rawAsked_ && raw_) (void)raw_->QueryVolumeData();  // builds what was asked; its own failure is in their reasons
  rawAsked_ = false;
  return query;
}

bool RawReadVolume::RequestClusterMap(std::size_t cells) {
  return AskRaw([cells](ReaderVolume& raw) { return raw.RequestClusterMap(cells); });
}

std::optional<ClusterMap> RawReadVolume::TakeClusterMap(std::string& reason) {
  if (raw_) return raw_->TakeClusterMap(reason);
  reason = opened_ ? rawWhyNot_ : "no map was asked for";
  return std::nullopt;
}

bool RawReadVolume::RequestScan(const ScanRequest& request) {
  return AskRaw([&request](ReaderVolume& raw) { return raw.RequestScan(request); });
}

std::optional<VolumeScan> RawReadVolume::TakeScan(std::string& reason) {
  if (raw_) return raw_->TakeScan(reason);
  reason = opened_ ? rawWhyNot_ : "no scan was asked for";
  return std::nullopt;
}

}  // namespace morvel
