#include "disk/Signatures.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "base/Bytes.h"
#include "disk/ContainerSignature.h"

namespace disk {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t kHead = 4096;                          // read once: boot sector, ext superblock, swap page
constexpr std::uint64_t kZeroScan = std::uint64_t{1} << 20;  // how far the all-zeros check looks
constexpr std::size_t kZeroChunk = 64 * 1024;
constexpr std::uint64_t kFat12Clusters = 4085;   // FAT12 below this many clusters,
constexpr std::uint64_t kFat16Clusters = 65525;  // FAT16 below this many

constexpr const char* kSwapText = "Linux swap space";

// A signature told by its bytes alone.
struct Magic {
  std::uint64_t offset;
  std::string_view bytes;
  const char* text;
};

constexpr Magic kMagics[] = {
    {0, "LUKS\xba\xbe"sv, "LUKS-encrypted volume"},  // 0: LUKS header magic
    {3, "EXFAT   "sv, "exFAT file system"},          // 3: OEM name
    {0x10040, "_BHRfS_M"sv, "btrfs file system"},    // 64 KiB: superblock; 0x40: its magic
    {0x8001, "CD001"sv, "ISO 9660 file system"},     // 32 KiB: first volume descriptor; 1: standard identifier
    // The last 10 bytes of the first page, for each page size a swap area may be made with.
    {4096 - 10, "SWAPSPACE2"sv, kSwapText},
    {4096 - 10, "SWAP-SPACE"sv, kSwapText},
    {8192 - 10, "SWAPSPACE2"sv, kSwapText},
    {8192 - 10, "SWAP-SPACE"sv, kSwapText},
    {16384 - 10, "SWAPSPACE2"sv, kSwapText},
    {16384 - 10, "SWAP-SPACE"sv, kSwapText},
    {65536 - 10, "SWAPSPACE2"sv, kSwapText},
    {65536 - 10, "SWAP-SPACE"sv, kSwapText},
};

bool HasIn(base::Bytes b, std::size_t at, std::string_view magic) {
  return base::Fits(b.size(), at, magic.size()) && std::memcmp(b.data() + at, magic.data(), magic.size()) == 0;
}

// The source's first bytes, and reads beyond them that stay inside the source. A read that
// fails is remembered: a source that cannot be read is not described.
class Probe {
 public:
  explicit Probe(base::ByteSource& source)
      : source_(source), head_(static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), kHead))) {
    failed_ = !head_.empty() && !source_.ReadAt(0, head_);
  }

  bool failed() const { return failed_; }
  base::Bytes head() const { return head_; }
  std::uint64_t size() const { return source_.Size(); }

  // Fills `out` from `offset`; false past the end of the source or when the read fails.
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > size() || out.size() > size() - offset) return false;
    if (source_.ReadAt(offset, out)) return true;
    failed_ = true;
    return false;
  }

  bool Has(const Magic& magic) {
    if (base::Fits(head_.size(), magic.offset, magic.bytes.size())) {
      return HasIn(head_, static_cast<std::size_t>(magic.offset), magic.bytes);
    }
    std::array<std::uint8_t, 16> bytes{};  // room for the longest magic
    const auto span = std::span(bytes).first(magic.bytes.size());
    return Read(magic.offset, span) && HasIn(span, 0, magic.bytes);
  }

 private:
  base::ByteSource& source_;
  std::vector<std::uint8_t> head_;
  bool failed_ = false;
};

// "FAT12 file system", "FAT16 file system" or "FAT32 file system" when `s` is a FAT boot
// sector; null otherwise. NTFS and exFAT boot sectors keep the reserved sector and FAT counts
// at zero, and fail here.
const char* FatText(base::Bytes s) {
  if (s.size() < 512 || base::Le16(s, 510) != 0xAA55) return nullptr;  // 510: boot sector signature
  const std::uint32_t bytesPerSector = base::Le16(s, 0x0B);            // 0x0B: bytes per sector
  const std::uint32_t sectorsPerCluster = base::Le8(s, 0x0D);          // 0x0D: sectors per cluster
  const std::uint32_t reserved = base::Le16(s, 0x0E);                  // 0x0E: reserved sectors, boot sector included
  const std::uint32_t fats = base::Le8(s, 0x10);                       // 0x10: number of FATs
  const std::uint32_t rootEntries = base::Le16(s, 0x11);               // 0x11: root directory entries (FAT12/16)
  const std::uint32_t total16 = base::Le16(s, 0x13);                   // 0x13: total sectors, when below 65536
  const std::uint8_t media = base::Le8(s, 0x15);                       // 0x15: media descriptor, F0 or F8-FF
  const std::uint32_t fatSize16 = base::Le16(s, 0x16);                 // 0x16: sectors per FAT (FAT12/16)
  const std::uint32_t total32 = base::Le32(s, 0x20);                   // 0x20: total sectors, otherwise
  const std::uint32_t fatSize32 = base::Le32(s, 0x24);                 // 0x24: sectors per FAT (FAT32)
  const std::uint32_t rootCluster = base::Le32(s, 0x2C);               // 0x2C: root directory's cluster (FAT32)
  if (bytesPerSector < 512 || bytesPerSector > 4096 || !base::IsPowerOfTwo(bytesPerSector) ||
      !base::IsPowerOfTwo(sectorsPerCluster) || reserved == 0 || fats == 0 || (media != 0xF0 && media < 0xF8)) {
    return nullptr;
  }
  const bool fat32 = rootEntries == 0 && fatSize16 == 0;
  const std::uint64_t fatSize = fat32 ? fatSize32 : fatSize16;
  const std::uint64_t total = total16 != 0 ? total16 : total32;
  const std::uint64_t rootSectors = (std::uint64_t{rootEntries} * 32 + bytesPerSector - 1) / bytesPerSector;
  const std::uint64_t overhead = reserved + fats * fatSize + rootSectors;
  if (fatSize == 0 || total <= overhead) return nullptr;
  const std::uint64_t clusters = (total - overhead) / sectorsPerCluster;
  // The type string a formatter writes (0x52 for FAT32, 0x36 otherwise) is blank or generic at
  // times; one naming a type bounds the cluster count, and one naming another layout rejects.
  if (fat32) {
    if (rootCluster < 2 || HasIn(s, 0x52, "FAT12   ") || HasIn(s, 0x52, "FAT16   ")) return nullptr;
    return "FAT32 file system";
  }
  const std::uint64_t limit = HasIn(s, 0x36, "FAT12   ")   ? kFat12Clusters
                              : HasIn(s, 0x36, "FAT32   ") ? 0
                                                           : kFat16Clusters;
  if (clusters == 0 || clusters >= limit) return nullptr;
  return clusters < kFat12Clusters ? "FAT12 file system" : "FAT16 file system";
}

// "ext2 file system", "ext3 file system" or "ext4 file system" when `head` holds an ext
// superblock at 1024; null otherwise.
const char* ExtText(base::Bytes head) {
  constexpr std::size_t kSuper = 1024;
  if (!base::Fits(head.size(), kSuper, 0x64)) return nullptr;
  if (base::Le16(head, kSuper + 0x38) != 0xEF53) return nullptr;              // 0x38: magic
  const std::uint32_t compat = base::Le32(head, kSuper + 0x5C);               // 0x5C: compatible features
  const std::uint32_t incompat = base::Le32(head, kSuper + 0x60);             // 0x60: incompatible features
  if ((incompat & (0x40u | 0x80u | 0x200u)) != 0) return "ext4 file system";  // extents, 64bit, flex_bg
  if ((compat & 0x4u) != 0) return "ext3 file system";                        // has_journal
  return "ext2 file system";
}

// "empty (all zeros)" for a source of zeros alone; "no known file system (...)" when its first
// MiB is zeros and more follows; empty otherwise.
std::string DescribeZeros(Probe& probe) {
  const auto zero = [](base::Bytes b) {
    return std::all_of(b.begin(), b.end(), [](std::uint8_t v) { return v == 0; });
  };
  if (!zero(probe.head())) return {};
  const std::uint64_t scan = std::min(probe.size(), kZeroScan);
  std::vector<std::uint8_t> chunk;
  for (std::uint64_t at = probe.head().size(); at < scan; at += chunk.size()) {
    chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(scan - at, kZeroChunk)));
    if (!probe.Read(at, chunk) || !zero(chunk)) return {};
  }
  if (scan == probe.size()) return "empty (all zeros)";
  return "no known file system (its first " + std::to_string(kZeroScan >> 20) + " MiB are all zeros)";
}

}  // namespace

std::string DescribeSignature(base::ByteSource& source) {
  Container container;
  if (!RecogniseContainer(source, container)) return {};
  if (container.format != ContainerFormat::None && !container.fixedVhd) {
    return DescribeContainer(container) + ", which this build cannot read";
  }
  Probe probe(source);
  if (probe.failed()) return {};
  if (HasBitLockerSignature(probe.head())) return kBitLockerText;
  for (const Magic& magic : kMagics) {
    if (probe.Has(magic)) return magic.text;
  }
  if (const char* text = FatText(probe.head())) return text;
  if (const char* text = ExtText(probe.head())) return text;
  if (probe.failed()) return {};
  return DescribeZeros(probe);
}

}  // namespace disk
