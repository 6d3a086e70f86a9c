#include "core/system/MemoryStatus.h"

namespace morvel {
namespace {

std::uint64_t KilobytesRoundedHalfEven(std::uint64_t bytes) {
  const std::uint64_t whole = bytes / 1024, rest = bytes % 1024;
  const bool up = rest > 512 || (rest == 512 && whole % 2 == 1);
  return up ? whole + 1 : whole;
}

std::string Grouped(std::uint64_t value, const std::string& thousands) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += thousands;
    out += digits[i];
  }
  return out;
}

}  // namespace

std::string FormatKilobytes(std::uint64_t bytes, const NumberSeparators& separators) {
  return Grouped(KilobytesRoundedHalfEven(bytes), separators.thousands) + separators.decimal + "00KB";
}

MemoryStatusTexts GetMemoryStatusTexts(SystemApi& api) {
  const MemoryCounts counts = api.QueryMemoryStatus();
  const NumberSeparators separators = api.UserNumberSeparators();
  auto line = [&](const char* format, std::uint64_t avail, std::uint64_t total) {
    return Format(format, {FormatKilobytes(avail, separators), FormatKilobytes(total, separators)});
  };
  MemoryStatusTexts texts;
  texts.physical = line("free physical memory:%s/%s", counts.availPhys, counts.totalPhys);
  texts.pagingFile = line("free paging file    :%s/%s", counts.availPageFile, counts.totalPageFile);
  texts.virtualMemory = line("free virtual memory :%s/%s", counts.availVirtual, counts.totalVirtual);
  return texts;
}

}  // namespace morvel
