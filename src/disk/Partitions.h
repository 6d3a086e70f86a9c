#pragma once
// Partition tables of whole disks and disk images: the MBR with its chain of extended boot
// records, and the GPT. Every entry is checked against the disk's size; chains are bounded.
#include <cstdint>
#include <string>
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

// A disk's partition table as read, with what had to be passed over to read it.
struct PartitionTable {
  const char* scheme = "";  // "MBR", "GPT"; "" when the source holds no partition table
  std::vector<Partition> partitions;
  // What was damaged and how the table was read all the same: an extended chain that loops
  // or leaves its partition ends there, keeping the partitions before it; a damaged primary
  // GPT is read from its backup header.
  std::vector<std::string> warnings;
};

// Reads an MBR (with extended partitions) or a GPT. No partitions when the source holds no
// partition table: it is too small, or its first sector passes `isVolume` (a bare volume).
Status ReadPartitionTable(base::ByteSource& source, SignatureTest isVolume, PartitionTable& out);

// The partitions of ReadPartitionTable alone.
Status ListPartitions(base::ByteSource& source, SignatureTest isVolume, std::vector<Partition>& out);

}  // namespace disk
