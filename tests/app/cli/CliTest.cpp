#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <map>
#include <sstream>

#include "app/cli/Cli.h"
#include "app/cli/CommandLine.h"
#include "app/cli/Json.h"
#include "tests/fakes/FakeVolume.h"

namespace morvel::cli {
namespace {

using morvel::testing::FakeVolume;

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

// Every target opens the one scripted volume.
class FakeOpener final : public TargetOpener {
 public:
  explicit FakeOpener(FakeVolume& volume) : volume_(volume) {}
  std::vector<std::string> opened;        // "<text> <partition>"
  std::string detailsError;               // what --details says
  std::map<std::string, std::string> at;  // a mount point by path
  std::optional<VolumeScan> scan;         // what a scan gives; none: "no scan here"

  std::unique_ptr<OpenedVolume> OpenDrive(char letter) override {
    opened.push_back(std::string(1, letter) + " 0");
    return std::make_unique<Opened>(*this);
  }

 protected:
  void OpenPath(const std::string& text, PartitionChoice choice, OpenedTarget& target) override {
    opened.push_back(text + " " + std::to_string(choice.number));
    if (auto it = at.find(text); it != at.end()) target.mountPoint = it->second;
    target.volume = std::make_unique<Opened>(*this);
  }

 private:
  class Opened final : public OpenedVolume {
   public:
    explicit Opened(FakeOpener& opener) : opener_(opener) {}
    VolumeQuery QueryVolumeData() override { return opener_.volume_.QueryVolumeData(); }
    MetaDataLookup FindMetaDataFile(const std::string& name) override { return opener_.volume_.FindMetaDataFile(name); }
    bool RequestClusterMap(std::size_t) override { return false; }
    std::optional<ClusterMap> TakeClusterMap(std::string& reason) override {
      reason = "no map here";
      return std::nullopt;
    }
    bool RequestScan(const ScanRequest&) override { return opener_.scan.has_value(); }
    std::optional<VolumeScan> TakeScan(std::string& reason) override {
      if (!opener_.scan) reason = "no scan here";
      return opener_.scan;
    }
    base::Result ReadDetails(VolumeDetails&) override {
      return opener_.detailsError.empty() ? base::Result() : base::Result(base::Status::IoError, opener_.detailsError);
    }

   private:
    FakeOpener& opener_;
  };
  FakeVolume& volume_;
};

// Runs the program against one scripted volume and keeps what it printed and which targets it
// opened.
struct ProgramRun {
  FakeVolume volume;
  FakeOpener opener{volume};
  std::string out, err;
  int status = -1;
  std::function<void(Platform&)> addHooks;  // the machine's hooks, when a test needs them

  ProgramRun() = default;
  ProgramRun(const ProgramRun& other) : volume(other.volume), addHooks(other.addHooks) {}

  int operator()(const std::vector<std::string>& args) {
    Platform platform;
    platform.opener = &opener;
    if (addHooks) addHooks(platform);
    std::ostringstream o, e;
    status = cli::Run(args, o, e, platform);
    out = o.str();
    err = e.str();
    return status;
  }

  void OpenFails(std::uint32_t code, const char* text) {
    volume.query.outcome = VolumeQuery::Outcome::OpenFailed;
    volume.query.openError = code;
    volume.query.openErrorText = text;
  }
  void Refuse(std::uint32_t code, std::string reason = "") {
    volume.query.outcome = VolumeQuery::Outcome::Refused;
    volume.query.status = static_cast<std::int32_t>(code);
    volume.query.reason = std::move(reason);
  }
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
      {"--list", "C"},
      {"--list", "--partition", "1"},
      {"--map", "-", "--map", "a.svg", "disk.img"},
      {"--partition", "\x1b[31mX\xe2\x80\xae", "disk.img"},
  };
  for (const auto& args : cases) {
    ProgramRun run;
    EXPECT_EQ(run(args), kExitUsage) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Contains(run.err, "Usage: morvel")) << run.err;
    EXPECT_EQ(run.err.find_first_of("\x1b"), std::string::npos) << run.err;  // arguments are echoed escaped
    EXPECT_TRUE(run.opener.opened.empty());
  }
}

// Paths go through the platform's resolution; letters that cannot be opened are explained.
// Every failure says on stderr why, and where the program looked when it has a word for it.
TEST(Failures, StderrSaysWhyAndWhereTheProgramLooked) {
  ProgramRun run;
  run.OpenFails(2, "No such file or directory");
  run.opener.detailsError = "cannot";
  run.volume.query.where = "looked for k\x1b";
  EXPECT_EQ(run({"--details", "/mnt/w/f", "k"}), kExitQueryFailed);
  EXPECT_EQ(run.opener.opened, (std::vector<std::string>{"/mnt/w/f 0", "k 0"}));
  EXPECT_EQ(run.err, "morvel: /mnt/w/f: looked for k\\x1b\nmorvel: k: looked for k\\x1b\n");
  EXPECT_TRUE(Contains(run.out, "Volume details\n--------------\nUnavailable          : cannot\n")) << run.out;

  run.volume.query.where.clear();
  EXPECT_EQ(run({"missing.img"}), kExitQueryFailed);
  EXPECT_EQ(run.err, "morvel: missing.img: No such file or directory\n");
  run.volume.query = {};
  run.volume.query.outcome = VolumeQuery::Outcome::Refused;
  run.volume.query.status = static_cast<std::int32_t>(0xC0000010u);
  EXPECT_EQ(run({"e.img"}), kExitQueryFailed);
  EXPECT_EQ(run.err, "morvel: e.img: Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST\n");
}

TEST(VolumeHooks, ListTableAndDocument) {
  VolumeList list;
  list.volumes = {{'C', "mount order", "/dev/loop0", "/img/a.img", 16u << 20, "Daten\x1b", "3.1", {"/mnt/a"}, ""},
                  {0, "", "/dev/sdb1", "", 0, "", "", {}, "Permission denied"}};
  list.unread = {"/dev/sda: Permission denied"};
  ProgramRun text;
  text.addHooks = [&](Platform& p) { p.listVolumes = [&] { return list; }; };
  EXPECT_EQ(text({"--list"}), kExitOk);
  EXPECT_EQ(text.out,
            "Letter  From         Device or image          Size      Label                NTFS  Mount point\n"
            "C:      mount order  /dev/loop0 (/img/a.img)  16.0 MiB  Daten\\x1b            3.1   /mnt/a\n"
            "-       -            /dev/sdb1                -         ? Permission denied  -     -\n");
  EXPECT_EQ(text.err, "morvel: not examined: /dev/sda: Permission denied\n");
  ProgramRun json = text;
  EXPECT_EQ(json({"--list", "--json"}), kExitOk);
  EXPECT_TRUE(Contains(json.out, "\"letter\": \"C\",\n      \"letterFrom\": \"mount order\"")) << json.out;
  EXPECT_TRUE(Contains(json.out, "\"label\": \"Daten\\u001b\"")) << json.out;
  EXPECT_TRUE(Contains(json.out, "\"letter\": null")) << json.out;
}

// On a terminal the table fits its width, columns aligned by what each character takes on the
// screen (a wide character two columns, U+FFFD one); into a pipe every text is whole.
TEST(VolumeHooks, ListTableFitsTheTerminal) {
  VolumeList list;
  list.volumes = {{'C',
                   "link",
                   "/img/disk.img",
                   "",
                   16u << 20,
                   "\u65E5\u672C\u8A9E\u306E\u30E9\u30D9\u30EB",
                   "3.1",
                   {"/mnt/a"},
                   ""},
                  {'D',
                   "mount order",
                   "/dev/sdb1",
                   "",
                   1u << 30,
                   "Backup\uFFFD",
                   "3.1",
                   {"/media/user/a-rather-long-mount-point-name"},
                   ""}};
  const struct {
    bool isTerminal;  // 70 columns wide
    std::string table;
  } cases[] = {
      {false,
       "Letter  From         Device or image  Size      Label           NTFS  Mount point\n"
       "C:      link         /img/disk.img    16.0 MiB  \u65E5\u672C\u8A9E\u306E\u30E9\u30D9\u30EB  3.1   /mnt/a\n"
       "D:      mount order  /dev/sdb1        1.0 GiB   Backup\uFFFD         3.1   "
       "/media/user/a-rather-long-mount-point-name\n"},
      {true,
       "Letter  From         Device o\u2026  Size      Label       NTFS  Mount poi\u2026\n"
       "C:      link         /img/dis\u2026  16.0 MiB  \u65E5\u672C\u8A9E\u306E\u2026   3.1   /mnt/a\n"
       "D:      mount order  /dev/sdb1  1.0 GiB   Backup\uFFFD     3.1   /media/us\u2026\n"},
  };
  for (const auto& c : cases) {
    ProgramRun run;
    run.addHooks = [&](Platform& p) {
      p.listVolumes = [&] { return list; };
      p.terminal.isTerminal = c.isTerminal;
      p.terminal.columns = 70;
    };
    EXPECT_EQ(run({"--list"}), kExitOk);
    EXPECT_EQ(run.out, c.table) << c.isTerminal;
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
  run.OpenFails(2, "No such file or directory");
  run({"--partition=3", "--", "disk.img", "--json"});
  EXPECT_EQ(run.opener.opened, (std::vector<std::string>{"disk.img 3", "--json 3"}));
}

TEST(TextReport, TitlesNameTheDriveOrThePathAndFailuresGiveOne) {
  ProgramRun run;
  run.volume.query.data = SmallVolume();
  run.volume.AddRootFile("$mft", "$MFT", 262144);
  EXPECT_EQ(run({"c:", "/dev/sdb1"}), kExitOk);
  EXPECT_TRUE(Contains(run.out, "\nNTFS VOLUME DATA OF [c] DRIVE\n"));
  EXPECT_TRUE(Contains(run.out, "\nNTFS VOLUME DATA OF [/dev/sdb1] DRIVE\n"));
  EXPECT_TRUE(Contains(run.out, "\n$MFT           262144 bytes\n"));

  ProgramRun failing;
  failing.Refuse(0xC0000010u);
  EXPECT_EQ(failing({"C"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(failing.out, "\n\nError obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST\n"));
}

TEST(TextReport, ARuntimeErrorKeepsTheLinesBeforeItAndGoesToStderr) {
  ProgramRun run;
  run.volume.query.data = SmallVolume();
  run.volume.query.data.TotalClusters = 0;
  EXPECT_EQ(run({"C"}), kExitQueryFailed);
  EXPECT_TRUE(run.out.ends_with("Free clusters          : 12000\n")) << run.out;
  EXPECT_EQ(run.err, "morvel: C: Floating point division by zero.\n");
}

TEST(JsonReport, SuccessCarriesTheRecordTheFiguresAndTheFiles) {
  ProgramRun run;
  run.volume.query.data = SmallVolume();
  run.volume.AddRootFile("$mft", "$MFT", 262144);
  run.volume.AddRootFile("$upcase", "$UpCase", 0x100000000ull + 5);
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
  open.OpenFails(13, "Permission denied");
  EXPECT_EQ(open({"--json", "C"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(open.out,
                       "\"ok\": false,\n      \"error\": \"Error opening volume:Permission denied\",\n"
                       "      \"errorCode\": 13\n"))
      << open.out;

  ProgramRun refused;
  refused.Refuse(0xC0000102u);
  EXPECT_EQ(refused({"--json", "C"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(refused.out, "\"status\": \"0xC0000102\",\n      \"statusName\": \"-1073741566\""))
      << refused.out;

  ProgramRun overflow;
  overflow.volume.query.data = SmallVolume();
  overflow.volume.query.data.NumberSectors = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(overflow({"--json", "C"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(overflow.out, "\"error\": \"Integer overflow\""));
  EXPECT_FALSE(Contains(overflow.out, "\"derived\""));
  EXPECT_EQ(overflow.err, "morvel: C: Integer overflow.\n");
}

TEST(TextReport, ReasonsGoToStderrAndNamesAreEscaped) {
  ProgramRun refused;
  refused.Refuse(0xC0000102u, "boot sector: bytes per sector 300 is not a power of two (byte 0x0B)");
  EXPECT_EQ(refused({"C"}), kExitQueryFailed);
  EXPECT_EQ(refused.err, "morvel: C: boot sector: bytes per sector 300 is not a power of two (byte 0x0B)\n");

  ProgramRun unreadable;  // every lookup fails for a reason: the report keeps its layout
  unreadable.volume.query.data = SmallVolume();
  unreadable.volume.unreadable["$MFT"] = "root index: entry length 0 at byte 0x58";
  EXPECT_EQ(unreadable({"C"}), kExitQueryFailed);
  EXPECT_TRUE(unreadable.out.ends_with("Meta-Data files\n---------------\n")) << unreadable.out;
  EXPECT_EQ(unreadable.err, "morvel: C: $mft: root index: entry length 0 at byte 0x58\n");
  EXPECT_EQ(unreadable({"--json", "C"}), kExitQueryFailed);
  EXPECT_TRUE(
      Contains(unreadable.out, "\"ok\": false,\n      \"reason\": \"$mft: root index: entry length 0 at byte 0x58\""))
      << unreadable.out;

  ProgramRun forged;
  forged.volume.query.data = SmallVolume();
  forged.volume.AddRootFile("$mft", "$MFT\r\nFree space : 0\x1b]0;x\x07\xE2\x80\xAE", 1);
  EXPECT_EQ(forged({"C"}), kExitOk);
  EXPECT_TRUE(Contains(forged.out, "$MFT\\x0d\\x0aFree space : 0\\x1b]0;x\\x07\\u202e    1 bytes\n")) << forged.out;
  EXPECT_EQ(forged({"--json", "C"}), kExitOk);
  EXPECT_TRUE(Contains(forged.out, "\"$MFT\\u000d\\u000aFree space : 0\\u001b]0;x\\u0007\\u202e\"")) << forged.out;
}

TEST(Detected, WhatATargetHoldsIsShownEscaped) {
  ProgramRun notNtfs;
  notNtfs.Refuse(0xC0000010u, "boot sector: no NTFS signature");
  notNtfs.volume.query.detected = "ext4 file system \x1b[2J";
  EXPECT_EQ(notNtfs({"--partition", "2", "a.img"}), kExitQueryFailed);
  EXPECT_EQ(notNtfs.err, "morvel: a.img: detected: ext4 file system \\x1b[2J\n");
  EXPECT_EQ(notNtfs({"--json", "b.img"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(notNtfs.out, "\"detected\": \"ext4 file system \\u001b[2J\"")) << notNtfs.out;
}

TEST(TextReport, AFailedWriteStopsWithAnError) {
  struct Full : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } full;
  std::ostream out(&full);
  std::ostringstream err;
  FakeVolume volume;
  volume.query.data = SmallVolume();
  FakeOpener opener(volume);
  Platform platform;
  platform.opener = &opener;
  EXPECT_EQ(cli::Run({"a.img", "b.img"}, out, err, platform), kExitQueryFailed);
  EXPECT_EQ(opener.opened.size(), 1u);
  EXPECT_TRUE(Contains(err.str(), "morvel: error writing the output")) << err.str();
  EXPECT_EQ(cli::Run({"--json", "a.img"}, out, err, platform), kExitQueryFailed);
}

// A volume that gives no scan keeps its report; the missing analysis is said and fails the run,
// in text and in JSON alike.
TEST(Analysis, AMissingScanKeepsTheReportAndFailsTheRun) {
  ProgramRun plain;
  plain.volume.query.data = SmallVolume();
  ASSERT_EQ(plain({"C"}), kExitOk);
  ProgramRun text = plain;
  EXPECT_EQ(text({"--analyze", "C"}), kExitQueryFailed);
  EXPECT_EQ(text.out, plain.out);
  EXPECT_TRUE(Contains(text.err, "morvel: C: no analysis: no scan here")) << text.err;
  ProgramRun json = plain;
  EXPECT_EQ(json({"--json", "--analyze", "C"}), kExitQueryFailed);
  EXPECT_TRUE(Contains(json.out, "\"scanError\": \"no scan here\"")) << json.out;
}

// The check's findings, when it ran, follow the analysis in text and in JSON, escaped.
TEST(Analysis, FindingsFollowTheAnalysis) {
  ProgramRun run;
  run.volume.query.data = SmallVolume();
  VolumeAnalysis analysis;
  analysis.files = 3;
  run.opener.scan =
      VolumeScan{analysis,
                 {{Finding::Severity::Error, "bitmap-free-in-use", "clusters 10-12 of \x1b[31m", {"a note"}},
                  {Finding::Severity::Warning, "volume-dirty", "the dirty flag is set", {}}},
                 true};
  EXPECT_EQ(run({"--analyze", "C"}), kExitOk);
  EXPECT_TRUE(Contains(run.out, "  Files / directories    : 3 / 0\n")) << run.out;
  EXPECT_TRUE(Contains(run.out,
                       "\nConsistency check\n  Errors 1, warnings 1, findings 2\n"
                       "  error bitmap-free-in-use: clusters 10-12 of \\x1b[31m\n    a note\n"
                       "  warning volume-dirty: the dirty flag is set\n"))
      << run.out;
  EXPECT_EQ(run({"--json", "--analyze", "C"}), kExitOk);
  EXPECT_TRUE(Contains(run.out, "\"files\": 3")) << run.out;
  EXPECT_TRUE(Contains(run.out,
                       "\"severity\": \"error\",\n          \"code\": \"bitmap-free-in-use\",\n"
                       "          \"text\": \"clusters 10-12 of \\u001b[31m\""))
      << run.out;
}

// --check exits 3 for an error among its findings, 0 for warnings alone; a failure's 1 outranks it.
TEST(Check, AnErrorFoundExits3) {
  const Finding error{Finding::Severity::Error, "claimed-free", "cluster 7", {}};
  const Finding warning{Finding::Severity::Warning, "volume-dirty", "the dirty flag is set", {}};
  const struct {
    std::vector<Finding> findings;
    std::vector<std::string> args;
    bool refused;
    int status;
  } cases[] = {
      {{warning, error}, {"--check", "C"}, false, kExitInconsistent},
      {{warning, error}, {"--json", "--check", "C"}, false, kExitInconsistent},
      {{warning}, {"--check", "C"}, false, kExitOk},
      {{}, {"--check", "C"}, false, kExitOk},
      {{error}, {"--check", "C"}, true, kExitQueryFailed},
  };
  for (const auto& c : cases) {
    ProgramRun run;
    run.volume.query.data = SmallVolume();
    if (c.refused) run.Refuse(0xC0000102u);
    run.opener.scan = VolumeScan{std::nullopt, c.findings, true};
    EXPECT_EQ(run(c.args), c.status) << c.args.size() << " " << c.findings.size() << run.err;
  }
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
  // A target that is not UTF-8 keeps its bytes apart from another's.
  for (const auto& [target, bytes] : {std::pair<std::string, std::string>{"v\xff.img", "76ff2e696d67"},
                                      {"v\xfe.img", "76fe2e696d67"},
                                      {"caf\xC3\xA9", ""}}) {
    JsonWriter json;
    json.BeginObject();
    WriteTarget(json, target);
    json.EndObject();
    EXPECT_EQ(json.text().find("\"targetBytes\": \"" + bytes + "\"") != std::string::npos, !bytes.empty())
        << json.text();
    EXPECT_EQ(json.text().find("targetBytes") != std::string::npos, !bytes.empty()) << json.text();
  }
}

}  // namespace
}  // namespace morvel::cli
