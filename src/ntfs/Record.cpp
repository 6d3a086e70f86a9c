#include "ntfs/Record.h"

#include <cstring>

#include "ntfs/Reason.h"

namespace ntfs {
namespace {

// Appends the attribute `a`, which starts at `at` in its record (reasons give record offsets),
// to `out`. Every field is given: an attribute is made in one go, with no clearing first.
Result ParseAttribute(base::Bytes a, std::size_t at, std::vector<Attribute>& out) {
  const std::uint32_t type = base::Le32(a, 0x00);        // 0x00: type
  const bool nonResident = base::Le8(a, 0x08) != 0;      // 0x08: non-resident flag
  const std::uint8_t nameChars = base::Le8(a, 0x09);     // 0x09: name length in UTF-16 units
  const std::uint16_t nameOffset = base::Le16(a, 0x0A);  // 0x0A: name offset
  const std::uint16_t flags = base::Le16(a, 0x0C);       // 0x0C: compressed/encrypted/sparse flags
  const auto offset = static_cast<std::uint32_t>(at);
  if (!base::Fits(a.size(), nameOffset, nameChars * 2u))
    return Corrupt("name of " + Dec(nameChars) + " units at offset " + Hex(nameOffset) + " runs past the attribute" +
                   FieldAt(at + 0x09));
  const base::Bytes name = a.subspan(nameOffset, nameChars * 2u);
  if (!nonResident) {
    if (a.size() < 0x18) return Corrupt("resident attribute of " + Dec(a.size()) + " bytes is shorter than its header");
    const std::uint32_t length = base::Le32(a, 0x10);       // 0x10: value length
    const std::uint16_t valueOffset = base::Le16(a, 0x14);  // 0x14: value offset
    if (!base::Fits(a.size(), valueOffset, length))
      return Corrupt("value of " + Dec(length) + " bytes at offset " + Hex(valueOffset) +
                     " runs past the attribute's " + Dec(a.size()) + " bytes" + FieldAt(at + 0x10));
    out.push_back({.offset = offset,
                   .type = type,
                   .nonResident = false,
                   .flags = flags,
                   .name = name,
                   .value = a.subspan(valueOffset, length),
                   .lowestVcn = 0,
                   .highestVcn = -1,
                   .allocatedSize = length,
                   .dataSize = length,
                   .initializedSize = length,
                   .runlist = {},
                   .runlistOffset = 0});
    return {};
  }
  if (a.size() < 0x40)
    return Corrupt("non-resident attribute of " + Dec(a.size()) + " bytes is shorter than its header");
  const auto lowestVcn = static_cast<std::int64_t>(base::Le64(a, 0x10));   // 0x10: first VCN of this extent
  const auto highestVcn = static_cast<std::int64_t>(base::Le64(a, 0x18));  // 0x18: last VCN of this extent
  const std::uint16_t runs = base::Le16(a, 0x20);                          // 0x20: runlist offset
  if (runs < 0x40 || runs > a.size())
    return Corrupt("runlist offset " + Hex(runs) + " lies outside the attribute" + FieldAt(at + 0x20));
  // VCNs stay far below 2^62: no volume has that many clusters, and one past the end must fit.
  constexpr std::int64_t kVcnLimit = std::int64_t{1} << 62;
  if (lowestVcn < 0 || lowestVcn >= kVcnLimit)
    return Corrupt("lowest VCN " + Hex(static_cast<std::uint64_t>(lowestVcn)) + " is beyond 2^62" + FieldAt(at + 0x10));
  if (highestVcn >= kVcnLimit || highestVcn < lowestVcn - 1)
    return Corrupt("highest VCN " + Hex(static_cast<std::uint64_t>(highestVcn)) + " is before the lowest " +
                   Dec(static_cast<std::uint64_t>(lowestVcn)) + " or beyond 2^62" + FieldAt(at + 0x18));
  out.push_back({.offset = offset,
                 .type = type,
                 .nonResident = true,
                 .flags = flags,
                 .name = name,
                 .value = {},
                 .lowestVcn = lowestVcn,
                 .highestVcn = highestVcn,
                 .allocatedSize = base::Le64(a, 0x28),    // 0x28: allocated bytes
                 .dataSize = base::Le64(a, 0x30),         // 0x30: data size
                 .initializedSize = base::Le64(a, 0x38),  // 0x38: valid data length
                 .runlist = a.subspan(runs),
                 .runlistOffset = static_cast<std::uint32_t>(at + runs)});
  return {};
}

}  // namespace

Result ApplyFixups(std::span<std::uint8_t> block, std::uint32_t magic) {
  const std::size_t size = block.size();
  if (size < kFixupStride || size % kFixupStride != 0)
    return Corrupt("block of " + Dec(size) + " bytes is no whole number of 512-byte strides");
  if (base::Le32(block, 0) != magic)
    return Corrupt(std::string("no ") + (magic == kFileMagic ? "FILE" : "INDX") + " signature" + FieldAt(0x00));
  const std::uint16_t usaOffset = base::Le16(block, 0x04);  // 0x04: update sequence array offset
  const std::uint16_t usaCount = base::Le16(block, 0x06);   // 0x06: entries, the sequence number first
  if (usaCount != size / kFixupStride + 1)
    return Corrupt("update sequence of " + Dec(usaCount) + " entries, not " + Dec(size / kFixupStride + 1) +
                   FieldAt(0x06));
  // The array lies in the first stride, clear of the header and of that stride's last two bytes.
  if (usaOffset < 8 || usaOffset % 2 != 0 || usaOffset + 2u * usaCount > kFixupStride - 2)
    return Corrupt("update sequence offset " + Hex(usaOffset) + " is out of place" + FieldAt(0x04));
  const std::uint16_t usn = base::Le16(block, usaOffset);
  for (std::size_t i = 1; i < usaCount; ++i) {
    const std::size_t tail = i * kFixupStride - 2;
    if (base::Le16(block, tail) != usn) return Corrupt("update sequence mismatch" + AtByte(tail));  // a torn write
    block[tail] = block[usaOffset + 2 * i];
    block[tail + 1] = block[usaOffset + 2 * i + 1];
  }
  return {};
}

Result ParseFileRecord(base::Bytes r, FileRecordHeader& header, std::vector<Attribute>& attributes) {
  attributes.clear();
  if (r.size() < 0x30 || base::Le32(r, 0) != kFileMagic) return Corrupt("no FILE signature" + FieldAt(0x00));
  const std::uint16_t first = base::Le16(r, 0x14);        // 0x14: offset of the first attribute
  header.flags = base::Le16(r, 0x16);                     // 0x16: flags
  header.usedSize = base::Le32(r, 0x18);                  // 0x18: bytes in use
  const std::uint32_t allocated = base::Le32(r, 0x1C);    // 0x1C: bytes allocated for the record
  header.baseRecord = RecordNumber(base::Le64(r, 0x20));  // 0x20: base record reference
  if (allocated != r.size())
    return Corrupt("allocated size " + Dec(allocated) + " is not the record size " + Dec(r.size()) + FieldAt(0x1C));
  if (header.usedSize > r.size())
    return Corrupt("used size " + Dec(header.usedSize) + " exceeds the record" + FieldAt(0x18));
  if (first < 0x18 || first % 8 != 0 || first >= header.usedSize)
    return Corrupt("first attribute offset " + Hex(first) + " is out of place" + FieldAt(0x14));
  std::size_t pos = first;
  // Every attribute takes at least 16 bytes, so the walk ends within usedSize / 16 steps.
  while (true) {
    if (!base::Fits(header.usedSize, pos, 4))
      return Corrupt("no end marker before the used size " + Hex(header.usedSize));
    if (base::Le32(r, pos) == kAttributeEnd) return {};
    if (!base::Fits(header.usedSize, pos, 16))
      return Corrupt("attribute header" + AtByte(pos) + " runs past the used size");
    const std::uint32_t length = base::Le32(r, pos + 4);  // +0x04: attribute length
    if (length < 16 || length % 8 != 0 || !base::Fits(header.usedSize, pos, length))
      return Corrupt("attribute length " + Dec(length) + AtByte(pos + 4) + " is invalid or runs past the used size");
    if (Result res = ParseAttribute(r.subspan(pos, length), pos, attributes); !res.ok())
      return std::move(res).In("attribute" + AtByte(pos));
    pos += length;
  }
}

bool NameIs(base::Bytes name, const char* ascii) {
  const std::size_t n = std::strlen(ascii);
  if (name.size() != 2 * n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (base::Le16(name, 2 * i) != static_cast<unsigned char>(ascii[i])) return false;
  return true;
}

std::string AttributeTypeName(std::uint32_t type) {
  static constexpr struct {
    std::uint32_t type;
    const char* name;
  } kNames[] = {{0x10, "$STANDARD_INFORMATION"},
                {0x20, "$ATTRIBUTE_LIST"},
                {0x30, "$FILE_NAME"},
                {0x40, "$OBJECT_ID"},
                {0x50, "$SECURITY_DESCRIPTOR"},
                {0x60, "$VOLUME_NAME"},
                {0x70, "$VOLUME_INFORMATION"},
                {0x80, "$DATA"},
                {0x90, "$INDEX_ROOT"},
                {0xA0, "$INDEX_ALLOCATION"},
                {0xB0, "$BITMAP"},
                {0xC0, "$REPARSE_POINT"},
                {0xD0, "$EA_INFORMATION"},
                {0xE0, "$EA"},
                {0x100, "$LOGGED_UTILITY_STREAM"}};
  for (const auto& n : kNames)
    if (n.type == type) return n.name;
  return "attribute " + Hex(type);
}

}  // namespace ntfs
