#pragma once
// A small NTFS volume built byte by byte at test time: the boot sector, $MFT, $Bitmap, $UpCase
// and the root directory, which is all the reader reads. Tests rebuild one part to give the
// shapes a damaged or crafted image takes. 8 MiB, 4 KiB clusters, 512-byte sectors, 4 KiB
// records unless a test asks for others.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ntfs::testing {

using Block = std::vector<std::uint8_t>;

inline void PutLe(Block& b, std::size_t at, std::uint64_t v, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::size_t Align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }
inline void Append(Block& b, const Block& more) {
  const std::size_t at = b.size();
  b.resize(at + more.size());
  std::copy(more.begin(), more.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

inline Block Utf16Le(std::u16string_view s) {
  Block b(2 * s.size());
  for (std::size_t i = 0; i < s.size(); ++i) PutLe(b, 2 * i, s[i], 2);
  return b;
}

// Mapping pairs; a run with lcn < 0 is a hole. Each field as short as its value allows.
inline Block Runlist(const std::vector<std::pair<std::int64_t, std::uint64_t>>& runs) {
  const auto bytes = [](std::int64_t v) {
    unsigned n = 1;
    while (n < 8 && (v < -(std::int64_t{1} << (8 * n - 1)) || v >= (std::int64_t{1} << (8 * n - 1)))) ++n;
    return n;
  };
  Block out;
  std::int64_t previous = 0;
  for (const auto& [lcn, length] : runs) {
    const unsigned lengthBytes = bytes(static_cast<std::int64_t>(length));
    const unsigned offsetBytes = lcn < 0 ? 0 : bytes(lcn - previous);
    Block run(1 + lengthBytes + offsetBytes);
    run[0] = static_cast<std::uint8_t>(lengthBytes | offsetBytes << 4);
    PutLe(run, 1, length, lengthBytes);
    if (lcn >= 0) PutLe(run, 1 + lengthBytes, static_cast<std::uint64_t>(lcn - previous), offsetBytes);
    if (lcn >= 0) previous = lcn;
    Append(out, run);
  }
  out.push_back(0);
  return out;
}

inline Block ResidentAttribute(std::uint32_t type, std::u16string_view name, const Block& value) {
  const std::size_t valueAt = Align8(0x18 + 2 * name.size());
  Block a(Align8(valueAt + value.size()));
  PutLe(a, 0x00, type, 4);
  PutLe(a, 0x04, a.size(), 4);
  PutLe(a, 0x09, name.size(), 1);
  PutLe(a, 0x0A, 0x18, 2);
  PutLe(a, 0x10, value.size(), 4);
  PutLe(a, 0x14, valueAt, 2);
  const Block n = Utf16Le(name);
  std::copy(n.begin(), n.end(), a.begin() + 0x18);
  std::copy(value.begin(), value.end(), a.begin() + static_cast<std::ptrdiff_t>(valueAt));
  return a;
}

// One extent; the sizes belong in the first (lowestVcn 0) only.
inline Block NonResidentAttribute(std::uint32_t type, std::u16string_view name, std::uint64_t lowestVcn,
                                  std::uint64_t highestVcn, const Block& runs, std::uint64_t dataSize) {
  const std::size_t runsAt = Align8(0x40 + 2 * name.size());
  Block a(Align8(runsAt + runs.size()));
  PutLe(a, 0x00, type, 4);
  PutLe(a, 0x04, a.size(), 4);
  a[0x08] = 1;
  PutLe(a, 0x09, name.size(), 1);
  PutLe(a, 0x0A, 0x40, 2);
  PutLe(a, 0x10, lowestVcn, 8);
  PutLe(a, 0x18, highestVcn, 8);
  PutLe(a, 0x20, runsAt, 2);
  PutLe(a, 0x28, (dataSize + 4095) & ~std::uint64_t{4095}, 8);
  PutLe(a, 0x30, dataSize, 8);
  PutLe(a, 0x38, dataSize, 8);
  const Block n = Utf16Le(name);
  std::copy(n.begin(), n.end(), a.begin() + 0x40);
  std::copy(runs.begin(), runs.end(), a.begin() + static_cast<std::ptrdiff_t>(runsAt));
  return a;
}

// Puts sequence number 1 at the end of every 512-byte stride, the bytes it covers into the
// update sequence array at `usa`.
inline void Protect(Block& b, std::size_t usa) {
  const std::size_t count = b.size() / 512 + 1;
  PutLe(b, 0x04, usa, 2);
  PutLe(b, 0x06, count, 2);
  PutLe(b, usa, 1, 2);
  for (std::size_t i = 1; i < count; ++i) {
    std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(i * 512 - 2), 2,
                b.begin() + static_cast<std::ptrdiff_t>(usa + 2 * i));
    PutLe(b, i * 512 - 2, 1, 2);
  }
}

inline constexpr std::uint64_t kSequence = std::uint64_t{1} << 48;  // a file reference's sequence number

// A file record as written to disk: flags 0x01 in use, 0x02 directory.
inline Block FileRecord(std::size_t size, std::uint16_t flags, std::uint64_t baseRecord,
                        const std::vector<Block>& attrs) {
  Block r(size);
  std::memcpy(r.data(), "FILE", 4);
  const std::size_t first = Align8(0x30 + 2 * (size / 512 + 1));
  PutLe(r, 0x14, first, 2);
  PutLe(r, 0x16, flags, 2);
  PutLe(r, 0x1C, size, 4);
  PutLe(r, 0x20, baseRecord == 0 ? 0 : baseRecord | kSequence, 8);
  std::size_t at = first;
  for (const Block& a : attrs) {
    if (at + a.size() + 8 > size) throw std::length_error("the attributes do not fit the record");
    std::copy(a.begin(), a.end(), r.begin() + static_cast<std::ptrdiff_t>(at));
    at += a.size();
  }
  PutLe(r, at, 0xFFFFFFFF, 4);
  PutLe(r, 0x18, at + 8, 4);
  Protect(r, 0x30);
  return r;
}

// A $FILE_NAME value; namespace 1 Win32, 2 DOS, 3 both.
inline Block FileName(std::u16string_view name, std::uint8_t nameSpace, std::uint64_t size, std::uint64_t parent = 5) {
  Block k(0x42 + 2 * name.size());
  PutLe(k, 0x00, parent | kSequence, 8);
  PutLe(k, 0x28, size, 8);
  PutLe(k, 0x30, size, 8);
  PutLe(k, 0x40, name.size(), 1);
  PutLe(k, 0x41, nameSpace, 1);
  const Block n = Utf16Le(name);
  std::copy(n.begin(), n.end(), k.begin() + 0x42);
  return k;
}

struct RootName {
  std::u16string name;
  std::uint64_t record = 0;
  std::uint8_t nameSpace = 3;
  std::uint64_t size = 0;
};

// The index entries of `names`, sorted as the file-name collation sorts ASCII, and the last
// entry, which points to the node at `child` when given.
inline Block IndexEntries(std::vector<RootName> names, std::int64_t child = -1) {
  const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  std::sort(names.begin(), names.end(), [&](const RootName& a, const RootName& b) {
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
  });
  Block out;
  for (const RootName& n : names) {
    const Block key = FileName(n.name, n.nameSpace, n.size);
    Block e(Align8(16 + key.size()));
    PutLe(e, 0x00, n.record | kSequence, 8);
    PutLe(e, 0x08, e.size(), 2);
    PutLe(e, 0x0A, key.size(), 2);
    std::copy(key.begin(), key.end(), e.begin() + 16);
    Append(out, e);
  }
  Block last(child < 0 ? 16 : 24);
  PutLe(last, 0x08, last.size(), 2);
  PutLe(last, 0x0C, child < 0 ? 2 : 3, 4);  // last, with a child node
  if (child >= 0) PutLe(last, 16, static_cast<std::uint64_t>(child), 8);
  Append(out, last);
  return out;
}

// A node header at `at` for entries that follow it at `at + first`.
inline void PutNodeHeader(Block& b, std::size_t at, std::size_t first, std::size_t entries, std::size_t allocated,
                          bool children) {
  PutLe(b, at + 0x00, first, 4);
  PutLe(b, at + 0x04, first + entries, 4);
  PutLe(b, at + 0x08, allocated, 4);
  PutLe(b, at + 0x0C, children ? 1 : 0, 1);
}

inline Block IndexRoot(const Block& entries, bool children) {
  Block v(0x20);
  PutLe(v, 0x00, 0x30, 4);  // indexes $FILE_NAME
  PutLe(v, 0x04, 1, 4);     // by the file-name collation
  PutLe(v, 0x08, 4096, 4);  // in blocks of 4 KiB
  PutLe(v, 0x0C, 1, 1);
  PutNodeHeader(v, 0x10, 0x10, entries.size(), 0x10 + entries.size(), children);
  Append(v, entries);
  return v;
}

inline Block IndexBlock(std::uint64_t vcn, const Block& entries) {
  Block b(4096);
  std::memcpy(b.data(), "INDX", 4);
  PutLe(b, 0x10, vcn, 8);
  const std::size_t first = 0x40 - 0x18;  // past the update sequence array of 9 entries at 0x28
  PutNodeHeader(b, 0x18, first, entries.size(), b.size() - 0x18, false);
  std::copy(entries.begin(), entries.end(), b.begin() + 0x40);
  Protect(b, 0x28);
  return b;
}

// 'a'-'z' raised to 'A'-'Z', every other unit of the table its own upper case.
inline Block AsciiUpcase(std::size_t units = 256) {
  Block t(2 * units);
  for (std::size_t c = 0; c < units; ++c) PutLe(t, 2 * c, c >= 'a' && c <= 'z' ? c - 32 : c, 2);
  return t;
}

// The eleven metadata files a report looks for, under their own record numbers.
inline std::vector<RootName> MetadataNames() {
  const char16_t* names[] = {u"$MFT",    u"$MFTMirr", u"$LogFile", u"$Volume", u"$AttrDef", nullptr,
                             u"$Bitmap", u"$Boot",    u"$BadClus", u"$Secure", u"$UpCase",  u"$Extend"};
  std::vector<RootName> out;
  for (std::uint64_t n = 0; n < 12; ++n)
    if (names[n] != nullptr) out.push_back({names[n], n, 3, 1000 * (n + 1)});
  return out;
}

class SyntheticVolume {
 public:
  static constexpr std::uint64_t kCluster = 4096;
  static constexpr std::uint64_t kClusters = 2048;
  static constexpr std::uint64_t kBitmapLcn = 4;
  static constexpr std::uint64_t kIndexLcn = 8;  // the root's index block at VCN 0
  static constexpr std::uint64_t kMftLcn = 16;
  static constexpr std::uint64_t kRecords = 16;
  static constexpr std::uint64_t kSpareLcn = 512;  // free for what a test adds

  explicit SyntheticVolume(std::uint32_t recordSize = 4096) : recordSize_(recordSize), image_(kClusters * kCluster) {
    PutBootSector();
    const std::uint64_t mftClusters = kRecords * recordSize_ / kCluster;
    PutMft({{kMftLcn, mftClusters}}, kRecords * recordSize_);
    PutRecord(6, {NonResidentAttribute(0x80, u"", 0, 0, Runlist({{kBitmapLcn, 1}}), kClusters / 8)});
    PutClusters(kBitmapLcn, Block(kMftLcn / 8 + mftClusters / 8, 0xFF));  // the clusters up to $MFT's end in use
    PutUpcase(AsciiUpcase());
    PutRoot(MetadataNames(), false);
  }

  std::uint32_t recordSize() const { return recordSize_; }
  Block& image() { return image_; }
  std::size_t RecordAt(std::uint64_t n) const { return kMftLcn * kCluster + n * recordSize_; }

  void PutClusters(std::uint64_t lcn, const Block& data) {
    std::copy(data.begin(), data.end(), image_.begin() + static_cast<std::ptrdiff_t>(lcn * kCluster));
  }
  void PutRecord(std::uint64_t n, const std::vector<Block>& attrs, std::uint16_t flags = 1, std::uint64_t base = 0) {
    const Block r = FileRecord(recordSize_, flags, base, attrs);
    std::copy(r.begin(), r.end(), image_.begin() + static_cast<std::ptrdiff_t>(RecordAt(n)));
  }
  void PutMft(const std::vector<std::pair<std::int64_t, std::uint64_t>>& runs, std::uint64_t dataSize) {
    std::uint64_t clusters = 0;
    for (const auto& run : runs) clusters += run.second;
    PutRecord(0, {NonResidentAttribute(0x80, u"", 0, clusters - 1, Runlist(runs), dataSize)});
  }
  void PutUpcase(const Block& table) { PutRecord(10, {ResidentAttribute(0x80, u"", table)}); }
  // The root directory: its names in the index root, or in one index block below it.
  void PutRoot(const std::vector<RootName>& names, bool inBlock) {
    if (!inBlock) {
      PutRecord(5, {ResidentAttribute(0x90, u"$I30", IndexRoot(IndexEntries(names), false))}, 3);
      return;
    }
    PutRecord(5,
              {ResidentAttribute(0x90, u"$I30", IndexRoot(IndexEntries({}, 0), true)),
               NonResidentAttribute(0xA0, u"$I30", 0, 0, Runlist({{kIndexLcn, 1}}), kCluster)},
              3);
    PutClusters(kIndexLcn, IndexBlock(0, IndexEntries(names)));
  }

 private:
  void PutBootSector() {
    Block b(512);
    std::memcpy(b.data(), "\xEB\x52\x90NTFS    ", 11);
    PutLe(b, 0x0B, 512, 2);
    b[0x0D] = 8;
    PutLe(b, 0x28, kClusters * 8, 8);
    PutLe(b, 0x30, kMftLcn, 8);
    PutLe(b, 0x38, 2, 8);
    b[0x40] = static_cast<std::uint8_t>(256 - std::countr_zero(recordSize_));  // 2^n bytes per record
    b[0x44] = 1;                                                               // one cluster per index block
    PutLe(b, 0x48, 0x0123456789ABCDEFull, 8);
    PutLe(b, 0x1FE, 0xAA55, 2);
    PutClusters(0, b);
  }

  std::uint32_t recordSize_;
  Block image_;
};

}  // namespace ntfs::testing
