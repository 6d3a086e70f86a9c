#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "app/cli/Cli.h"
#include "app/cli/CommandLine.h"
#include "app/cli/Json.h"
#include "tests/fakes/FakeVolumeApi.h"

namespace morvel::cli {
namespace {

using morvel::testing::FakeVolumeApi;

NtfsVolumeData SmallVolume() {
  NtfsVolumeData d;
  d.NumberSectors = 131071;
  d.TotalClusters = 16383;
  d.FreeClusters = 12000;
  d.BytesPerSector = 512;
  d.BytesPerCluster = 4096;
  d.BytesPerFileRecordSegment = 1024;
  d.MftValidDataLength = 262144;
  d.MftStartLcn = 5461;
  d.Mft2StartLcn = 2;
  d.MftZoneStart = 5525;
  d.MftZoneEnd = 16383;
  return d;
}

// Runs the program against one scripted volume and keeps what it printed and which
// volume operations it was given.
struct ProgramRun {
  FakeVolumeApi volume;
  std::vector<std::string> madeFor;    // "drive", or "image <path> <partition>"
  std::vector<std::string> described;  // "<path> <partition>" of each question what a target holds
  std::string detected;                // the answer
  std::string out, err;
  int status = -1;

  int operator()(const std::vector<std::string>& args) {
    Platform platform;
    platform.driveApi = [this] {
      madeFor.push_back("drive");
      return std::make_unique<Forward>(volume);
    };
    platform.imageApi = [this](const std::string& path, int partition) {
      madeFor.push_back("image " + path + " " + std::to_string(partition));
      return std::make_unique<Forward>(volume);
    };
    platform.describe = [this](const std::string& path, int partition) {
      described.push_back(path + " " + std::to_string(partition));
      return detected;
    };
    std::ostringstream o, e;
    status = cli::Run(args, o, e, platform);
    out = o.str();
    err = e.str();
    return status;
  }

  // Hands every call to the one scripted volume, which outlives the program's own api.
  class Forward final : public FakeVolumeApi {
   public:
    explicit Forward(FakeVolumeApi& to) : to_(to) {}
    bool HasFsControl() const override { return to_.HasFsControl(); }
    Handle OpenFile(const std::string& p, const OpenRequest& r) override { return to_.OpenFile(p, r); }
    std::uint32_t LastError() override { return to_.LastError(); }
    std::string SystemMessage(std::uint32_t f, std::int32_t c, std::uint32_t l, std::uint32_t s) override {
      return to_.SystemMessage(f, c, l, s);
    }
    std::int32_t FsControl(Handle h, std::uint32_t c, std::span<std::uint8_t> o) override {
      return to_.FsControl(h, c, o);
    }
    void CloseHandle(Handle h) override { to_.CloseHandle(h); }
    Handle FindFirst(const std::string& p, FindData& d) override { return to_.FindFirst(p, d); }
    void FindClose(Handle h) override { to_.FindClose(h); }
    std::string LastReason() override { return to_.LastReason(); }

   private:
    FakeVolumeApi& to_;
  };
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CommandLine, UsageErrorsExitWithTwoAndPrintNothingOnStdout) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--json"},
      {"--bogus", "C"},
      {"-x", "C"},
      {"--partition"},
      {"--partition", "0", "disk.img"},
      {"--partition", "1x", "disk.img"},
      {"--partition=-1", "disk.img"},
      {"--partition", "65536", "disk.img"},
      {"--partition", "2", "disk.img", "C:"},
  };
  for (const auto& args : cases) {
    ProgramRun run;
    EXPECT_EQ(run(args), kExitUsage) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Contains(run.err, "Usage: morvel")) << run.err;
    EXPECT_TRUE(run.madeFor.empty());
  }
}

TEST(CommandLine, HelpAndVersionWinOverEverythingAfterThem) {
  ProgramRun help;
  EXPECT_EQ(help({"--help", "--bogus"}), kExitOk);
  EXPECT_TRUE(Contains(help.out, "--partition N"));
  ProgramRun version;
  EXPECT_EQ(version({"C", "--version"}), kExitOk);
  EXPECT_EQ(version.out, "morvel 0.6.1.7\n");
  EXPECT_EQ(version.err, "");
}

TEST(CommandLine, TargetsAreDriveLettersOrPaths) {
  const std::pair<const char*, char> cases[] = {
      {"C", 'C'}, {"c:", 'c'}, {"Z:", 'Z'}, {"CC", 0}, {"C:\\", 0}, {"1", 0}, {"", 0}, {":", 0}, {"./C", 0},
  };
  for (const auto& [arg, letter] : cases) EXPECT_EQ(DriveLetterOf(arg), letter) << arg;

  ProgramRun run;
  run.volume.openFails = true;
  run({"--partition=3", "--", "disk.img", "--json"});
  EXPECT_EQ(run.madeFor, (std::vector<std::string>{"image disk.img 3", "image --json 3"}));
}

TEST(TextReport, TitlesNameTheDriveOrThePathAndFailuresGiveOne) {
  ProgramRun run;
  run.volume.data = SmallVolume();
  run.volume.AddRootEntry("C:\\$mft", "$MFT", 262144);
  EXPECT_EQ(run({"c:", "/dev/sdb1"}), kExitOk);
  EXPECT_TRUE(Contains(run.out, "\nNTFS VOLUME DATA OF [c] DRIVE\n"));
  EXPECT_TRUE(Contains(run.out, "\nNTFS VOLUME DATA OF [/dev/sdb1] DRIVE\n"));
  EXPECT_TRUE(Contains(run.out, "\n$MFT           262144 bytes\n"));
  EXPECT_EQ(run.volume.openedPaths, (std::vector<std::string>{"\\\\.\\c:", "\\\\.\\C:"}));
  EXPECT_EQ(run.volume.openHandles, 0);

  ProgramRun failing;
  failing.volume.status = static_cast<std::int32_t>(0xC0000010u);
  EXPECT_EQ(failing({"C"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(failing.out, "\n\nError obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST\n"));
  EXPECT_EQ(failing.err, "");
}

TEST(TextReport, ARuntimeErrorKeepsTheLinesBeforeItAndGoesToStderr) {
  ProgramRun run;
  run.volume.data = SmallVolume();
  run.volume.data.TotalClusters = 0;
  EXPECT_EQ(run({"C"}), kExitQueryFailed);
  EXPECT_TRUE(run.out.ends_with("Free clusters          : 12000\n")) << run.out;
  EXPECT_EQ(run.err, "morvel: C: Floating point division by zero.\n");
  EXPECT_EQ(run.volume.openHandles, 0);
}

TEST(JsonReport, SuccessCarriesTheRecordTheFiguresAndTheFiles) {
  ProgramRun run;
  run.volume.data = SmallVolume();
  run.volume.AddRootEntry("C:\\$mft", "$MFT", 262144);
  run.volume.AddRootEntry("C:\\$upcase", "$UpCase", 0x100000000ull + 5);
  EXPECT_EQ(run({"--json", "C"}), kExitOk);
  const char* parts[] = {
      "\"target\": \"C\"",
      "\"ok\": true",
      "\"NumberSectors\": 131071",
      "\"BytesPerCluster\": 4096",
      "\"MftZoneEnd\": 16383",
      "\"mftZoneClusters\": 10858",
      "\"freeSpaceMB\": 46.875",
      "\"mftSizeMB\": 0.25",
      "\"name\": \"$MFT\",\n          \"size\": 262144",
      "\"name\": \"$UpCase\",\n          \"size\": 4294967301",
  };
  for (const char* part : parts) EXPECT_TRUE(Contains(run.out, part)) << part << "\n" << run.out;
  EXPECT_EQ(run.err, "");
}

TEST(JsonReport, FailuresCarryTheirCodeAndText) {
  ProgramRun open;
  open.volume.openFails = true;
  open.volume.lastError = 13;
  open.volume.systemMessage = "Permission denied";
  EXPECT_EQ(open({"--json", "C"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(open.out,
                       "\"ok\": false,\n      \"error\": \"Error opening volume:Permission denied\",\n"
                       "      \"errorCode\": 13\n"))
      << open.out;

  ProgramRun refused;
  refused.volume.status = static_cast<std::int32_t>(0xC0000102u);
  EXPECT_EQ(refused({"--json", "C"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(refused.out, "\"status\": \"0xC0000102\",\n      \"statusName\": \"-1073741566\""))
      << refused.out;

  ProgramRun overflow;
  overflow.volume.data = SmallVolume();
  overflow.volume.data.NumberSectors = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(overflow({"--json", "C"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(overflow.out, "\"error\": \"Integer overflow\""));
  EXPECT_FALSE(Contains(overflow.out, "\"derived\""));
  EXPECT_EQ(overflow.err, "morvel: C: Integer overflow.\n");
}

TEST(TextReport, ReasonsGoToStderrAndNamesAreEscaped) {
  ProgramRun refused;
  refused.volume.status = static_cast<std::int32_t>(0xC0000102u);
  refused.volume.reason = "boot sector: bytes per sector 300 is not a power of two (byte 0x0B)";
  EXPECT_EQ(refused({"C"}), kExitQueryFailed);
  EXPECT_EQ(refused.err, "morvel: C: boot sector: bytes per sector 300 is not a power of two (byte 0x0B)\n");

  ProgramRun unreadable;  // every lookup fails for a reason: the report keeps its layout
  unreadable.volume.data = SmallVolume();
  unreadable.volume.reason = "root index: entry length 0 at byte 0x58";
  EXPECT_EQ(unreadable({"C"}), kExitQueryFailed);
  EXPECT_TRUE(unreadable.out.ends_with("Meta-Data files\n---------------\n")) << unreadable.out;
  EXPECT_EQ(unreadable.err, "morvel: C: $mft: root index: entry length 0 at byte 0x58\n");
  EXPECT_EQ(unreadable({"--json", "C"}), kExitQueryFailed);
  EXPECT_TRUE(
      Contains(unreadable.out, "\"ok\": false,\n      \"reason\": \"$mft: root index: entry length 0 at byte 0x58\""))
      << unreadable.out;

  ProgramRun forged;
  forged.volume.data = SmallVolume();
  forged.volume.AddRootEntry("C:\\$mft", "$MFT\r\nFree space : 0\x1b]0;x\x07\xE2\x80\xAE", 1);
  EXPECT_EQ(forged({"C"}), kExitOk);
  EXPECT_TRUE(Contains(forged.out, "$MFT\\x0d\\x0aFree space : 0\\x1b]0;x\\x07\\u202e    1 bytes\n")) << forged.out;
  EXPECT_EQ(forged({"--json", "C"}), kExitOk);
  EXPECT_TRUE(Contains(forged.out, "\"$MFT\\u000d\\u000aFree space : 0\\u001b]0;x\\u0007\\u202e\"")) << forged.out;
}

TEST(Detected, AskedOfPathsWithoutAnNtfsVolumeAloneAndShownEscaped) {
  ProgramRun notNtfs;
  notNtfs.volume.status = static_cast<std::int32_t>(0xC0000010u);
  notNtfs.detected = "ext4 file system \x1b[2J";
  EXPECT_EQ(notNtfs({"--partition", "2", "a.img"}), kExitQueryFailed);
  EXPECT_EQ(notNtfs.err, "morvel: a.img: detected: ext4 file system \\x1b[2J\n");
  EXPECT_EQ(notNtfs({"--json", "b.img"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(notNtfs.out, "\"detected\": \"ext4 file system \\u001b[2J\"")) << notNtfs.out;
  EXPECT_EQ(notNtfs({"C"}), kExitQueryFailed);  // a drive letter names no file to look into
  EXPECT_EQ(notNtfs.described, (std::vector<std::string>{"a.img 2", "b.img 0"}));

  ProgramRun unopened;
  unopened.volume.openFails = true;
  unopened.detected = "a QCOW2 disk image that cannot be read: ...";
  EXPECT_EQ(unopened({"c.qcow2"}), kExitQueryFailed);
  EXPECT_EQ(unopened.described, std::vector<std::string>{"c.qcow2 0"});

  ProgramRun others;  // an NTFS volume, damaged or whole: its own report says what it is
  others.volume.status = static_cast<std::int32_t>(0xC0000102u);
  EXPECT_EQ(others({"d.img"}), kExitQueryFailed);
  others.volume.status = 0;
  others.volume.data = SmallVolume();
  EXPECT_EQ(others({"d.img"}), kExitOk);
  EXPECT_TRUE(others.described.empty());
}

TEST(TextReport, AFailedWriteStopsWithAnError) {
  struct Full : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } full;
  std::ostream out(&full);
  std::ostringstream err;
  FakeVolumeApi volume;
  volume.data = SmallVolume();
  int reports = 0;
  Platform platform;
  platform.imageApi = [&](const std::string&, int) {
    ++reports;
    return std::make_unique<ProgramRun::Forward>(volume);
  };
  EXPECT_EQ(cli::Run({"a.img", "b.img"}, out, err, platform), kExitQueryFailed);
  EXPECT_EQ(reports, 1);
  EXPECT_TRUE(Contains(err.str(), "morvel: error writing the output")) << err.str();
  EXPECT_EQ(cli::Run({"--json", "a.img"}, out, err, platform), kExitQueryFailed);
}

TEST(Json, StringsAndNumbers) {
  const std::pair<std::string, std::string> strings[] = {
      {"$MFT", "\"$MFT\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"tab\tnl\n", "\"tab\\u0009nl\\u000a\""},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
      {"bad\xFF", "\"bad\xEF\xBF\xBD\""},
      {"cut\xC3", "\"cut\xEF\xBF\xBD\""},
      {"overlong\xC0\xAF", "\"overlong\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"surrogate\xED\xA0\x80", "\"surrogate\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
  };
  for (const auto& [in, out] : strings) EXPECT_EQ(JsonString(in), out);
  EXPECT_EQ(JsonNumber(0.1), "0.1");
  EXPECT_EQ(JsonNumber(10240.0), "10240");
  EXPECT_EQ(JsonNumber(-12.5), "-12.5");
  EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");
  EXPECT_EQ(JsonNumber(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

}  // namespace
}  // namespace morvel::cli
