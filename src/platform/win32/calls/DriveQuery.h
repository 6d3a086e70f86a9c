#pragma once
// A drive letter's volume as the Windows file system driver tells it: the volume-data request
// on "\\.\X:" through NtFsControlFile, its failure's system message, and the root's metadata
// files through FindFirstFile, each call as VolumeApi.h makes it. Portable: the calls go
// through VolumeApi, so the sequence is tested on every platform against a recording fake.
#include <memory>

#include "core/report/VolumeAccess.h"
#include "platform/win32/calls/VolumeApi.h"

namespace morvel {

// The volume of drive `letter` through `api`, which must outlive it.
std::unique_ptr<VolumeAccess> MakeCallDriveVolume(VolumeApi& api, char letter);

// The drive letters' volumes through `api`.
class CallDriveVolumes final : public DriveVolumes {
 public:
  explicit CallDriveVolumes(VolumeApi& api) : api_(api) {}
  std::unique_ptr<VolumeAccess> OpenDrive(char letter) override { return MakeCallDriveVolume(api_, letter); }

 private:
  VolumeApi& api_;
};

}  // namespace morvel
