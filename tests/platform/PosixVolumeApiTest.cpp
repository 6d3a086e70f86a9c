#include "PosixVolumeApi.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "AlignedByteSource.h"
#include "PosixFile.h"
#include "PosixLocale.h"
#include "StreamByteSource.h"
#include "TempDir.h"
#include "VolumeData.h"

namespace morvel {
namespace {

using testing::TempDir;

constexpr OpenRequest kRead{kGenericRead, kFileShareReadWrite, kOpenExisting, 0};

using Opener = std::function<std::unique_ptr<ntfs::ByteSource>(const std::string&, int&)>;

// The descriptor source of Linux and the portable stream source behave alike.
class ByteSources : public ::testing::TestWithParam<Opener> {
 protected:
  TempDir temp;
};

TEST_P(ByteSources, ReadWithinTheFileOnly) {
  int error = -1;
  auto source = GetParam()(temp.Write("f.bin", "0123456789"), error);
  ASSERT_TRUE(source);
  EXPECT_EQ(error, 0);
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

TEST_P(ByteSources, LargeReadsIntoAnyBufferGetTheFilesBytes) {
  // Three and a half bounce buffers' worth, so pieces of every kind are read.
  std::string bytes(AlignedByteSource::kBounceSize * 7 / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131) >> 7);
  int error = 0;
  auto source = GetParam()(temp.Write("big.bin", bytes), error);
  ASSERT_TRUE(source);
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

TEST_P(ByteSources, OpenFailuresCarryErrno) {
  int error = 0;
  EXPECT_FALSE(GetParam()(temp.path() + "/missing", error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(GetParam()(temp.path(), error));
  EXPECT_EQ(error, EISDIR);
  if (::geteuid() != 0) {  // root reads whatever the mode says
    const std::string locked = temp.Write("locked", "x");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    EXPECT_FALSE(GetParam()(locked, error));
    EXPECT_EQ(error, EACCES);
  }
}

INSTANTIATE_TEST_SUITE_P(Posix, ByteSources, ::testing::Values(Opener(&OpenFdSource), Opener(&OpenStreamSource)));

class PosixVolumes : public ::testing::Test {
 protected:
  void SetUp() override {
    config.dosdevicesDir = temp.path() + "/dosdevices";
    config.mountInfoPath = temp.Write("mountinfo", "");
    std::filesystem::create_directories(config.dosdevicesDir);
    std::filesystem::create_symlink(temp.Write("volume.img", std::string(4096, '\0')),
                                    config.dosdevicesDir + "/c::");
    std::filesystem::create_symlink(temp.path() + "/gone.img", config.dosdevicesDir + "/g::");
    std::filesystem::create_symlink(temp.path(), config.dosdevicesDir + "/h::");
    api = MakePosixVolumeApi(config);
  }
  std::string OpenError(const char* path) {
    const Handle h = api->OpenFile(path, kRead);
    EXPECT_EQ(h, kInvalidHandle) << path;
    const auto code = static_cast<std::int32_t>(api->LastError());
    return api->SystemMessage(kFormatMessageFromSystemArgArray, code, 0, kFormatMessageBufferSize);
  }
  TempDir temp;
  DriveMapConfig config;
  std::unique_ptr<VolumeApi> api;
};

TEST_F(PosixVolumes, ALinkedImageOpensAndIsQueriedByTheReader) {
  EXPECT_TRUE(api->HasFsControl());
  const Handle volume = api->OpenFile("\\\\.\\C:", kRead);
  ASSERT_NE(volume, kInvalidHandle);
  EXPECT_EQ(api->LastError(), 0u);
  VolumeDataBytes record{};
  // Zeros hold no NTFS boot sector.
  EXPECT_EQ(static_cast<std::uint32_t>(api->FsControl(volume, kFsctlGetNtfsVolumeData, record)), 0xC0000010u);
  api->CloseHandle(volume);
  api->CloseHandle(volume);
  FindData data;
  EXPECT_EQ(api->FindFirst("C:\\$mft", data), kInvalidHandle);
}

TEST_F(PosixVolumes, OpenFailuresReadAsTheSystemsMessages) {
  EXPECT_EQ(OpenError("\\\\.\\G:"), "No such file or directory");  // dangling link
  EXPECT_EQ(OpenError("\\\\.\\H:"), "Is a directory");
  EXPECT_EQ(OpenError("\\\\.\\K:"), "No such file or directory");  // neither link nor mount
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
