#pragma once
// Partition tables of whole disks and disk images: the MBR with its chain of extended boot
// records, and the GPT. Every entry is checked against the disk's size; chains are bounded.
#include <cstdint>
#include <vector>

#include "base/ByteSource.h"
#include "base/Bytes.h"

namespace disk {

enum class Status {
  Ok,
  Corrupt,  // a table that contradicts itself or the disk
  IoError,  // a read failed
};

// A partition of a whole-disk image or disk device.
struct Partition {
  int number = 0;            // 1-based, in table order (MBR: primaries 1-4, logicals from 5)
  std::uint64_t offset = 0;  // bytes from the start of the disk
  std::uint64_t length = 0;  // bytes
  bool looksNtfs = false;    // its first sector passes the caller's volume signature test
};

// Whether a first sector (at least 512 bytes) is the boot sector of the volume sought.
using SignatureTest = bool (*)(base::Bytes sector);

// Reads an MBR (with extended partitions) or a GPT. An empty list when the source holds no
// partition table: it is too small, or its first sector passes `isVolume` (a bare volume).
Status ListPartitions(base::ByteSource& source, SignatureTest isVolume, std::vector<Partition>& out);

}  // namespace disk
