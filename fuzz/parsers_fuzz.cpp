// Fuzzes the record, runlist and index-node parsers directly, where the whole-path target
// rarely gets past the update sequence.
#include <vector>

#include "ntfs/Index.h"
#include "ntfs/Record.h"
#include "ntfs/Runlist.h"

namespace {

void Search(const ntfs::Node& node, const std::u16string& key) {
  ntfs::NodeResult result;
  ntfs::IndexEntry found;
  std::uint64_t child = 0;
  (void)SearchNode(node, key, ntfs::UpcaseTable{}, result, found, child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ntfs;
  if (size < 1) return 0;
  // First byte: record size as a number of 512-byte strides (1..8); the rest is the record.
  const std::size_t recordSize = kFixupStride * (1 + (data[0] & 7));
  std::vector<std::uint8_t> record(data + 1, data + size);
  record.resize(recordSize);
  FileRecordHeader header;
  std::vector<Attribute> attrs;
  if (ParseFileRecord(record, header, attrs).ok()) {
    for (const Attribute& a : attrs) {
      std::vector<Run> runs;
      if (a.nonResident) (void)DecodeRunlist(a.runlist, a.lowestVcn, a.highestVcn, 1u << 20, runs, a.runlistOffset);
      IndexEntry name;
      if (a.type == kFileName) (void)ParseFileName(a.value, name);
      std::uint32_t blockSize = 0;
      Node node;
      if (a.type == kIndexRoot && ParseIndexRoot(a.value, blockSize, node).ok()) Search(node, u"$MFT");
    }
  }
  (void)ApplyFixups(record, kIndxMagic);
  Node node;
  if (NodeEntries(record, 0x18, node).ok()) Search(node, u"$UpCase");
  return 0;
}
