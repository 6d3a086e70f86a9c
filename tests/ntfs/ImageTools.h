#pragma once
// Volume and disk images made at test time with ntfs-3g's and util-linux's tools, and the
// figures those tools report about them: the expectations come from here, never from the
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

// "Filename: 'X'" → the "Data Size:" printed before it, for every index entry ntfsinfo dumps.
inline std::map<std::string, std::uint64_t> IndexSizes(const std::string& image) {
  std::map<std::string, std::uint64_t> sizes;
  std::istringstream in(Capture("ntfsinfo -F / -v '" + image + "'"));
  std::uint64_t last = 0;
  for (std::string line; std::getline(in, line);) {
    if (auto at = line.find("Data Size:"); at != std::string::npos) last = std::stoull(line.substr(at + 10));
    if (auto at = line.find("Filename:"); at != std::string::npos) {
      const auto open = line.find('\'', at), close = line.rfind('\'');
      if (open != std::string::npos && close > open) sizes[line.substr(open + 1, close - open - 1)] = last;
    }
  }
  return sizes;
}

// $MFT's valid data length and the end of its last run, as ntfsinfo dumps record 0.
struct MftFigures {
  std::uint64_t initialized = 0;
  std::uint64_t runEnd = 0;
};

inline MftFigures MftFromNtfsInfo(const std::string& image) {
  MftFigures f;
  std::istringstream in(Capture("ntfsinfo -i 0 -v '" + image + "'"));
  bool inData = false, inRuns = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Dumping attribute", 0) == 0) inData = line.find("$DATA") != std::string::npos, inRuns = false;
    if (!inData) continue;
    if (auto at = line.find("Initialized size:"); at != std::string::npos)
      f.initialized = std::stoull(line.substr(at + 17));
    if (line.find("Runlist:") != std::string::npos) {
      inRuns = true;
      continue;
    }
    std::istringstream row(line);
    std::string vcn, lcn, length;
    if (inRuns && row >> vcn >> lcn >> length && lcn.rfind("0x", 0) == 0)
      f.runEnd = std::max<std::uint64_t>(f.runEnd, std::stoull(lcn, nullptr, 16) + std::stoull(length, nullptr, 16));
  }
  return f;
}

}  // namespace ntfs::testing
