#pragma once
// Multi-sector records (MFT file records, index blocks) and the attributes of a file record.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "ntfs/Ntfs.h"

namespace ntfs {

inline constexpr std::uint32_t kFileMagic = 0x454C4946;  // "FILE"
inline constexpr std::uint32_t kIndxMagic = 0x58444E49;  // "INDX"
inline constexpr std::uint32_t kFixupStride = 512;

enum AttributeType : std::uint32_t {
  kAttributeList = 0x20,
  kFileName = 0x30,
  kData = 0x80,
  kIndexRoot = 0x90,
  kIndexAllocation = 0xA0,
  kAttributeEnd = 0xFFFFFFFF,
};

// Checks the signature and the update sequence of a record read from disk and puts back the
// bytes the sequence number replaced at the end of every 512-byte stride.
Result ApplyFixups(std::span<std::uint8_t> block, std::uint32_t magic);

struct FileRecordHeader {
  std::uint16_t flags = 0;  // 0x01 in use, 0x02 directory
  std::uint32_t usedSize = 0;
  std::uint64_t baseRecord = 0;  // 0 for a base record, else the record number it extends
};

// One attribute, its spans pointing into the record it was read from.
struct Attribute {
  std::uint32_t offset = 0;  // where it starts in its record, for reasons
  std::uint32_t type = 0;
  bool nonResident = false;
  std::uint16_t flags = 0;
  base::Bytes name;   // UTF-16LE
  base::Bytes value;  // resident only
  std::int64_t lowestVcn = 0;
  std::int64_t highestVcn = -1;
  std::uint64_t allocatedSize = 0;
  std::uint64_t dataSize = 0;
  std::uint64_t initializedSize = 0;
  base::Bytes runlist;
  std::uint32_t runlistOffset = 0;  // where the runlist starts in the record, for reasons
};

// Parses the header and walks the attributes of a fixed-up file record, bounded by the
// record's used size.
Result ParseFileRecord(base::Bytes record, FileRecordHeader& header, std::vector<Attribute>& attributes);

// The name of an attribute type ("$DATA", "$SECURITY_DESCRIPTOR", ...): "attribute 0x1234" for a
// type NTFS does not define.
std::string AttributeTypeName(std::uint32_t type);

// Whether an attribute name (UTF-16LE bytes) equals an ASCII name, e.g. "$I30" or "".
bool NameIs(base::Bytes name, const char* ascii);

// File reference → record number (the low 48 bits; the top 16 are a sequence number).
constexpr std::uint64_t RecordNumber(std::uint64_t reference) { return reference & 0x0000FFFFFFFFFFFFull; }

}  // namespace ntfs
