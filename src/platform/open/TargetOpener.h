#pragma once
// The one way every program opens what it is asked to report: text in (a drive letter, a
// device, an image or container file, a folder or file on a mounted volume, a mount point),
// an opened volume out, with its title, the source read, and (in its query's outcome) what it
// holds when it is not NTFS and where the program looked when nothing could be opened.
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "core/report/VolumeAccess.h"
#include "platform/reader/ListedVolume.h"
#include "platform/reader/OpenedVolume.h"
#include "platform/reader/VolumeLocation.h"

namespace morvel {

struct OpenedTarget {
  std::string title;                     // the report's title: the drive letter as given, or the text itself
  char letter = 0;                       // the drive letter the text names; 0 for a path
  std::string source;                    // the device or image read; empty for a drive read through the system
  std::string mountPoint;                // of the mounted volume a folder or file led to
  std::unique_ptr<OpenedVolume> volume;  // never null: a failure is the query's outcome
};

class TargetOpener {
 public:
  virtual ~TargetOpener() = default;
  // Opens `text`: a drive letter ("C", "C:", "d") through OpenDrive, titled with the letter as
  // given; anything else as a path, titled with the text. `choice` picks the partition of a
  // whole disk given by path.
  OpenedTarget Open(const std::string& text, PartitionChoice choice);
  // The volume of drive `letter`, as the drive buttons read it.
  virtual std::unique_ptr<OpenedVolume> OpenDrive(char letter) = 0;

 protected:
  // A path: a device, an image or container file, a folder or file on a mounted volume. The
  // title is set already.
  virtual void OpenPath(const std::string& path, PartitionChoice choice, OpenedTarget& target) = 0;
};

// How the Windows programs call the system: the desktop program in the ANSI forms, the console
// program in the wide forms with its elevation hint on `hints`. Linux ignores them.
struct OpenerSettings {
  bool wideCalls = false;
  std::ostream* elevationHints = nullptr;
};

// This machine's opener.
std::unique_ptr<TargetOpener> MakeTargetOpener(const OpenerSettings& settings = {});

// The machine's NTFS volumes: devices, mounts and drive letters, for --list.
VolumeList ListMachineVolumes();

// "C", "C:", "d" -> the letter, unchanged; 0 for anything else.
char DriveLetterOf(std::string_view text);

// The drive letters' volumes as the report asks for them, through `opener`.
class OpenerDrives final : public DriveVolumes {
 public:
  explicit OpenerDrives(TargetOpener& opener) : opener_(opener) {}
  std::unique_ptr<VolumeAccess> OpenDrive(char letter) override { return opener_.OpenDrive(letter); }

 private:
  TargetOpener& opener_;
};

}  // namespace morvel
