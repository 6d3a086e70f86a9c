#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>

#include "base/BitCount.h"
#include "ntfs/Ntfs.h"
#include "platform/posix/PosixFile.h"
#include "platform/posix/PosixLocale.h"
#include "platform/reader/AlignedByteSource.h"
#include "platform/reader/CachedByteSource.h"
#include "platform/reader/VolumeLocation.h"
#include "tests/platform/reader/TempDir.h"

namespace morvel {
namespace {

using testing::TempDir;

// The descriptor source: how Linux reads every device and file.
class FdSource : public ::testing::Test {
 protected:
  TempDir temp;
};

TEST_F(FdSource, ReadWithinTheFileOnly) {
  std::unique_ptr<base::ByteSource> source;
  EXPECT_TRUE(OpenFdSource(temp.Write("f.bin", "0123456789"), source).ok());
  ASSERT_TRUE(source);
  EXPECT_EQ(source->Size(), 10u);
  std::array<std::uint8_t, 3> out{};
  ASSERT_TRUE(source->ReadAt(7, out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "789");
  ASSERT_TRUE(source->ReadAt(2, out));  // backwards again
  EXPECT_EQ(std::string(out.begin(), out.end()), "234");
  EXPECT_FALSE(source->ReadAt(8, out));
  EXPECT_FALSE(source->ReadAt(~std::uint64_t{0} - 1, out));
  EXPECT_TRUE(source->ReadAt(10, std::span<std::uint8_t>()));
}

TEST_F(FdSource, LargeReadsIntoAnyBufferGetTheFilesBytes) {
  // Three and a half bounce buffers' worth, so pieces of every kind are read.
  std::string bytes(AlignedByteSource::kBounceSize * 7 / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131) >> 7);
  std::unique_ptr<base::ByteSource> source;
  ASSERT_TRUE(OpenFdSource(temp.Write("big.bin", bytes), source).ok());
  std::vector<std::uint8_t> buffer(bytes.size() + 64);
  for (std::size_t shift : {std::size_t{0}, std::size_t{1}, std::size_t{17}}) {
    for (std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{3}, std::uint64_t{4096}}) {
      const std::size_t length = bytes.size() - static_cast<std::size_t>(offset) - 5;
      auto out = std::span(buffer).subspan(shift, length);
      ASSERT_TRUE(source->ReadAt(offset, out));
      EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                             [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }))
          << "shift " << shift << " offset " << offset;
    }
  }
}

// A bitmap of 4 KiB blocks random, all clear, all set and clear but for one bit, in turn, of an
// odd length, streamed from the file (the page cache's own pages), through the cache, and
// through a slice of it, from odd offsets: the chunks come in order, of the size asked, and each
// routine's count of them is the portable count of the whole.
TEST_F(FdSource, StreamedChunksCountAsTheWholeBitmap) {
  constexpr std::size_t kChunk = ntfs::kBitmapChunkSize;
  std::string bytes(3 * kChunk + 12345, '\0');
  std::mt19937_64 random(19);
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const std::size_t kind = at / 4096 % 4;
    bytes[at] = static_cast<char>(kind == 0 ? random() : kind == 2 ? 0xFF : 0);
    if (kind == 3 && at % 4096 == 1000) bytes[at] = 0x08;
  }
  std::unique_ptr<base::ByteSource> file;
  ASSERT_TRUE(OpenFdSource(temp.Write("bitmap.bin", bytes), file).ok());
  base::ByteSource& direct = *file;
  CachedByteSource cached(std::move(file));
  SliceByteSource slice(cached, 1, cached.Size() - 1);
  const struct {
    const char* name;
    base::ByteSource& source;
    std::uint64_t start;  // of the source in the file
  } sources[] = {{"file", direct, 0}, {"cached", cached, 0}, {"slice", slice, 1}};
  const struct {
    std::uint64_t offset, length;
  } ranges[] = {{0, bytes.size() - 1}, {4097, 2 * kChunk + 3}, {3, kChunk - 8}, {5, 11}};
  for (const auto& s : sources) {
    for (const auto& r : ranges) {
      const base::Bytes whole(reinterpret_cast<const std::uint8_t*>(bytes.data()) + s.start + r.offset,
                              static_cast<std::size_t>(r.length));
      const std::uint64_t want = base::CountSetBits(whole, whole.size() * 8, base::BitCounter::Portable);
      for (const base::BitCounter counter : base::AvailableBitCounters()) {
        std::uint64_t next = r.offset, set = 0;
        const bool read = s.source.ReadChunks(r.offset, r.length, kChunk, [&](std::uint64_t at, base::Bytes chunk) {
          EXPECT_EQ(at, next) << s.name;
          EXPECT_EQ(chunk.size(), std::min<std::uint64_t>(kChunk, r.offset + r.length - at)) << s.name;
          set += base::CountSetBits(chunk, chunk.size() * 8, counter);
          next = at + chunk.size();
          return true;
        });
        EXPECT_TRUE(read) << s.name;
        EXPECT_EQ(next, r.offset + r.length) << s.name;
        EXPECT_EQ(set, want) << s.name << ", " << base::BitCounterName(counter) << ": " << r.length << " bytes at "
                             << r.offset;
      }
    }
    int chunks = 0;
    EXPECT_FALSE(s.source.ReadChunks(0, 3 * kChunk, kChunk, [&](std::uint64_t, base::Bytes) { return ++chunks < 2; }))
        << s.name;
    EXPECT_EQ(chunks, 2) << s.name << ": a consumer that stops the read is given no more chunks";
    EXPECT_FALSE(s.source.ReadChunks(s.source.Size() - 10, 11, kChunk, [](std::uint64_t, base::Bytes) { return true; }))
        << s.name;
  }
}

// A file shortened while a chunk of it is being counted: the pages past its new end are gone.
// The read fails as a whole (it does not end the process, and no zeros pass for its bytes).
TEST_F(FdSource, AFileShortenedWhileReadFailsTheRead) {
  constexpr std::size_t kChunk = ntfs::kBitmapChunkSize;
  const std::string path = temp.Write("shrinking.bin", std::string(3 * kChunk, '\x5A'));
  std::unique_ptr<base::ByteSource> source;
  ASSERT_TRUE(OpenFdSource(path, source).ok());
  int chunks = 0;
  std::uint64_t sum = 0;
  const bool read = source->ReadChunks(0, 3 * kChunk, kChunk, [&](std::uint64_t, base::Bytes chunk) {
    if (++chunks == 2) {
      EXPECT_EQ(::truncate(path.c_str(), kChunk + 4096), 0);
    }
    for (const std::uint8_t byte : chunk) sum += byte;  // touches every page of the chunk
    return true;
  });
  EXPECT_FALSE(read);
  EXPECT_EQ(chunks, 2) << "no chunk is handed on after the one that lost its pages";
  EXPECT_GT(sum, 0u);
}

TEST_F(FdSource, OpenFailuresCarryErrnoAndItsText) {
  struct Case {
    std::string path;
    int code;
    const char* reason;
  };
  std::vector<Case> cases = {{temp.path() + "/missing", ENOENT, "No such file or directory"},
                             {temp.path(), EISDIR, "Is a directory"}};
  if (::geteuid() != 0) {  // root reads whatever the mode says
    const std::string locked = temp.Write("locked", "x");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    cases.push_back({locked, EACCES, "Permission denied"});
  }
  for (const auto& c : cases) {
    std::unique_ptr<base::ByteSource> source;
    const base::Result opened = OpenFdSource(c.path, source);
    EXPECT_FALSE(source) << c.path;
    EXPECT_EQ(opened.code(), c.code) << c.path;
    EXPECT_EQ(opened.reason(), c.reason) << c.path;
  }
}

// A FIFO without a writer would block an ordinary open forever; special files are refused.
// The report shows the code's message ("Block device required"); the reason says what it is.
TEST_F(FdSource, SpecialFilesAreRefusedWithoutWaiting) {
  const std::string fifo = temp.path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/null")}) {
    std::unique_ptr<base::ByteSource> source;
    const base::Result opened = OpenFdSource(path, source);
    EXPECT_FALSE(source) << path;
    EXPECT_EQ(opened.code(), ENOTBLK) << path;
    EXPECT_EQ(opened.reason(), kNotFileOrBlockDeviceText) << path;
  }
}

// A locale with other separators is tried on the built program (tests/cli).
TEST(NumberSeparators, FromTheLocale) {
  const NumberSeparators c = NumberSeparatorsOf("C");
  EXPECT_EQ(c.decimal, ".");
  EXPECT_EQ(c.thousands, "");
  const NumberSeparators unknown = NumberSeparatorsOf("xx_NOWHERE.UTF-8");
  EXPECT_EQ(unknown.decimal, ".");
  EXPECT_EQ(unknown.thousands, "");
}

}  // namespace
}  // namespace morvel
