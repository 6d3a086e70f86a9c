#include "ntfs/Record.h"

#include <cstring>

namespace ntfs {
namespace {

Status ParseResident(base::Bytes a, Attribute& out) {
  if (a.size() < 0x18) return Status::Corrupt;
  const std::uint32_t length = base::Le32(a, 0x10);  // 0x10: value length
  const std::uint16_t offset = base::Le16(a, 0x14);  // 0x14: value offset
  if (!base::Fits(a.size(), offset, length)) return Status::Corrupt;
  out.value = a.subspan(offset, length);
  out.dataSize = out.initializedSize = out.allocatedSize = length;
  return Status::Ok;
}

Status ParseNonResident(base::Bytes a, Attribute& out) {
  if (a.size() < 0x40) return Status::Corrupt;
  out.lowestVcn = static_cast<std::int64_t>(base::Le64(a, 0x10));   // 0x10: first VCN of this extent
  out.highestVcn = static_cast<std::int64_t>(base::Le64(a, 0x18));  // 0x18: last VCN of this extent
  const std::uint16_t runs = base::Le16(a, 0x20);                   // 0x20: runlist offset
  out.allocatedSize = base::Le64(a, 0x28);                          // 0x28: allocated bytes
  out.dataSize = base::Le64(a, 0x30);                               // 0x30: data size
  out.initializedSize = base::Le64(a, 0x38);                        // 0x38: valid data length
  if (runs < 0x40 || runs > a.size()) return Status::Corrupt;
  // VCNs stay far below 2^62: no volume has that many clusters, and one past the end must fit.
  constexpr std::int64_t kVcnLimit = std::int64_t{1} << 62;
  if (out.lowestVcn < 0 || out.lowestVcn >= kVcnLimit || out.highestVcn >= kVcnLimit ||
      out.highestVcn < out.lowestVcn - 1)
    return Status::Corrupt;
  out.runlist = a.subspan(runs);
  return Status::Ok;
}

Status ParseAttribute(base::Bytes a, Attribute& out) {
  out = Attribute{};
  out.type = base::Le32(a, 0x00);                        // 0x00: type
  out.nonResident = base::Le8(a, 0x08) != 0;             // 0x08: non-resident flag
  const std::uint8_t nameChars = base::Le8(a, 0x09);     // 0x09: name length in UTF-16 units
  const std::uint16_t nameOffset = base::Le16(a, 0x0A);  // 0x0A: name offset
  out.flags = base::Le16(a, 0x0C);                       // 0x0C: compressed/encrypted/sparse flags
  if (!base::Fits(a.size(), nameOffset, nameChars * 2u)) return Status::Corrupt;
  out.name = a.subspan(nameOffset, nameChars * 2u);
  return out.nonResident ? ParseNonResident(a, out) : ParseResident(a, out);
}

}  // namespace

Status ApplyFixups(std::span<std::uint8_t> block, std::uint32_t magic) {
  const std::size_t size = block.size();
  if (size < kFixupStride || size % kFixupStride != 0) return Status::Corrupt;
  if (base::Le32(block, 0) != magic) return Status::Corrupt;
  const std::uint16_t usaOffset = base::Le16(block, 0x04);  // 0x04: update sequence array offset
  const std::uint16_t usaCount = base::Le16(block, 0x06);   // 0x06: entries, the sequence number first
  // The array lies in the first stride, clear of the header and of that stride's last two bytes.
  if (usaCount != size / kFixupStride + 1 || usaOffset < 8 || usaOffset % 2 != 0 ||
      usaOffset + 2u * usaCount > kFixupStride - 2)
    return Status::Corrupt;
  const std::uint16_t usn = base::Le16(block, usaOffset);
  for (std::size_t i = 1; i < usaCount; ++i) {
    const std::size_t tail = i * kFixupStride - 2;
    if (base::Le16(block, tail) != usn) return Status::Corrupt;  // a torn or damaged write
    block[tail] = block[usaOffset + 2 * i];
    block[tail + 1] = block[usaOffset + 2 * i + 1];
  }
  return Status::Ok;
}

Status ParseFileRecord(base::Bytes r, FileRecordHeader& header, std::vector<Attribute>& attributes) {
  attributes.clear();
  if (r.size() < 0x30 || base::Le32(r, 0) != kFileMagic) return Status::Corrupt;
  const std::uint16_t first = base::Le16(r, 0x14);        // 0x14: offset of the first attribute
  header.flags = base::Le16(r, 0x16);                     // 0x16: flags
  header.usedSize = base::Le32(r, 0x18);                  // 0x18: bytes in use
  const std::uint32_t allocated = base::Le32(r, 0x1C);    // 0x1C: bytes allocated for the record
  header.baseRecord = RecordNumber(base::Le64(r, 0x20));  // 0x20: base record reference
  if (allocated != r.size() || header.usedSize > r.size() || first < 0x18 || first % 8 != 0 || first >= header.usedSize)
    return Status::Corrupt;
  std::size_t pos = first;
  // Every attribute takes at least 16 bytes, so the walk ends within usedSize / 16 steps.
  while (true) {
    if (!base::Fits(header.usedSize, pos, 4)) return Status::Corrupt;
    if (base::Le32(r, pos) == kAttributeEnd) return Status::Ok;
    if (!base::Fits(header.usedSize, pos, 16)) return Status::Corrupt;
    const std::uint32_t length = base::Le32(r, pos + 4);  // +0x04: attribute length
    if (length < 16 || length % 8 != 0 || !base::Fits(header.usedSize, pos, length)) return Status::Corrupt;
    Attribute a;
    if (const Status s = ParseAttribute(r.subspan(pos, length), a); s != Status::Ok) return s;
    attributes.push_back(a);
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

}  // namespace ntfs
