#pragma once
// A drive letter's volume where the file system driver answers the report: the report's
// figures and the root's files come from the driver, as always, while the cluster map and the
// scan of the volume's records, which the driver cannot give, come from the volume's raw bytes
// (on Windows \\.\X:, which needs administrator rights) read by the built-in reader. The raw
// bytes are opened only when one of them is asked for; when they cannot be, its absence says why.
#include <functional>
#include <memory>
#include <string>

#include "platform/reader/OpenedVolume.h"
#include "platform/reader/ReaderVolume.h"

namespace morvel {

class RawReadVolume final : public OpenedVolume {
 public:
  using DetailsReader = std::function<base::Result(VolumeDetails&)>;
  // What the system's refusal to open the raw bytes means, and how to get past it: on Windows
  // ERROR_ACCESS_DENIED and the elevation hint.
  struct Refusal {
    int code = 0;
    std::string hint;
  };

  RawReadVolume(std::unique_ptr<VolumeAccess> driver, DetailsReader details, std::string rawName, ImageOpener openRaw,
                Refusal refusal);

  // The driver's answer; then, when the map or the scan was asked for, the raw volume's own
  // query, which builds them. The raw query's figures are not the report's.
  VolumeQuery QueryVolumeData() override;
  MetaDataLookup FindMetaDataFile(const std::string& name) override { return driver_->FindMetaDataFile(name); }
  bool RequestClusterMap(std::size_t cells) override;
  std::optional<ClusterMap> TakeClusterMap(std::string& reason) override;
  bool RequestScan(const ScanRequest& request) override;
  std::optional<VolumeScan> TakeScan(std::string& reason) override;
  base::Result ReadDetails(VolumeDetails& out) override { return details_(out); }

 private:
  // The raw volume, opened on the first request; null when it could not be, `rawWhyNot_` saying why.
  ReaderVolume* Raw();
  // Makes a request of the raw volume for its next query; false when it cannot be opened.
  template <typename Ask>
  bool AskRaw(const Ask& ask);

  std::unique_ptr<VolumeAccess> driver_;
  DetailsReader details_;
  std::string rawName_;
  ImageOpener openRaw_;
  Refusal refusal_;
  bool opened_ = false;
  std::unique_ptr<ReaderVolume> raw_;
  std::string rawWhyNot_;
  bool rawAsked_ = false;  // a map or a scan waits for the next query
};

}  // namespace morvel
