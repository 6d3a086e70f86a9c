#include "ntfs/Index.h"

#include <algorithm>

#include "ntfs/Reason.h"
#include "ntfs/Record.h"

namespace ntfs {
namespace {

constexpr std::uint32_t kCollationFileName = 1;
constexpr std::uint32_t kEntryHasChild = 0x01;
constexpr std::uint32_t kEntryLast = 0x02;

// The file-name collation: upper-cased UTF-16 units compared in order, then the lengths.
int Collate(const std::u16string& key, base::Bytes name, const UpcaseTable& upcase) {
  const std::size_t units = name.size() / 2;
  const std::size_t n = std::min(key.size(), units);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint16_t a = upcase.Upper(key[i]);
    const std::uint16_t b = upcase.Upper(base::Le16(name, 2 * i));
    if (a != b) return a < b ? -1 : 1;
  }
  return key.size() == units ? 0 : (key.size() < units ? -1 : 1);
}

// One entry's fixed fields; `at` is its offset in the node's entries.
struct EntryHeader {
  std::uint16_t length = 0;
  std::uint16_t keyLength = 0;
  std::uint32_t flags = 0;
};

Result ReadEntryHeader(const Node& node, std::size_t pos, EntryHeader& h) {
  const base::Bytes e = node.entries;
  h.length = base::Le16(e, pos + 0x08);                                // +0x08: entry length
  h.keyLength = base::Le16(e, pos + 0x0A);                             // +0x0A: key length
  h.flags = base::Le32(e, pos + 0x0C);                                 // +0x0C: flags
  const std::uint32_t tail = (h.flags & kEntryHasChild) != 0 ? 8 : 0;  // the child node's VCN ends the entry
  const std::size_t at = node.offset + pos;
  if (h.length < 16 + tail || h.length % 8 != 0 || !base::Fits(e.size(), pos, h.length))
    return Corrupt("entry length " + Dec(h.length) + AtByte(at + 0x08));
  if (h.keyLength > h.length - 16 - tail)
    return Corrupt("key length " + Dec(h.keyLength) + AtByte(at + 0x0A) + " runs past its entry of " + Dec(h.length));
  return {};
}

// "U+0061"
std::string CodeUnit(std::uint16_t c) {
  const std::string hex = Hex(c).substr(2);
  return "U+" + std::string(4 - hex.size(), '0') + hex;  // Hex gives 2 to 4 digits
}

}  // namespace

Result CheckUpcase(const UpcaseTable& upcase) {
  const auto check = [&](std::uint16_t c) -> Result {
    const std::uint16_t want = (c >= 'a' && c <= 'z') ? static_cast<std::uint16_t>(c - 'a' + 'A') : c;
    if (upcase.Upper(c) == want) return {};
    return Corrupt(CodeUnit(c) + " maps to " + CodeUnit(upcase.Upper(c)) + ", not " + CodeUnit(want) + FieldAt(2u * c));
  };
  for (std::uint16_t c = 0; c < 0xA0; ++c)  // ASCII and the C1 controls
    if (Result r = check(c); !r.ok()) return r;
  for (const std::uint16_t c :
       {u'\u202A', u'\u202B', u'\u202C', u'\u202D', u'\u202E', u'\u2066', u'\u2067', u'\u2068', u'\u2069'})  // bidi
    if (Result r = check(c); !r.ok()) return r;
  return {};
}

bool CollatesEqual(const std::u16string& key, base::Bytes name, const UpcaseTable& upcase) {
  return Collate(key, name, upcase) == 0;
}

Result ParseFileName(base::Bytes k, IndexEntry& out) {
  if (k.size() < 0x42) return Corrupt("file name of " + Dec(k.size()) + " bytes is shorter than its header");
  out.parentReference = base::Le64(k, 0x00);      // 0x00: parent directory reference
  out.dataSize = base::Le64(k, 0x30);             // 0x30: data size as the directory records it
  const std::uint8_t units = base::Le8(k, 0x40);  // 0x40: name length in UTF-16 units
  const std::uint8_t ns = base::Le8(k, 0x41);     // 0x41: namespace
  if (ns > 3) return Corrupt("file name namespace " + Dec(ns) + " is unknown (byte 0x41 of the name)");
  if (units == 0 || !base::Fits(k.size(), 0x42, units * 2u))
    return Corrupt("file name of " + Dec(units) + " units is empty or runs past its " + Dec(k.size()) +
                   " bytes (byte 0x40 of the name)");
  out.nameSpace = static_cast<Namespace>(ns);
  out.name = k.subspan(0x42, units * 2u);  // 0x42: name
  return {};
}

Result NodeEntries(base::Bytes node, std::size_t headerAt, Node& out) {
  if (!base::Fits(node.size(), headerAt, 16)) return Corrupt("node header" + AtByte(headerAt) + " runs past the node");
  const std::uint32_t first = base::Le32(node, headerAt + 0x00);     // +0x00: first entry, from the header
  const std::uint32_t used = base::Le32(node, headerAt + 0x04);      // +0x04: bytes of entries in use
  out.hasChildren = (base::Le8(node, headerAt + 0x0C) & 0x01) != 0;  // +0x0C: 1 = entries have child nodes
  if (first < 16 || first > used)
    return Corrupt("first entry offset " + Hex(first) + " is out of place" + FieldAt(headerAt));
  if (!base::Fits(node.size() - headerAt, 0, used))
    return Corrupt("entries of " + Dec(used) + " bytes run past the node" + FieldAt(headerAt + 0x04));
  out.entries = node.subspan(headerAt + first, used - first);
  out.offset = headerAt + first;
  return {};
}

Result ParseIndexRoot(base::Bytes v, std::uint32_t& blockSize, Node& out) {
  if (v.size() < 0x20) return Corrupt("index root of " + Dec(v.size()) + " bytes is shorter than its header");
  if (base::Le32(v, 0x00) != kFileName)  // 0x00: indexed attribute type
    return Corrupt("indexed type " + Hex(base::Le32(v, 0x00)) + " is not $FILE_NAME" + FieldAt(0x00));
  if (base::Le32(v, 0x04) != kCollationFileName)  // 0x04: collation rule
    return Corrupt("collation " + Dec(base::Le32(v, 0x04)) + " is not the file-name collation" + FieldAt(0x04));
  blockSize = base::Le32(v, 0x08);  // 0x08: bytes per index block
  return NodeEntries(v, 0x10, out);
}

Result SearchNode(const Node& node, const std::u16string& key, const UpcaseTable& upcase, NodeResult& result,
                  IndexEntry& found, std::uint64_t& childVcn) {
  const base::Bytes e = node.entries;
  std::size_t pos = 0;
  // Each entry takes at least 16 bytes: the walk ends within entries.size() / 16 steps.
  while (base::Fits(e.size(), pos, 16)) {
    EntryHeader h;
    if (Result r = ReadEntryHeader(node, pos, h); !r.ok()) return r;
    const bool hasChild = (h.flags & kEntryHasChild) != 0;
    if (hasChild) childVcn = base::Le64(e, pos + h.length - 8);
    int order = -1;  // the last entry sorts after every name
    if ((h.flags & kEntryLast) == 0) {
      IndexEntry entry;
      if (Result r = ParseFileName(e.subspan(pos + 16, h.keyLength), entry); !r.ok())
        return std::move(r).In("entry" + AtByte(node.offset + pos));
      entry.fileReference = base::Le64(e, pos + 0x00);  // +0x00: file reference
      entry.offset = node.offset + pos;
      order = Collate(key, entry.name, upcase);
      if (order == 0) {
        found = entry;
        result = NodeResult::Found;
        return {};
      }
    }
    if (order < 0) {
      result = hasChild ? NodeResult::Descend : NodeResult::Missing;
      return {};
    }
    pos += h.length;
  }
  return Corrupt("no last entry before byte " + Hex(node.offset + e.size()));
}

}  // namespace ntfs
