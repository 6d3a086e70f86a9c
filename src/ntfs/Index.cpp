#include "ntfs/Index.h"

#include <algorithm>

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

}  // namespace

Status ParseFileName(base::Bytes k, IndexEntry& out) {
  if (k.size() < 0x42) return Status::Corrupt;
  out.parentReference = base::Le64(k, 0x00);      // 0x00: parent directory reference
  out.dataSize = base::Le64(k, 0x30);             // 0x30: data size as the directory records it
  const std::uint8_t units = base::Le8(k, 0x40);  // 0x40: name length in UTF-16 units
  const std::uint8_t ns = base::Le8(k, 0x41);     // 0x41: namespace
  if (ns > 3 || units == 0 || !base::Fits(k.size(), 0x42, units * 2u)) return Status::Corrupt;
  out.nameSpace = static_cast<Namespace>(ns);
  out.name = k.subspan(0x42, units * 2u);  // 0x42: name
  return Status::Ok;
}

Status NodeEntries(base::Bytes node, std::size_t headerAt, base::Bytes& entries, bool& hasChildren) {
  if (!base::Fits(node.size(), headerAt, 16)) return Status::Corrupt;
  const std::uint32_t first = base::Le32(node, headerAt + 0x00);  // +0x00: first entry, from the header
  const std::uint32_t used = base::Le32(node, headerAt + 0x04);   // +0x04: bytes of entries in use
  hasChildren = (base::Le8(node, headerAt + 0x0C) & 0x01) != 0;   // +0x0C: 1 = entries have child nodes
  if (first < 16 || first > used || !base::Fits(node.size() - headerAt, 0, used)) return Status::Corrupt;
  entries = node.subspan(headerAt + first, used - first);
  return Status::Ok;
}

Status ParseIndexRoot(base::Bytes v, std::uint32_t& blockSize, base::Bytes& entries, bool& hasChildren) {
  if (v.size() < 0x20) return Status::Corrupt;
  if (base::Le32(v, 0x00) != kFileName || base::Le32(v, 0x04) != kCollationFileName)
    return Status::Corrupt;   // 0x00: indexed type, 0x04: collation
  blockSize = base::Le32(v, 0x08);  // 0x08: bytes per index block
  return NodeEntries(v, 0x10, entries, hasChildren);
}

Status SearchNode(base::Bytes e, const std::u16string& key, const UpcaseTable& upcase, NodeResult& result, IndexEntry& found,
                  std::uint64_t& childVcn) {
  std::size_t pos = 0;
  // Each entry takes at least 16 bytes: the walk ends within entries.size() / 16 steps.
  while (base::Fits(e.size(), pos, 16)) {
    const std::uint16_t length = base::Le16(e, pos + 0x08);     // +0x08: entry length
    const std::uint16_t keyLength = base::Le16(e, pos + 0x0A);  // +0x0A: key length
    const std::uint32_t flags = base::Le32(e, pos + 0x0C);      // +0x0C: flags
    const bool hasChild = (flags & kEntryHasChild) != 0;
    const std::uint32_t tail = hasChild ? 8 : 0;  // the child node's VCN ends the entry
    if (length < 16 + tail || length % 8 != 0 || !base::Fits(e.size(), pos, length) || keyLength > length - 16 - tail)
      return Status::Corrupt;
    if (hasChild) childVcn = base::Le64(e, pos + length - 8);
    int order = -1;  // the last entry sorts after every name
    if ((flags & kEntryLast) == 0) {
      IndexEntry entry;
      if (const Status s = ParseFileName(e.subspan(pos + 16, keyLength), entry); s != Status::Ok) return s;
      entry.fileReference = base::Le64(e, pos + 0x00);  // +0x00: file reference
      order = Collate(key, entry.name, upcase);
      if (order == 0) {
        found = entry;
        result = NodeResult::Found;
        return Status::Ok;
      }
    }
    if (order < 0) {
      result = hasChild ? NodeResult::Descend : NodeResult::Missing;
      return Status::Ok;
    }
    pos += length;
  }
  return Status::Corrupt;  // no last entry
}

}  // namespace ntfs
