// The report's counting loop alone, on every build (the Windows one runs under Wine): a bitmap
// in memory is counted in the chunks the report reads (ntfs::kBitmapChunkSize) by each
// population-count routine this CPU runs. "copy only" is the floor: each chunk copied into a
// page-aligned buffer, as a read from the page cache does. Each routine counts the chunks where
// they lie, as the Linux build does on the page cache's own pages ("count"), and after copying
// each, as the Windows build and sources other than files do ("copy, count").
//
//   morvel_bitmap_bench [MIB] [RUNS]      defaults: 64 MiB (a 2 TiB volume), 15 runs
//   morvel_bitmap_bench --chosen          the routine the report counts with, and why
//   morvel_bitmap_bench --chunk-size      the bytes of the report's chunks
//
// Runs are interleaved (each round times every loop once); prints best and median. Exit 1 when
// two loops disagree on a count.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/BitCount.h"
#include "base/ByteSource.h"
#include "ntfs/Ntfs.h"

namespace {

constexpr std::size_t kChunk = ntfs::kBitmapChunkSize;

// A used volume: random bytes. A fresh one: clear but for the metadata at the start and the
// mirror half-way, as mkntfs leaves it.
std::vector<std::uint8_t> MakeBitmap(bool mixed, std::size_t size) {
  std::vector<std::uint8_t> bitmap(size, 0);
  if (mixed) {
    std::mt19937_64 random(1);
    for (std::size_t at = 0; at + 8 <= size; at += 8) {
      const std::uint64_t w = random();
      std::memcpy(bitmap.data() + at, &w, 8);
    }
  } else {
    std::fill_n(bitmap.begin(), std::min<std::size_t>(size, 16384), std::uint8_t{0xFF});
    bitmap[size / 2] = 0x01;
  }
  return bitmap;
}

enum class Loop { CopyOnly, Count, CopyCount };
constexpr const char* kLoopNames[] = {"copy only", "count", "copy, count"};

struct Row {
  Loop loop;
  base::BitCounter counter{};
  std::vector<double> times;
  std::uint64_t count = 0;
};

volatile std::uint8_t sink;

// One pass over the bitmap; the wall time in milliseconds.
double Pass(const std::vector<std::uint8_t>& bitmap, std::uint8_t* chunk, Row& r) {
  const auto count = [&r](base::Bytes bytes) { return base::CountSetBits(bytes, bytes.size() * 8, r.counter); };
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t set = 0;
  for (std::size_t at = 0; at < bitmap.size(); at += kChunk) {
    const std::size_t n = std::min(kChunk, bitmap.size() - at);
    if (r.loop == Loop::Count) {
      set += count(base::Bytes(bitmap.data() + at, n));
      continue;
    }
    std::memcpy(chunk, bitmap.data() + at, n);
    if (r.loop == Loop::CopyOnly)
      sink = chunk[n - 1];
    else
      set += count(base::Bytes(chunk, n));
  }
  const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
  r.count = set;
  return elapsed.count();
}

std::vector<Row> Rows() {
  std::vector<Row> rows{{Loop::CopyOnly, {}, {}, 0}};
  for (const base::BitCounter c : base::AvailableBitCounters())
    for (const Loop loop : {Loop::Count, Loop::CopyCount}) rows.push_back({loop, c, {}, 0});
  return rows;
}

bool Measure(const char* content, const std::vector<std::uint8_t>& bitmap, int runs) {
  const base::PageBuffer chunk = base::AllocatePages(kChunk);
  std::vector<Row> rows = Rows();
  for (int round = 0; round <= runs; ++round)  // round 0 warms caches and is not kept
    for (Row& r : rows)
      if (const double ms = Pass(bitmap, chunk.get(), r); round > 0) r.times.push_back(ms);
  bool agree = true;
  const double floor = *std::min_element(rows[0].times.begin(), rows[0].times.end());
  for (Row& r : rows) {
    std::sort(r.times.begin(), r.times.end());
    const double best = r.times.front(), median = r.times[r.times.size() / 2];
    const double gbs = static_cast<double>(bitmap.size()) / (best * 1e6);
    const bool counts = r.loop != Loop::CopyOnly;
    std::printf("%-6s %-9s %-18s %12s %9.2f %9.2f %8.1f %7.2f\n", content,
                counts ? base::BitCounterName(r.counter) : "-", kLoopNames[static_cast<int>(r.loop)],
                counts ? std::to_string(r.count).c_str() : "-", best, median, gbs, best / floor);
    if (counts && r.count != rows[1].count) agree = false;
  }
  if (!agree) std::fprintf(stderr, "%s: the loops disagree on the count\n", content);
  return agree;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--chosen") == 0) {
    std::string available;
    for (const base::BitCounter c : base::AvailableBitCounters())
      available += std::string(available.empty() ? "" : ", ") + base::BitCounterName(c);
    const char* named = std::getenv("MORVEL_BITCOUNT");
    std::printf("population count: %s (%s; this CPU runs %s)\n", base::BitCounterName(base::ChosenBitCounter()),
                named != nullptr ? (std::string("MORVEL_BITCOUNT=") + named).c_str() : "the fastest",
                available.c_str());
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--chunk-size") == 0) {
    std::printf("%zu\n", kChunk);
    return 0;
  }
  const long mib = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 64;
  const long runs = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 15;
  if (mib < 1 || mib > 4096 || runs < 1 || runs > 1000) {
    std::fprintf(stderr, "usage: morvel_bitmap_bench [MIB 1-4096] [RUNS 1-1000] | --chosen | --chunk-size\n");
    return 2;
  }
  const std::size_t size = static_cast<std::size_t>(mib) << 20;
  std::printf("bitmap of %ld MiB in %zu KiB chunks; best and median of %ld interleaved runs\n", mib, kChunk >> 10,
              runs);
  std::printf("%-6s %-9s %-18s %12s %9s %9s %8s %7s\n", "bitmap", "routine", "loop", "set bits", "best ms", "median ms",
              "GB/s", "x copy");
  bool ok = true;
  for (const bool mixed : {true, false})
    ok = Measure(mixed ? "mixed" : "fresh", MakeBitmap(mixed, size), static_cast<int>(runs)) && ok;
  return ok ? 0 : 1;
}
