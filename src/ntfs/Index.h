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
  base::PageBytes bytes;
  std::uint16_t Upper(std::uint16_t c) const {
    return std::size_t{c} * 2 + 1 < bytes.size() ? base::Le16(bytes, 2u * c) : c;
  }
};

enum class Namespace : std::uint8_t { Posix = 0, Win32 = 1, Dos = 2, Win32AndDos = 3 };

// The fields of a directory entry the lookup reports.
struct IndexEntry {
  std::uint64_t fileReference = 0;
  std::uint64_t parentReference = 0;
  std::uint64_t dataSize = 0;
  Namespace nameSpace = Namespace::Posix;
  base::Bytes name;        // UTF-16LE, inside the node it was read from
  std::size_t offset = 0;  // of the entry in its node, for reasons
};

// Checks that the table raises 'a'-'z' to 'A'-'Z' and leaves every other ASCII unit, the C1
// controls and the bidi controls as they are. The names looked up are ASCII: a table that
// folds other units onto them, or fails to fold their letters, would have the lookup report a
// name that does not match the one asked for, or control characters as if they did.
Result CheckUpcase(const UpcaseTable& upcase);

// Whether a stored name (UTF-16LE) equals `key` by the file-name collation.
bool CollatesEqual(const std::u16string& key, base::Bytes name, const UpcaseTable& upcase);

// Decodes a $FILE_NAME value (an index key or a resident attribute).
Result ParseFileName(base::Bytes key, IndexEntry& out);

// What a node says about the key: found here, continue in the child node at childVcn, or
// absent from the index.
enum class NodeResult { Found, Descend, Missing };

// One node's entries: the bytes its header bounds and where they start in the node.
struct Node {
  base::Bytes entries;
  std::size_t offset = 0;  // of the entries in the node, for reasons
  bool hasChildren = false;
};

// The node header (index root value at 0x10, index block at 0x18) and the entries it bounds.
Result NodeEntries(base::Bytes node, std::size_t headerAt, Node& out);

// Searches one node's entries for `key` (UTF-16 units) by the file-name collation. `found` is
// the entry whose name collates equal to the key.
Result SearchNode(const Node& node, const std::u16string& key, const UpcaseTable& upcase, NodeResult& result,
                  IndexEntry& found, std::uint64_t& childVcn);

// The index root value: its header checks and the index block size it announces.
Result ParseIndexRoot(base::Bytes value, std::uint32_t& blockSize, Node& out);

}  // namespace ntfs
