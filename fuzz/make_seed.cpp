// Writes a disk or volume image in the fuzzer's sparse form (see SparseImage.h):
//   ntfs_fuzz_seed IMAGE OUTPUT
#include <array>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::size_t kSector = 512;

void PutLe(std::FILE* out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), out);
}

bool IsZero(const std::array<std::uint8_t, kSector>& s) {
  for (std::uint8_t b : s)
    if (b != 0) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IMAGE OUTPUT\n", argv[0]);
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  std::FILE* out = std::fopen(argv[2], "wb");
  if (in == nullptr || out == nullptr) {
    std::perror("open");
    return 1;
  }
  std::fseek(in, 0, SEEK_END);
  PutLe(out, static_cast<std::uint64_t>(std::ftell(in)), 8);
  std::fseek(in, 0, SEEK_SET);
  std::array<std::uint8_t, kSector> sector{}, run{};
  std::uint64_t first = 0, count = 0;
  auto flush = [&] {
    if (count == 0) return;
    PutLe(out, first, 4);
    PutLe(out, count, 2);
    std::fwrite(run.data(), 1, kSector, out);
    count = 0;
  };
  // Consecutive equal non-zero sectors share a record.
  for (std::uint64_t n = 0; std::fread(sector.data(), 1, kSector, in) == kSector; ++n) {
    if (count != 0 && sector == run && first + count == n && count < 0xFFFF) {
      ++count;
      continue;
    }
    flush();
    if (IsZero(sector)) continue;
    run = sector;
    first = n;
    count = 1;
  }
  flush();
  std::fclose(in);
  return std::fclose(out) == 0 ? 0 : 1;
}
