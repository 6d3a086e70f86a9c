// Fuzzes the record, runlist and index-node parsers directly, where the whole-path target
// rarely gets past the update sequence.
#include <vector>

#include "ntfs/Index.h"
#include "ntfs/Record.h"
#include "ntfs/Runlist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ntfs;
  if (size < 1) return 0;
  // First byte: record size as a number of 512-byte strides (1..8); the rest is the record.
  const std::size_t recordSize = kFixupStride * (1 + (data[0] & 7));
  std::vector<std::uint8_t> record(data + 1, data + size);
  record.resize(recordSize);
  FileRecordHeader header;
  std::vector<Attribute> attrs;
  if (ParseFileRecord(record, header, attrs) == Status::Ok) {
    for (const Attribute& a : attrs) {
      std::vector<Run> runs;
      if (a.nonResident) DecodeRunlist(a.runlist, a.lowestVcn, a.highestVcn, 1u << 20, runs);
      IndexEntry name;
      if (a.type == kFileName) ParseFileName(a.value, name);
      std::uint32_t blockSize = 0;
      base::Bytes entries;
      bool children = false;
      if (a.type == kIndexRoot && ParseIndexRoot(a.value, blockSize, entries, children) == Status::Ok) {
        NodeResult result;
        IndexEntry found;
        std::uint64_t child = 0;
        SearchNode(entries, u"$MFT", UpcaseTable{}, result, found, child);
      }
    }
  }
  ApplyFixups(record, kIndxMagic);
  base::Bytes entries;
  bool children = false;
  if (NodeEntries(record, 0x18, entries, children) == Status::Ok) {
    NodeResult result;
    IndexEntry found;
    std::uint64_t child = 0;
    SearchNode(entries, u"$UpCase", UpcaseTable{}, result, found, child);
  }
  return 0;
}
