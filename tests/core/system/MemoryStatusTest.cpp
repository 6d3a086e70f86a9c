#include <gtest/gtest.h>

#include "tests/fakes/FakeSystemApi.h"
#include "core/system/MemoryStatus.h"

namespace morvel {
namespace {

TEST(FormatKilobytes, RoundsHalfToEvenAndGroups) {
  const struct {
    std::uint64_t bytes;
    const char* expected;
  } cases[] = {
      {0, "0.00KB"},
      {511, "0.00KB"},
      {512, "0.00KB"},
      {513, "1.00KB"},
      {1023, "1.00KB"},
      {1536, "2.00KB"},
      {2560, "2.00KB"},
      {3584, "4.00KB"},
      {1048576, "1,024.00KB"},
      {1023487, "999.00KB"},
      {1023488, "1,000.00KB"},  // 999.5 goes to the even 1000
      {2147483648u, "2,097,152.00KB"},
      {4294967295u, "4,194,304.00KB"},
      {4294967296u, "4,194,304.00KB"},
      {17179869184ull, "16,777,216.00KB"},
      {0xFFFFFFFFFFFFFFFFull, "18,014,398,509,481,984.00KB"},
      {0xFFFFFFFFFFFFFDFFull, "18,014,398,509,481,983.00KB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatKilobytes(c.bytes), c.expected) << c.bytes;
}

TEST(FormatKilobytes, UsesLocaleSeparators) {
  EXPECT_EQ(FormatKilobytes(1048576, NumberSeparators{",", "."}), "1.024,00KB");
  EXPECT_EQ(FormatKilobytes(1073741824, NumberSeparators{",", "\xA0"}),
            "1\xA0"
            "048\xA0"
            "576,00KB");
  EXPECT_EQ(FormatKilobytes(1048576, NumberSeparators{".", ""}), "1024.00KB");
}

TEST(MemoryStatus, ThreeLinesFreeFirstThenTotal) {
  testing::FakeSystemApi api;
  api.memory.availPhys = 262144000;
  api.memory.totalPhys = 536870912;
  api.memory.availPageFile = 1024;
  api.memory.totalPageFile = 8589934592ull;  // above 32 bits: shown whole, never clamped
  api.memory.availVirtual = 140737488224256ull;
  api.memory.totalVirtual = 140737488224256ull;
  const MemoryStatusTexts texts = GetMemoryStatusTexts(api);
  EXPECT_EQ(texts.physical, "free physical memory:256,000.00KB/524,288.00KB");
  EXPECT_EQ(texts.pagingFile, "free paging file    :1.00KB/8,388,608.00KB");
  EXPECT_EQ(texts.virtualMemory, "free virtual memory :137,438,953,344.00KB/137,438,953,344.00KB");
}

TEST(MemoryStatus, UnfilledCountsAndLocale) {
  testing::FakeSystemApi api;
  api.separators = NumberSeparators{",", "."};
  api.memory.availPhys = 1048576;
  const MemoryStatusTexts texts = GetMemoryStatusTexts(api);
  EXPECT_EQ(texts.physical, "free physical memory:1.024,00KB/0,00KB");
  EXPECT_EQ(texts.pagingFile, "free paging file    :0,00KB/0,00KB");
}

}  // namespace
}  // namespace morvel
