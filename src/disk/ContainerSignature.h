#pragma once
// Disk-image containers recognised by their own signatures, never by the file's name: the
// build that cannot read a container still names it.
#include <cstdint>
#include <string>

#include "base/ByteSource.h"
#include "base/Bytes.h"

namespace disk {

enum class ContainerFormat {
  None,  // raw data: a volume or a whole disk
  Ewf,   // EnCase / SMART evidence files (E01, Ex01, S01)
  Vhd,   // Virtual PC / Hyper-V VHD
  Vhdx,  // Hyper-V VHDX
  Vmdk,  // VMware sparse extent, ESX COWD extent or text descriptor
  Qcow,  // QEMU copy-on-write
  Vdi,   // VirtualBox
};

struct Container {
  ContainerFormat format = ContainerFormat::None;
  std::uint32_t version = 0;  // QCOW: 1, 2 or 3; EWF: 1 or 2
  bool fixedVhd = false;      // a fixed VHD is its raw data followed by a 512-byte footer
};

// What `source` is; false when its first or last sector cannot be read.
bool RecogniseContainer(base::ByteSource& source, Container& out);

inline constexpr const char* kBitLockerText =
    "BitLocker-encrypted volume (unlock it first, for example with `bdemount` or `dislocker`, and report the "
    "unlocked volume)";

// Whether a volume's first sector (at least 11 bytes) is that of a BitLocker-encrypted volume:
// "-FVE-FS-" where a file system's OEM name stands.
bool HasBitLockerSignature(base::Bytes sector);

// "a QCOW2 disk image", "an EWF (E01) disk image", ... for the messages that name it.
std::string DescribeContainer(const Container& container);

}  // namespace disk
