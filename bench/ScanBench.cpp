// The memory of the MFT scan on a volume too large to write: a 2 TiB volume whose $MFT holds
// FILES file records (default a million), each made when the scan reads it, every file with a
// name and a non-resident $DATA, every tenth in three fragments. Prints the scan's time, the
// bytes it keeps (MftScan::KeptBytes) and the process's peak resident memory, which must stay
// under 256 MiB for a million files.
//
//   morvel_scan_bench [FILES]
//   morvel_scan_bench --read FILE OFFSET:LENGTH...   the floor of a scan: reads the byte ranges
//                                                   in the scan's chunks (ntfs::kScanChunkSize)
//                                                   into one buffer, as dd does, in one process
//                                                   however many ranges there are
//   morvel_scan_bench --chunk-size                  prints ntfs::kScanChunkSize
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/ByteSource.h"
#include "ntfs/BootSector.h"
#include "ntfs/MftScan.h"
#include "ntfs/VolumeReader.h"
#include "tests/ntfs/SyntheticVolume.h"

namespace {

using namespace ntfs::testing;

constexpr std::uint64_t kCluster = 4096;
constexpr std::uint64_t kTotalClusters = std::uint64_t{1} << 29;  // 2 TiB
constexpr std::uint64_t kRecordSize = 1024;
constexpr std::uint64_t kMftLcn = 16;

class GeneratedVolume final : public base::ByteSource {
 public:
  explicit GeneratedVolume(std::uint64_t records)
      : records_(records), bitmapLcn_(kMftLcn + records * kRecordSize / kCluster + 1) {
    boot_.assign(512, 0);
    std::memcpy(boot_.data(), "\xEB\x52\x90NTFS    ", 11);
    PutLe(boot_, 0x0B, 512, 2);
    boot_[0x0D] = 8;
    PutLe(boot_, 0x28, kTotalClusters * 8 - 1, 8);
    PutLe(boot_, 0x30, kMftLcn, 8);
    PutLe(boot_, 0x38, 2, 8);
    boot_[0x40] = 256 - 10;  // 1 KiB records
    boot_[0x44] = 1;
    PutLe(boot_, 0x1FE, 0xAA55, 2);
  }

  std::uint64_t Size() const override { return kTotalClusters * kCluster; }

  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    for (std::size_t done = 0; done < out.size();) {
      const std::uint64_t at = offset + done;
      const std::uint64_t mftStart = kMftLcn * kCluster, mftEnd = mftStart + records_ * kRecordSize;
      const std::uint64_t bitmapStart = bitmapLcn_ * kCluster, bitmapEnd = bitmapStart + (records_ + 7) / 8;
      std::size_t n = out.size() - done;
      if (at < 512) {
        n = std::min<std::size_t>(n, 512 - at);
        std::copy_n(boot_.begin() + static_cast<std::ptrdiff_t>(at), n,
                    out.begin() + static_cast<std::ptrdiff_t>(done));
      } else if (at >= mftStart && at < mftEnd) {
        const std::uint64_t number = (at - mftStart) / kRecordSize, within = (at - mftStart) % kRecordSize;
        n = std::min<std::size_t>(n, kRecordSize - within);
        const Block r = Record(number);
        std::copy_n(r.begin() + static_cast<std::ptrdiff_t>(within), n,
                    out.begin() + static_cast<std::ptrdiff_t>(done));
      } else if (at >= bitmapStart && at < bitmapEnd) {
        n = std::min<std::size_t>(n, bitmapEnd - at);
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(done), n, std::uint8_t{0xFF});
      } else {
        n = std::min<std::size_t>(n, at < mftStart ? mftStart - at : at < bitmapStart ? bitmapStart - at : n);
      }
      done += n;
    }
    return true;
  }

 private:
  std::uint64_t BitmapClusters() const { return ((records_ + 7) / 8 + kCluster - 1) / kCluster; }

  Block Record(std::uint64_t number) const {
    if (number == 0) {
      const std::uint64_t mftClusters = records_ * kRecordSize / kCluster;
      return FileRecord(
          kRecordSize, 1, 0,
          {NonResidentAttribute(0x80, u"", 0, mftClusters - 1,
                                Runlist({{static_cast<std::int64_t>(kMftLcn), mftClusters}}), records_ * kRecordSize),
           NonResidentAttribute(0xB0, u"", 0, BitmapClusters() - 1,
                                Runlist({{static_cast<std::int64_t>(bitmapLcn_), BitmapClusters()}}),
                                (records_ + 7) / 8)});
    }
    const std::string ascii = "file" + std::to_string(number) + ".dat";
    const std::u16string name(ascii.begin(), ascii.end());
    const auto lcn = static_cast<std::int64_t>(bitmapLcn_ + BitmapClusters() + number * 8);
    const std::vector<std::pair<std::int64_t, std::uint64_t>> runs =
        number % 10 == 0 ? std::vector<std::pair<std::int64_t, std::uint64_t>>{{lcn, 1}, {lcn + 3, 1}, {lcn + 5, 1}}
                         : std::vector<std::pair<std::int64_t, std::uint64_t>>{{lcn, 3}};
    return FileRecord(kRecordSize, 1, 0,
                      {ResidentAttribute(0x30, u"", FileName(name, 1, 12000, 5)),
                       NonResidentAttribute(0x80, u"", 0, 2, Runlist(runs), 12000)});
  }

  std::uint64_t records_;
  std::uint64_t bitmapLcn_;
  Block boot_;
};

}  // namespace

namespace {

int ReadRanges(int argc, char** argv) {
  const int fd = open(argv[2], O_RDONLY);
  if (fd < 0) return 1;
  std::vector<char> buffer(ntfs::kScanChunkSize);
  for (int i = 3; i < argc; ++i) {
    char* end = nullptr;
    std::uint64_t at = std::strtoull(argv[i], &end, 10);
    const std::uint64_t stop = at + std::strtoull(end + 1, nullptr, 10);
    while (at < stop) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), stop - at));
      const ssize_t got = pread(fd, buffer.data(), n, static_cast<off_t>(at));
      if (got <= 0) return 1;
      at += static_cast<std::uint64_t>(got);
    }
  }
  close(fd);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--read") return ReadRanges(argc, argv);
  if (argc == 2 && std::string(argv[1]) == "--chunk-size") return std::printf("%zu\n", ntfs::kScanChunkSize) < 0;
  const std::uint64_t files = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  GeneratedVolume volume((files + 16 + 7) & ~std::uint64_t{7});
  ntfs::BootSector boot;
  if (const ntfs::Result r = ntfs::ReadBootSector(volume, 0, boot); !r.ok()) {
    std::fprintf(stderr, "boot sector: %s\n", r.reason().c_str());
    return 1;
  }
  ntfs::VolumeReader reader(volume, 0, boot);
  if (const ntfs::Result r = reader.LoadMft(); !r.ok()) {
    std::fprintf(stderr, "$MFT: %s\n", r.reason().c_str());
    return 1;
  }
  ntfs::MftScan scan;
  const auto start = std::chrono::steady_clock::now();
  if (const ntfs::Result r = ntfs::MftScan::Run(reader, scan); !r.ok()) {
    std::fprintf(stderr, "scan: %s\n", r.reason().c_str());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "%llu records, %zu files, %llu problems: scanned in %.2f s (records made as read), %.1f MiB kept, "
      "peak RSS %.1f MiB\n",
      static_cast<unsigned long long>(scan.RecordCount()), scan.FileCount(),
      static_cast<unsigned long long>(scan.ProblemCount()), seconds, static_cast<double>(scan.KeptBytes()) / 1048576.0,
      static_cast<double>(usage.ru_maxrss) / 1024.0);
  if (scan.ProblemCount() > 0) std::printf("first problem: %s\n", scan.Problems().front().reason.c_str());
  return 0;
}
