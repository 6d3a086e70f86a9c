// The report's counting loop alone, on every build (the Windows one runs under Wine): a bitmap
// in memory is copied in 1 MiB chunks into a page-aligned buffer, as a read from the page cache
// does, and counted by each population-count routine this CPU runs. "copy only" is the floor.
//
//   morvel_bitmap_bench [MIB] [RUNS]      defaults: 64 MiB (a 2 TiB volume), 15 runs
//
// Runs are interleaved (each round times every routine once); prints best and median. Exit 1
// when two routines disagree on a count.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "base/BitCount.h"

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr std::align_val_t kAlignment{4096};

struct AlignedDelete {
  void operator()(std::uint8_t* p) const { ::operator delete(p, kAlignment); }
};
using Buffer = std::unique_ptr<std::uint8_t, AlignedDelete>;

Buffer Allocate(std::size_t size) { return Buffer(static_cast<std::uint8_t*>(::operator new(size, kAlignment))); }

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

struct Routine {
  std::string name;
  bool copyOnly = false;
  bool chosen = false;  // the routine CountSetBits picks by itself
  base::BitCounter counter{};
  std::vector<double> times;
  std::uint64_t count = 0;
};

volatile std::uint8_t sink;

// One pass over the bitmap; the wall time in milliseconds.
double Pass(const std::vector<std::uint8_t>& bitmap, std::uint8_t* chunk, Routine& r) {
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t set = 0;
  for (std::size_t at = 0; at < bitmap.size(); at += kChunk) {
    const std::size_t n = std::min(kChunk, bitmap.size() - at);
    std::memcpy(chunk, bitmap.data() + at, n);
    const base::Bytes bytes(chunk, n);
    if (r.copyOnly)
      sink = chunk[n - 1];
    else
      set += r.chosen ? base::CountSetBits(bytes, n * 8) : base::CountSetBits(bytes, n * 8, r.counter);
  }
  const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
  r.count = set;
  return elapsed.count();
}

std::vector<Routine> Routines() {
  std::vector<Routine> routines;
  routines.push_back({"copy only", true, false, {}, {}, 0});
  for (const base::BitCounter c : base::AvailableBitCounters())
    routines.push_back({base::BitCounterName(c), false, false, c, {}, 0});
  const std::string best = base::BitCounterName(base::AvailableBitCounters().back());
  routines.push_back({"chosen (" + best + ")", false, true, {}, {}, 0});
  return routines;
}

bool Measure(const char* content, const std::vector<std::uint8_t>& bitmap, int runs) {
  const Buffer chunk = Allocate(kChunk);
  std::vector<Routine> routines = Routines();
  for (int round = 0; round <= runs; ++round)  // round 0 warms caches and is not kept
    for (Routine& r : routines)
      if (const double ms = Pass(bitmap, chunk.get(), r); round > 0) r.times.push_back(ms);
  bool agree = true;
  const double floor = *std::min_element(routines[0].times.begin(), routines[0].times.end());
  for (Routine& r : routines) {
    std::sort(r.times.begin(), r.times.end());
    const double best = r.times.front(), median = r.times[r.times.size() / 2];
    const double gbs = static_cast<double>(bitmap.size()) / (best * 1e6);
    std::printf("%-6s %-16s %12s %9.2f %9.2f %8.1f %7.2f\n", content, r.name.c_str(),
                r.copyOnly ? "-" : std::to_string(r.count).c_str(), best, median, gbs, best / floor);
    if (!r.copyOnly && r.count != routines[1].count) agree = false;
  }
  if (!agree) std::fprintf(stderr, "%s: the routines disagree on the count\n", content);
  return agree;
}

}  // namespace

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 64;
  const long runs = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 15;
  if (mib < 1 || mib > 4096 || runs < 1 || runs > 1000) {
    std::fprintf(stderr, "usage: morvel_bitmap_bench [MIB 1-4096] [RUNS 1-1000]\n");
    return 2;
  }
  const std::size_t size = static_cast<std::size_t>(mib) << 20;
  std::printf("bitmap of %ld MiB counted in 1 MiB chunks; best and median of %ld interleaved runs\n", mib, runs);
  std::printf("%-6s %-16s %12s %9s %9s %8s %7s\n", "bitmap", "routine", "set bits", "best ms", "median ms", "GB/s",
              "x copy");
  bool ok = true;
  for (const bool mixed : {true, false})
    ok = Measure(mixed ? "mixed" : "fresh", MakeBitmap(mixed, size), static_cast<int>(runs)) && ok;
  return ok ? 0 : 1;
}
