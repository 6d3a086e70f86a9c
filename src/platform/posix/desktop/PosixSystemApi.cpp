#include "platform/posix/desktop/PosixSystemApi.h"

#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "core/binary/ExecutableImage.h"
#include "core/binary/VersionResource.h"
#include "core/system/OsDescription.h"
#include "core/system/Version.h"
#include "platform/posix/PosixLocale.h"

namespace morvel {
namespace {

constexpr std::int32_t kErrorFileNotFound = 2;
constexpr std::size_t kMaxExecutableSize = std::size_t{1} << 30;

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > limit) return std::nullopt;
  }
  return bytes;
}

std::uint64_t MeminfoKilobytes(std::string_view text, std::string_view key, bool& found) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ':') continue;
    line.remove_prefix(key.size() + 1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    std::uint64_t value = 0;
    if (std::from_chars(line.data(), line.data() + line.size(), value).ec != std::errc()) return 0;
    found = true;
    return value;
  }
  return 0;
}

std::uint64_t Bytes(std::uint64_t kilobytes) {
  constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
  return kilobytes > kMax / 1024 ? kMax : kilobytes * 1024;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

std::uint64_t ProcessVmSize() {
  const auto status = ReadWholeFile("/proc/self/status", 1 << 20);
  if (!status) return 0;
  bool found = false;
  return Bytes(MeminfoKilobytes(*status, "VmSize", found));
}

// The user address space: the process's limit when it has one, else what x86-64 and AArch64
// with four-level page tables give (128 TiB) on 64-bit, 3 GiB on 32-bit.
std::uint64_t AddressSpace() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return limit.rlim_cur;
  return sizeof(void*) == 8 ? (std::uint64_t{1} << 47) : (std::uint64_t{3} << 30);
}

// The version resource of a PE file, ready for the version query.
std::optional<std::vector<std::uint8_t>> VersionInfoOf(const std::string& fileName) {
  const auto file = ReadWholeFile(fileName, kMaxExecutableSize);
  if (!file) return std::nullopt;
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(file->data()), file->size());
  ImageResource resource;
  if (FindPeVersionResource(bytes, resource) != ImageError::None) return std::nullopt;
  VersionValue root;
  if (FindVersionValue(resource.bytes, "\\", root) != VersionError::None) return std::nullopt;
  return VersionInfoBuffer(resource.bytes);
}

class PosixSystemApi final : public SystemApi {
 public:
  bool QueryVersion(OsVersionInfo&) override { return false; }

  std::int32_t OpenRegistryKey(RegistryKey, const std::string&, std::uint32_t, std::uint32_t, RegistryKey&) override {
    return kErrorFileNotFound;
  }
  std::int32_t QueryRegistryValue(RegistryKey, const std::string&, std::span<std::uint8_t>, std::uint32_t&) override {
    return kErrorFileNotFound;
  }
  std::int32_t CloseRegistryKey(RegistryKey) override { return 0; }

  int CompareTextNoCase(const std::string& a, const std::string& b) override {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
      const int d = lower(static_cast<unsigned char>(a[i])) - lower(static_cast<unsigned char>(b[i]));
      if (d != 0) return d;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
  }

  MemoryCounts QueryMemoryStatus() override {
    const auto meminfo = ReadWholeFile("/proc/meminfo", 1 << 20);
    return MemoryCountsFrom(meminfo.value_or(""), ProcessVmSize(), AddressSpace());
  }

  // The whole path, however long: Linux paths are not bound to the Windows buffer size.
  std::string ModuleFileName(std::uint32_t) override {
    std::vector<char> buffer(4096);
    for (;;) {
      const ssize_t n = ::readlink(kSelfExecutable.data(), buffer.data(), buffer.size());
      if (n < 0) return {};
      if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
      buffer.resize(buffer.size() * 2);
    }
  }

  std::uint32_t FileVersionInfoSize(const std::string& fileName) override {
    const auto info = VersionInfoOf(fileName);
    return info ? static_cast<std::uint32_t>(info->size()) : 0;
  }

  bool FileVersionInfo(const std::string& fileName, std::span<std::uint8_t> buffer) override {
    const auto info = VersionInfoOf(fileName);
    if (!info || info->size() > buffer.size()) return false;
    std::copy(info->begin(), info->end(), buffer.begin());
    return true;
  }

  bool QueryVersionValue(std::span<const std::uint8_t> block, const std::string& subBlock, std::size_t& offset,
                         std::uint32_t& length) override {
    return QueryVersionInfoBuffer(block, subBlock, offset, length);
  }

  std::optional<std::string> BuiltInFileVersion() override { return MORVEL_FILE_VERSION_TEXT; }

  bool IsLeadByte(std::uint8_t) override { return false; }
  NumberSeparators UserNumberSeparators() override { return ::morvel::UserNumberSeparators(); }
  std::string NativeOsDescription() override { return DescribePosixOs(ReadPosixOsFacts()); }
  bool UsesPosixPaths() override { return true; }
};

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

// One shell-quoted os-release value: "...", '...' or bare, with backslash escapes in "...".
std::string Unquoted(std::string_view value) {
  value = std::string_view(value).substr(0, Trimmed(value).size());
  if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
    return std::string(value.substr(1, value.size() - 2));
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::string(value);
  std::string out;
  for (std::size_t i = 1; i + 1 < value.size(); ++i) {
    if (value[i] == '\\' && i + 2 < value.size()) ++i;
    out += value[i];
  }
  return out;
}

}  // namespace

std::unique_ptr<SystemApi> MakePosixSystemApi() { return std::make_unique<PosixSystemApi>(); }

std::optional<std::string> OsReleaseValue(std::string_view osRelease, std::string_view key) {
  for (std::size_t at = 0; at < osRelease.size();) {
    const std::size_t end = std::min(osRelease.find('\n', at), osRelease.size());
    const std::string_view line = osRelease.substr(at, end - at);
    at = end + 1;
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=') {
      std::string value = Unquoted(line.substr(key.size() + 1));
      if (value.empty()) return std::nullopt;
      return value;
    }
  }
  return std::nullopt;
}

PosixOsFacts ReadPosixOsFacts() {
  PosixOsFacts facts;
  facts.osRelease = ReadWholeFile("/etc/os-release", 1 << 16);
  if (!facts.osRelease) facts.osRelease = ReadWholeFile("/usr/lib/os-release", 1 << 16);
  utsname names{};
  if (::uname(&names) == 0) {
    facts.sysname = names.sysname;
    facts.release = names.release;
    facts.machine = names.machine;
  }
  return facts;
}

std::string DescribePosixOs(const PosixOsFacts& facts) {
  auto need = [](const std::optional<std::string>& part) -> const std::string& {
    if (!part || part->empty()) throw std::runtime_error("not known");
    return *part;
  };
  return DescribeWithFallbacks(
      {[&] {
         const auto pretty = OsReleaseValue(need(facts.osRelease), "PRETTY_NAME");
         return need(pretty) + " (" + need(facts.sysname) + " " + need(facts.release) + " " + need(facts.machine) + ")";
       },
       [&] { return need(facts.sysname) + " Version " + need(facts.release) + " (" + need(facts.machine) + ")"; }},
      "Linux");
}

MemoryCounts MemoryCountsFrom(std::string_view meminfo, std::uint64_t vmSize, std::uint64_t addressSpace) {
  bool found = false, availableFound = false;
  MemoryCounts counts;
  counts.totalPhys = Bytes(MeminfoKilobytes(meminfo, "MemTotal", found));
  counts.availPhys = Bytes(MeminfoKilobytes(meminfo, "MemAvailable", availableFound));
  if (!availableFound) counts.availPhys = Bytes(MeminfoKilobytes(meminfo, "MemFree", found));  // before Linux 3.14
  const std::uint64_t swapTotal = Bytes(MeminfoKilobytes(meminfo, "SwapTotal", found));
  const std::uint64_t swapFree = Bytes(MeminfoKilobytes(meminfo, "SwapFree", found));
  counts.totalPageFile = SaturatingAdd(counts.totalPhys, swapTotal);
  counts.availPageFile = SaturatingAdd(counts.availPhys, swapFree);
  counts.totalVirtual = addressSpace;
  counts.availVirtual = addressSpace > vmSize ? addressSpace - vmSize : 0;
  if (counts.totalPhys > 0 && counts.availPhys <= counts.totalPhys)
    counts.memoryLoad = static_cast<std::uint32_t>((counts.totalPhys - counts.availPhys) * 100 / counts.totalPhys);
  return counts;
}

}  // namespace morvel
