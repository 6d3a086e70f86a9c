#pragma once
// What a volume is, beyond its layout: the label, NTFS version and flags that $Volume records,
// how many extents $MFT has, and whether Windows left the volume hibernated.
#include <cstdint>
#include <string>
#include <vector>

#include "ntfs/Ntfs.h"

namespace ntfs {

// Bits of the flags field of $VOLUME_INFORMATION.
inline constexpr std::uint16_t kVolumeDirty = 0x0001;
inline constexpr std::uint16_t kVolumeResizeLogFile = 0x0002;
inline constexpr std::uint16_t kVolumeUpgradeOnMount = 0x0004;
inline constexpr std::uint16_t kVolumeMountedOnNt4 = 0x0008;
inline constexpr std::uint16_t kVolumeDeleteUsnUnderway = 0x0010;
inline constexpr std::uint16_t kVolumeRepairObjectIds = 0x0020;
inline constexpr std::uint16_t kVolumeChkdskUnderway = 0x4000;
inline constexpr std::uint16_t kVolumeModifiedByChkdsk = 0x8000;

// The names of the set flags in bit order; a bit without a name shows as "0x0100".
std::vector<std::string> VolumeFlagNames(std::uint16_t flags);

enum class Hibernation {
  NoFile,         // the root holds no hiberfil.sys
  NotHibernated,  // its header does not say "hibr"
  Hibernated,     // its header says "hibr" or "HIBR": Windows will resume from it
  Unreadable,     // it exists but its first bytes could not be read
};

struct VolumeFacts {
  std::string label;  // UTF-8 as stored, possibly with controls: escape it before showing
  std::uint8_t majorVersion = 0;
  std::uint8_t minorVersion = 0;
  std::uint16_t flags = 0;
  std::uint64_t serialNumber = 0;
  std::uint32_t bytesPerSector = 0;
  std::uint64_t bytes = 0;  // the volume's size by its boot sector
  std::size_t mftExtents = 0;
  Hibernation hibernation = Hibernation::NoFile;
  std::string hibernationSignature;  // the four bytes that open hiberfil.sys, as read
};

// Reads the facts of the volume at `offset` in `source`. A volume without $VOLUME_NAME has an
// empty label; a missing or short $VOLUME_INFORMATION is Corrupt. A hiberfil.sys that cannot
// be read leaves the hibernation Unreadable without failing the rest. `opened`, when given, is
// the same volume opened already: hiberfil.sys is looked up in the root index and with the
// $UpCase it has read.
Result ReadVolumeFacts(ByteSource& source, std::uint64_t offset, VolumeFacts& out, Volume* opened = nullptr);

}  // namespace ntfs
