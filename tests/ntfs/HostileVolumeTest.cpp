// Hostile volumes made at test time by one generator, each read as a report reads it (open,
// volume data, the eleven root lookups): the status and reason of the first refusal, or the
// names the lookups report.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "ntfs/Ntfs.h"
#include "tests/ntfs/Sources.h"
#include "tests/ntfs/SyntheticVolume.h"

namespace ntfs::testing {
namespace {

constexpr const char* kReportNames[] = {"$MFT",  "$MFTMirr", "$LogFile", "$Volume", "$AttrDef", "$Bitmap",
                                        "$Boot", "$BadClus", "$Secure",  "$UpCase", "$Extend"};
constexpr const char* kAllFound =
    "$MFT $MFTMirr $LogFile $Volume $AttrDef $Bitmap $Boot $BadClus $Secure $UpCase $Extend";

struct Outcome {
  Result result;
  std::string found;  // the names reported, space-separated
};

Outcome ReadAsAReport(Block image) {
  MemorySource source(std::move(image));
  std::unique_ptr<Volume> volume;
  if (Result r = Volume::Open(source, 0, volume); !r.ok()) return {std::move(r), ""};
  VolumeData data;
  if (Result r = volume->QueryVolumeData(data); !r.ok()) return {std::move(r), ""};
  Outcome out;
  for (const char* name : kReportNames) {
    std::optional<RootEntry> entry;
    if (Result r = volume->FindRootEntry(name, entry); !r.ok()) return {std::move(r), out.found};
    if (entry) out.found += (out.found.empty() ? "" : " ") + entry->name;
  }
  return out;
}

// As many one-cluster holes as a 64 KiB record holds in one runlist.
constexpr std::uint64_t kHoles = 29500;

Block ListEntry(std::uint32_t type, std::uint64_t vcn, std::uint64_t record) {
  Block e(0x22);
  PutLe(e, 0x00, type, 4);
  PutLe(e, 0x04, e.size(), 2);
  PutLe(e, 0x06, 4, 1);     // name of 4 units
  PutLe(e, 0x07, 0x1A, 1);  // at 0x1A
  PutLe(e, 0x08, vcn, 8);
  PutLe(e, 0x10, record | kSequence, 8);
  const Block name = Utf16Le(u"$I30");
  std::copy(name.begin(), name.end(), e.begin() + 0x1A);
  return e;
}

struct Listed {
  std::uint64_t vcn, record;
};

// The root's index allocation through an attribute list that names, after the index root,
// the extents `entries` in turn; `records` holds the extension records' extents.
void RootThroughList(SyntheticVolume& v, const std::vector<Listed>& entries,
                     const std::map<std::uint64_t, std::vector<Block>>& records) {
  for (const auto& [number, extents] : records) v.PutRecord(number, extents, 1, 5);
  Block list = ListEntry(0x90, 0, 5);
  for (const Listed& e : entries) Append(list, ListEntry(0xA0, e.vcn, e.record));
  const std::uint64_t clusters = (list.size() + SyntheticVolume::kCluster - 1) / SyntheticVolume::kCluster;
  v.PutClusters(SyntheticVolume::kSpareLcn, list);
  v.PutRecord(
      5,
      {NonResidentAttribute(0x20, u"", 0, clusters - 1,
                            Runlist({{static_cast<std::int64_t>(SyntheticVolume::kSpareLcn), clusters}}), list.size()),
       ResidentAttribute(0x90, u"$I30", IndexRoot(IndexEntries({}, 0), true))},
      3);
}

// An extent of the root's index allocation at `vcn`: `holes` one-cluster holes.
Block IndexExtent(std::uint64_t vcn, std::uint64_t holes) {
  const std::vector<std::pair<std::int64_t, std::uint64_t>> runs(holes, {-1, 1});
  return NonResidentAttribute(0xA0, u"$I30", vcn, vcn + holes - 1, Runlist(runs), vcn == 0 ? 1u << 20 : 0);
}

// Extents of one cluster at VCNs 0..n-1, the even ones in record 12, the odd ones in 13: the
// list names the two records in turn.
void AlternatingExtents(SyntheticVolume& v, std::uint64_t n) {
  std::map<std::uint64_t, std::vector<Block>> records;
  std::vector<Listed> entries;
  for (std::uint64_t vcn = 0; vcn < n; ++vcn) {
    records[12 + vcn % 2].push_back(IndexExtent(vcn, 1));
    entries.push_back({vcn, 12 + vcn % 2});
  }
  RootThroughList(v, entries, records);
}

// $Boot indexed under its DOS name only; its record holds that and the Win32 name `win32`.
void DosNameOnly(SyntheticVolume& v, std::u16string_view win32) {
  std::vector<RootName> names = MetadataNames();
  for (RootName& n : names)
    if (n.name == u"$Boot") n.nameSpace = 2;
  v.PutRoot(names, false);
  v.PutRecord(7, {ResidentAttribute(0x30, u"", FileName(u"$Boot", 2, 8000)),
                  ResidentAttribute(0x30, u"", FileName(win32, 1, 8000))});
}

struct Case {
  const char* what;
  std::uint32_t recordSize;
  std::function<void(SyntheticVolume&)> build;
  Status status;
  const char* reason;  // a part of it
  const char* found;
};

TEST(HostileVolume, EachShapeEndsWithItsStatusAndReason) {
  const std::size_t index = SyntheticVolume::kIndexLcn * SyntheticVolume::kCluster;
  const Case cases[] = {
      {"the volume as generated", 4096, [](SyntheticVolume&) {}, Status::Ok, "", kAllFound},
      {"its root in an index block", 4096, [](SyntheticVolume& v) { v.PutRoot(MetadataNames(), true); }, Status::Ok, "",
       kAllFound},
      {"7,700 list entries name one extent of 29,500 runs", 65536,
       [](SyntheticVolume& v) {
         RootThroughList(v, std::vector<Listed>(7699, {0, 12}), {{12, {IndexExtent(0, kHoles)}}});
       },
       Status::Corrupt, "$MFT record 5, attribute list: entry at byte 0x44 repeats or goes back from VCN 0 to 0", ""},
      {"list entries go back in VCN", 65536,
       [](SyntheticVolume& v) {
         RootThroughList(v, {{0, 12}, {kHoles, 13}, {0, 12}},
                         {{12, {IndexExtent(0, kHoles)}}, {13, {IndexExtent(kHoles, kHoles)}}});
       },
       Status::Corrupt, "entry at byte 0x66 repeats or goes back from VCN 29500 to 0", ""},
      {"list entries name more extension records than the bound", 65536,
       [](SyntheticVolume& v) { AlternatingExtents(v, 300); }, Status::Corrupt,
       "$MFT record 5, attribute list: entries name more than 16777216 bytes of extension records", ""},
      {"extents of one stream hold more runs than the cap", 65536,
       [](SyntheticVolume& v) {
         RootThroughList(v, {{0, 12}, {kHoles, 13}, {2 * kHoles, 14}},
                         {{12, {IndexExtent(0, kHoles)}},
                          {13, {IndexExtent(kHoles, kHoles)}},
                          {14, {IndexExtent(2 * kHoles, kHoles)}}});
       },
       Status::Corrupt,
       "$MFT record 14, attribute at byte 0x138: run at byte 0x3490: the stream has more than 65536 runs", ""},
      {"torn root record", 4096, [](SyntheticVolume& v) { v.image()[v.RecordAt(5) + 0x1FE] ^= 0xFF; }, Status::Corrupt,
       "root directory's index root: $MFT record 5: update sequence mismatch at byte 0x1FE", ""},
      {"torn index block", 4096,
       [&](SyntheticVolume& v) {
         v.PutRoot(MetadataNames(), true);
         v.image()[index + 0x3FE] ^= 0xFF;
       },
       Status::Corrupt, "root directory's index block at VCN 0: update sequence mismatch at byte 0x3FE", ""},
      {"index entry of length 0", 4096,
       [&](SyntheticVolume& v) {
         v.PutRoot(MetadataNames(), true);
         PutLe(v.image(), index + 0x48, 0, 2);
       },
       Status::Corrupt, "root directory's index block at VCN 0: entry length 0 at byte 0x48", ""},
      {"all-zero $UpCase", 4096, [](SyntheticVolume& v) { v.PutUpcase(Block(512, 0)); }, Status::Corrupt,
       "$UpCase: U+0001 maps to U+0000, not U+0001 (byte 0x02)", ""},
      {"$UpCase folds a C1 control onto a letter", 4096,
       [](SyntheticVolume& v) {
         Block table = AsciiUpcase();
         PutLe(table, 2 * 0x9B, 'T', 2);
         v.PutUpcase(table);
       },
       Status::Corrupt, "$UpCase: U+009B maps to U+0054, not U+009B", ""},
      {"$MFT larger than the volume", 4096,
       [](SyntheticVolume& v) {
         v.PutMft({{SyntheticVolume::kMftLcn, 4}, {-1, std::uint64_t{1} << 40}}, ((std::uint64_t{1} << 40) + 4) * 4096);
       },
       Status::Corrupt, "$MFT: data size 4503599627386880 exceeds the volume's 8388608 bytes", ""},
      {"DOS name of a file whose Win32 name matches", 4096, [](SyntheticVolume& v) { DosNameOnly(v, u"$BOOT"); },
       Status::Ok, "", "$MFT $MFTMirr $LogFile $Volume $AttrDef $Bitmap $BOOT $BadClus $Secure $UpCase $Extend"},
      {"DOS name of a file whose Win32 name does not match", 4096,
       [](SyntheticVolume& v) { DosNameOnly(v, u"\x1b]0;owned\a$Boot"); }, Status::Corrupt,
       "names $MFT record 7, whose Win32 name does not match it", "$MFT $MFTMirr $LogFile $Volume $AttrDef $Bitmap"},
      {"control characters in other names", 4096,
       [](SyntheticVolume& v) {
         std::vector<RootName> names = MetadataNames();
         for (const char16_t* name : {u"$MFT\x1b[2J", u"\x1b]0;x\a", u"$Bo\u202Eot", u"$MF\u009B", u"$Boot\r\n"})
           names.push_back({name, 12, 1, 1});
         v.PutRoot(names, true);
       },
       Status::Ok, "", kAllFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SyntheticVolume volume(c.recordSize);
    c.build(volume);
    const Outcome got = ReadAsAReport(volume.image());
    EXPECT_EQ(got.result.status(), c.status) << got.result;
    EXPECT_NE(got.result.reason().find(c.reason), std::string::npos) << got.result.reason();
    EXPECT_EQ(got.result.ok(), got.result.reason().empty());
    EXPECT_EQ(got.found, c.found);
  }
}

}  // namespace
}  // namespace ntfs::testing
