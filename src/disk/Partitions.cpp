// Partition tables: the MBR with its chain of extended boot records, and the GPT.
#include "disk/Partitions.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace disk {
namespace {

constexpr std::size_t kMbrSize = 512;
constexpr std::size_t kMbrEntries = 0x1BE;  // four 16-byte entries
constexpr std::uint8_t kGptProtective = 0xEE;
constexpr int kMaxLogical = 128;                       // longer EBR chains are taken for loops
constexpr std::uint64_t kMaxGptEntryBytes = 1u << 20;  // the usual array is 16 KiB

struct MbrEntry {
  std::uint8_t status = 0;
  std::uint8_t type = 0;
  std::uint32_t start = 0;  // sectors
  std::uint32_t count = 0;  // sectors
};

MbrEntry ReadEntry(base::Bytes sector, int i) {
  const std::size_t e = kMbrEntries + 16u * static_cast<unsigned>(i);
  return {base::Le8(sector, e + 0x00),    // +0x00: boot indicator
          base::Le8(sector, e + 0x04),    // +0x04: partition type
          base::Le32(sector, e + 0x08),   // +0x08: first sector
          base::Le32(sector, e + 0x0C)};  // +0x0C: sector count
}

bool IsExtended(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

bool HasBootSignature(base::Bytes sector) { return base::Le16(sector, 0x1FE) == 0xAA55; }

std::uint32_t Crc32(base::Bytes bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

class TableReader {
 public:
  TableReader(base::ByteSource& source, SignatureTest isVolume, PartitionTable& out)
      : source_(source), isVolume_(isVolume), out_(out.partitions), warnings_(out.warnings) {}

  Status Read(std::uint64_t at, std::span<std::uint8_t> buffer) {
    if (at > source_.Size() || buffer.size() > source_.Size() - at) return Status::Corrupt;
    return source_.ReadAt(at, buffer) ? Status::Ok : Status::IoError;
  }

  Status Add(int number, std::uint64_t offset, std::uint64_t length) {
    Partition p{number, offset, length, false};
    std::array<std::uint8_t, kMbrSize> sector{};
    if (offset <= source_.Size() && source_.Size() - offset >= sector.size()) {
      if (!source_.ReadAt(offset, sector)) return Status::IoError;
      p.looksNtfs = isVolume_(sector);
    }
    out_.push_back(p);
    return Status::Ok;
  }

  Status Mbr(base::Bytes mbr);
  Status Logicals(std::uint64_t extStart, std::uint64_t extSectors);
  Status Gpt(bool& found);
  Status GptAt(std::uint64_t sectorSize, std::uint64_t headerLba, bool& found);

 private:
  base::ByteSource& source_;
  SignatureTest isVolume_;
  std::vector<Partition>& out_;
  std::vector<std::string>& warnings_;
};

Status TableReader::Mbr(base::Bytes mbr) {
  for (int i = 0; i < 4; ++i) {
    const MbrEntry e = ReadEntry(mbr, i);
    if (e.type == 0 || e.count == 0) continue;
    const Status s = IsExtended(e.type)
                         ? Logicals(e.start, e.count)
                         : Add(i + 1, std::uint64_t{e.start} * kMbrSize, std::uint64_t{e.count} * kMbrSize);
    if (s != Status::Ok) return s;
  }
  return Status::Ok;
}

// Each EBR holds one logical partition (relative to the EBR) and a link to the next EBR
// (relative to the extended partition's start). A chain that loops, leaves its extended
// partition or reaches an EBR without its signature ends there: the partitions before it stay.
Status TableReader::Logicals(std::uint64_t extStart, std::uint64_t extSectors) {
  std::array<std::uint8_t, kMbrSize> ebr{};
  std::vector<std::uint64_t> seen;
  std::uint64_t at = extStart;
  const auto stop = [&](const std::string& why) {
    warnings_.push_back("the extended partition's chain of boot records ends at sector " + std::to_string(at) + ": " +
                        why + "; the logical partitions before it are kept");
    return Status::Ok;
  };
  for (int number = 5; number < 5 + kMaxLogical; ++number) {
    if (std::find(seen.begin(), seen.end(), at) != seen.end()) return stop("it links back to an earlier record");
    seen.push_back(at);
    if (at > source_.Size() / kMbrSize - 1) return stop("it lies beyond the end of the disk");
    if (const Status s = Read(at * kMbrSize, ebr); s != Status::Ok) return s;
    if (!HasBootSignature(ebr)) return stop("it has no boot record signature");
    const MbrEntry logical = ReadEntry(ebr, 0);
    if (logical.type != 0 && logical.count != 0) {
      const Status s = Add(number, (at + logical.start) * kMbrSize, std::uint64_t{logical.count} * kMbrSize);
      if (s != Status::Ok) return s;
    }
    const MbrEntry next = ReadEntry(ebr, 1);
    if (next.type == 0 || next.count == 0) return Status::Ok;
    if (!IsExtended(next.type)) return stop("its link is of partition type " + std::to_string(next.type));
    if (next.start == 0 || next.start >= extSectors) return stop("its link leaves the extended partition");
    at = extStart + next.start;
  }
  return stop("it holds more than " + std::to_string(kMaxLogical) + " logical partitions");
}

Status TableReader::GptAt(std::uint64_t ss, std::uint64_t headerLba, bool& found) {
  found = false;
  std::vector<std::uint8_t> header(ss);
  if (ss * 2 > source_.Size()) return Status::Ok;
  if (const Status s = Read(headerLba * ss, header); s != Status::Ok) return s;
  if (std::memcmp(header.data(), "EFI PART", 8) != 0) return Status::Ok;  // 0x00: signature
  found = true;
  const std::uint32_t headerSize = base::Le32(header, 0x0C);  // 0x0C: header size
  const std::uint32_t headerCrc = base::Le32(header, 0x10);   // 0x10: CRC32 of the header, this field zeroed
  if (headerSize < 92 || headerSize > ss) return Status::Corrupt;
  std::memset(header.data() + 0x10, 0, 4);
  if (Crc32(base::Bytes(header).first(headerSize)) != headerCrc) return Status::Corrupt;
  const std::uint64_t entriesLba = base::Le64(header, 0x48);  // 0x48: first sector of the entry array
  const std::uint32_t count = base::Le32(header, 0x50);       // 0x50: number of entries
  const std::uint32_t entrySize = base::Le32(header, 0x54);   // 0x54: bytes per entry
  const std::uint32_t entriesCrc = base::Le32(header, 0x58);  // 0x58: CRC32 of the entry array
  if (entrySize < 128 || !base::IsPowerOfTwo(entrySize) || std::uint64_t{count} * entrySize > kMaxGptEntryBytes ||
      entriesLba > source_.Size() / ss)
    return Status::Corrupt;
  std::vector<std::uint8_t> entries(std::size_t{count} * entrySize);
  if (const Status s = Read(entriesLba * ss, entries); s != Status::Ok) return s;
  if (Crc32(entries) != entriesCrc) return Status::Corrupt;
  for (std::uint32_t i = 0; i < count; ++i) {
    const base::Bytes e = base::Bytes(entries).subspan(std::size_t{i} * entrySize, entrySize);
    if (std::all_of(e.begin(), e.begin() + 16, [](std::uint8_t b) { return b == 0; }))
      continue;                                       // 0x00: type GUID, zero = unused
    const std::uint64_t first = base::Le64(e, 0x20);  // 0x20: first sector
    const std::uint64_t last = base::Le64(e, 0x28);   // 0x28: last sector, inclusive
    if (last < first || last >= ~std::uint64_t{0} / ss) return Status::Corrupt;
    if (const Status s = Add(static_cast<int>(i + 1), first * ss, (last - first + 1) * ss); s != Status::Ok) return s;
  }
  return Status::Ok;
}

// A GPT disk of 512- or 4096-byte sectors: the header follows the protective MBR in sector 1,
// its backup fills the disk's last sector. A damaged primary is read from a sound backup.
Status TableReader::Gpt(bool& found) {
  for (std::uint64_t ss : {std::uint64_t{512}, std::uint64_t{4096}}) {
    const std::size_t kept = out_.size();
    const Status primary = GptAt(ss, 1, found);
    if (primary == Status::Ok && found) return Status::Ok;
    if (primary == Status::IoError) return primary;
    out_.resize(kept);
    bool backupFound = false;
    const std::uint64_t last = source_.Size() / ss - 1;
    if (source_.Size() / ss >= 3 && GptAt(ss, last, backupFound) == Status::Ok && backupFound) {
      warnings_.push_back(std::string(found ? "the primary GPT is damaged" : "the primary GPT header is missing") +
                          "; the table was read from the backup header in sector " + std::to_string(last));
      found = true;
      return Status::Ok;
    }
    out_.resize(kept);
    if (found) return primary;
  }
  return Status::Ok;
}

}  // namespace

Status ReadPartitionTable(base::ByteSource& source, SignatureTest isVolume, PartitionTable& out) {
  out = {};
  std::array<std::uint8_t, kMbrSize> mbr{};
  if (source.Size() < mbr.size()) return Status::Ok;
  if (!source.ReadAt(0, mbr)) return Status::IoError;
  // A bare volume's boot sector also ends in 55 AA; its signature tells it apart.
  if (isVolume(mbr) || !HasBootSignature(mbr)) return Status::Ok;
  bool protective = false;
  for (int i = 0; i < 4; ++i) {
    const MbrEntry e = ReadEntry(mbr, i);
    if (e.status != 0x00 && e.status != 0x80) return Status::Ok;  // not a partition table
    protective = protective || e.type == kGptProtective;
  }
  TableReader reader(source, isVolume, out);
  Status s = Status::Ok;
  if (protective) {
    out.scheme = "GPT";
    bool found = false;
    s = reader.Gpt(found);
    if (s == Status::Ok && !found) s = Status::Corrupt;
  } else {
    out.scheme = "MBR";
    s = reader.Mbr(mbr);
  }
  if (s != Status::Ok) out.partitions.clear();
  return s;
}

Status ListPartitions(base::ByteSource& source, SignatureTest isVolume, std::vector<Partition>& out) {
  PartitionTable table;
  const Status s = ReadPartitionTable(source, isVolume, table);
  out = std::move(table.partitions);
  return s;
}

}  // namespace disk
