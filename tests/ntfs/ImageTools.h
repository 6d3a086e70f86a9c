#pragma once
// Volume and disk images made at test time with ntfs-3g's and util-linux's tools, and the
// figures ntfs-3g's tools report about them: the expectations come from here, never from the
// reader under test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace ntfs::testing {

inline const std::string kToolPath = "PATH=\"$PATH:/usr/sbin:/sbin\" ";

inline std::string ImageDir() { return MORVEL_NTFS_IMAGE_DIR; }

inline bool HaveTool(const std::string& tool) {
  return std::system((kToolPath + "command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool Shell(const std::string& command) { return std::system((kToolPath + command).c_str()) == 0; }

// Standard output of a command.
inline std::string Capture(const std::string& command) {
  std::string out;
  if (std::FILE* p = popen((kToolPath + command + " 2>/dev/null").c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// A sparse file of `size` bytes formatted by mkntfs; the path, or empty when that failed.
inline std::string MakeVolume(const std::string& name, const std::string& size, unsigned sector, unsigned cluster) {
  const std::string path = ImageDir() + "/" + name;
  const std::string command = "rm -f '" + path + "' && truncate -s " + size + " '" + path + "' && mkntfs -F -Q -s " +
                              std::to_string(sector) + " -c " + std::to_string(cluster) + " -p 0 -H 0 -S 0 '" + path +
                              "' >/dev/null 2>&1";
  return Shell(command) ? path : std::string();
}

// Little-endian field of a tool's binary output; 0 past its end.
inline std::uint64_t LeAt(const std::string& b, std::size_t at, unsigned bytes) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < bytes && at + i < b.size(); ++i)
    v |= std::uint64_t{static_cast<unsigned char>(b[at + i])} << (8 * i);
  return v;
}

// Puts back the bytes an update sequence stands in for at the end of each 512-byte stride of a
// file record or index block; changes nothing when a tool did so already.
inline void UndoUpdateSequence(std::string& block) {
  const std::size_t usa = LeAt(block, 0x04, 2), count = LeAt(block, 0x06, 2);  // 0x04, 0x06: array offset, count
  for (std::size_t i = 1; i < count && usa + 2 * i + 1 < block.size() && i * 512 <= block.size(); ++i) {
    block[i * 512 - 2] = block[usa + 2 * i];
    block[i * 512 - 1] = block[usa + 2 * i + 1];
  }
}

// The root directory's index entries: the names ntfsls lists, and for each the data size its
// FILE_NAME key records (key + 0x30), the key found in the index's own bytes (ntfscat of the
// root's $I30 attributes) by its name length (key + 0x40) and UTF-16 name (key + 0x42).
// (The Sleuth Kit 4.11 refuses clusters over 64 KiB, which a third of the test volumes have.)
inline std::map<std::string, std::uint64_t> IndexSizes(const std::string& image) {
  const std::string i30 = "ntfscat -i 5 -n '$I30' -a ";
  std::string index = Capture(i30 + "0x90 '" + image + "'");  // $INDEX_ROOT: 0x08 index block size
  const std::size_t blockSize = LeAt(index, 0x08, 4);
  const std::string allocation = Capture(i30 + "0xA0 '" + image + "'");
  for (std::size_t at = 0; blockSize >= 512 && at + blockSize <= allocation.size(); at += blockSize) {
    std::string block = allocation.substr(at, blockSize);
    UndoUpdateSequence(block);
    index += block;
  }
  std::map<std::string, std::uint64_t> sizes;
  std::istringstream listing(Capture("ntfsls -a -s '" + image + "'"));
  for (std::string name; std::getline(listing, name);) {
    std::string utf16;  // the metadata files' names are ASCII
    for (const char c : name) utf16 += std::string{c, '\0'};
    for (auto at = index.find(utf16); name.size() > 2 && at != std::string::npos; at = index.find(utf16, at + 1))
      if (at >= 0x42 && LeAt(index, at - 2, 1) == name.size()) {
        sizes[name] = LeAt(index, at - 0x42 + 0x30, 8);
        break;
      }
  }
  return sizes;
}

// $MFT's valid data length and the end of its last run.
struct MftFigures {
  std::uint64_t initialized = 0;
  std::uint64_t runEnd = 0;
};

// The initialized size in record 0's unnamed non-resident $DATA header, the record as ntfscat
// gives $MFT's first bytes (ntfs-3g's tools print no initialized size).
inline std::uint64_t MftInitializedSize(const std::string& image) {
  std::string record = Capture("ntfscat '" + image + "' '$MFT'");
  record.resize(std::min<std::size_t>(record.size(), LeAt(record, 0x1C, 4)));  // 0x1C: bytes allocated
  UndoUpdateSequence(record);
  for (std::size_t at = LeAt(record, 0x14, 2); at + 0x40 <= record.size();) {          // 0x14: first attribute
    const std::uint64_t type = LeAt(record, at, 4), length = LeAt(record, at + 4, 4);  // +0: type, +4: length
    if (type == 0xFFFFFFFF || length == 0) break;
    if (type == 0x80 && LeAt(record, at + 8, 1) == 1 && LeAt(record, at + 9, 1) == 0)  // +8: non-resident, +9: name
      return LeAt(record, at + 0x38, 8);                                               // +0x38: initialized size
    at += length;
  }
  return 0;
}

// The end of $MFT's last run, from the runs ntfscluster lists for record 0's $DATA (0x80):
// rows of "VCN LCN Length", LCN -1 for a hole.
inline MftFigures MftFromTools(const std::string& image) {
  MftFigures f{MftInitializedSize(image), 0};
  std::istringstream in(Capture("ntfscluster -I 0 '" + image + "'"));
  bool inData = false;
  for (std::string line; std::getline(in, line);) {
    if (line.find(" - ") != std::string::npos) inData = line.find("0x80 - non-resident") != std::string::npos;
    long long vcn = 0, lcn = 0, length = 0;
    if (inData && std::sscanf(line.c_str(), "%lld %lld %lld", &vcn, &lcn, &length) == 3 && lcn >= 0 && length > 0)
      f.runEnd = std::max(f.runEnd, static_cast<std::uint64_t>(lcn + length));
  }
  return f;
}

}  // namespace ntfs::testing
