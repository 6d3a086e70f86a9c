#pragma once
// Directory indexes ($I30): B+tree nodes of $FILE_NAME keys sorted by upper-cased name.
#include <cstdint>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "ntfs/Ntfs.h"

namespace ntfs {

// The volume's $UpCase table: the upper-case form of every UTF-16 unit it covers, kept as
// read from disk; units past its end are their own upper case.
struct UpcaseTable {
  std::vector<std::uint8_t> bytes;
  std::uint16_t Upper(std::uint16_t c) const { return std::size_t{c} * 2 + 1 < bytes.size() ? base::Le16(bytes, 2u * c) : c; }
};

enum class Namespace : std::uint8_t { Posix = 0, Win32 = 1, Dos = 2, Win32AndDos = 3 };

// The fields of a directory entry the lookup reports.
struct IndexEntry {
  std::uint64_t fileReference = 0;
  std::uint64_t parentReference = 0;
  std::uint64_t dataSize = 0;
  Namespace nameSpace = Namespace::Posix;
  base::Bytes name;  // UTF-16LE, inside the node it was read from
};

// Decodes a $FILE_NAME value (an index key or a resident attribute).
Status ParseFileName(base::Bytes key, IndexEntry& out);

// What a node says about the key: found here, continue in the child node at childVcn, or
// absent from the index.
enum class NodeResult { Found, Descend, Missing };

// The node header (index root value at 0x10, index block at 0x18) and the entries it bounds.
Status NodeEntries(base::Bytes node, std::size_t headerAt, base::Bytes& entries, bool& hasChildren);

// Searches one node's entries for `key` (UTF-16 units) by the file-name collation.
Status SearchNode(base::Bytes entries, const std::u16string& key, const UpcaseTable& upcase, NodeResult& result,
                  IndexEntry& found, std::uint64_t& childVcn);

// The index root value: its header checks and the index block size it announces.
Status ParseIndexRoot(base::Bytes value, std::uint32_t& blockSize, base::Bytes& entries, bool& hasChildren);

}  // namespace ntfs
