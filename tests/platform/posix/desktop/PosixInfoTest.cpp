// The system and shell operations on Linux, run for real where they touch only this process,
// temporary folders and stand-in programs.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/design/InfoWindowTexts.h"
#include "core/runtime/RuntimeError.h"
#include "core/shell/Shell.h"
#include "core/system/FileVersion.h"
#include "core/system/OsDescription.h"
#include "platform/posix/desktop/PosixShellApi.h"
#include "platform/posix/desktop/PosixSystemApi.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

struct TempFolder {
  std::string path;
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "morvel-info-XXXXXX").string();
    path = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(PosixSystem, DescribesTheMachineThroughThreeLevels) {
  PosixOsFacts facts;
  facts.osRelease = "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n";
  facts.sysname = "Linux";
  facts.release = "6.1.0-18-amd64";
  facts.machine = "x86_64";
  EXPECT_EQ(DescribePosixOs(facts), "Debian GNU/Linux 12 (bookworm) (Linux 6.1.0-18-amd64 x86_64)");
  facts.osRelease = "NAME=Alpine\n";
  EXPECT_EQ(DescribePosixOs(facts), "Linux Version 6.1.0-18-amd64 (x86_64)");
  facts.sysname.reset();
  EXPECT_EQ(DescribePosixOs(facts), "Linux");

  EXPECT_EQ(OsReleaseValue("PRETTY_NAME='Fedora 40'\n", "PRETTY_NAME"), "Fedora 40");
  EXPECT_EQ(OsReleaseValue("PRETTY_NAME=\"say \\\"hi\\\"\"\r\n", "PRETTY_NAME"), "say \"hi\"");
  EXPECT_EQ(OsReleaseValue("PRETTY_NAME=\"\"\n", "PRETTY_NAME"), std::nullopt);
  EXPECT_EQ(OsReleaseValue("XPRETTY_NAME=a\n", "PRETTY_NAME"), std::nullopt);
}

TEST(PosixSystem, MemoryCountsFromMeminfo) {
  const char* meminfo =
      "MemTotal:        8000000 kB\nMemFree:          100000 kB\nMemAvailable:    4000000 kB\n"
      "SwapTotal:       2000000 kB\nSwapFree:        1500000 kB\n";
  const MemoryCounts counts = MemoryCountsFrom(meminfo, 1 << 30, std::uint64_t{1} << 47);
  EXPECT_EQ(counts.totalPhys, 8192000000u);
  EXPECT_EQ(counts.availPhys, 4096000000u);
  EXPECT_EQ(counts.totalPageFile, 10240000000u);
  EXPECT_EQ(counts.availPageFile, 5632000000u);
  EXPECT_EQ(counts.totalVirtual, std::uint64_t{1} << 47);
  EXPECT_EQ(counts.availVirtual, (std::uint64_t{1} << 47) - (1 << 30));
  EXPECT_EQ(counts.memoryLoad, 50u);

  const MemoryCounts old = MemoryCountsFrom("MemTotal: 1000 kB\nMemFree: 250 kB\n", 10, 5);
  EXPECT_EQ(old.availPhys, 256000u);
  EXPECT_EQ(old.availVirtual, 0u);
  EXPECT_EQ(MemoryCountsFrom("", 0, 0).totalPhys, 0u);
}

TEST(PosixSystem, RunningExecutableHasTheVersionItWasBuiltWith) {
  const auto api = MakePosixSystemApi();
  const std::string exe = api->ModuleFileName(kModuleFileNameBufferSize);
  EXPECT_EQ(exe, fs::read_symlink("/proc/self/exe").string());
  EXPECT_EQ(ExecutableFileVersion(*api, exe), "0.6.1.7");
  EXPECT_EQ(StampCaptionText(*api, "Morveltest", "Form1"), "Morveltest Ver.0.6.1.7 - Form1");
  // Version data is read from PE files alone.
  EXPECT_EQ(GetFileVersionText(*api, exe), "");
  EXPECT_EQ(GetFileVersionText(*api, "/nonexistent/morvel.exe"), "");

  const InfoTexts texts = MakeInfoTexts(*api, exe);
  EXPECT_EQ(texts.exeName, fs::path(exe).filename().string());
  EXPECT_EQ(texts.exeVersion, "Ver.0.6.1.7");
  EXPECT_EQ(texts.osVersion, DescribePosixOs(ReadPosixOsFacts()));
  EXPECT_TRUE(texts.memPhys.starts_with("free physical memory:")) << texts.memPhys;
  EXPECT_TRUE(texts.memPhys.ends_with("KB")) << texts.memPhys;
}

TEST(PosixShell, UserDirs) {
  const char* dirs = "# comment\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n  XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
  EXPECT_EQ(UserDirFrom(dirs, "DESKTOP", "/home/u"), "/home/u/Schreibtisch");
  EXPECT_EQ(UserDirFrom("XDG_DESKTOP_DIR=\"/data/desk\"\n", "DESKTOP", "/home/u"), "/data/desk");
  EXPECT_EQ(UserDirFrom("XDG_DESKTOP_DIR=\"$HOME\"\n", "DESKTOP", "/home/u"), "/home/u");
  EXPECT_EQ(UserDirFrom("XDG_DESKTOP_DIR=\"relative\"\n", "DESKTOP", "/home/u"), std::nullopt);
  EXPECT_EQ(UserDirFrom("XDG_DESKTOP_DIR=$HOME/x\n", "DESKTOP", "/home/u"), std::nullopt);
  EXPECT_EQ(UserDirFrom(dirs, "MUSIC", "/home/u"), std::nullopt);
  EXPECT_EQ(FileUri("/home/u/a b,c%.exe"), "file:///home/u/a%20b%2Cc%25.exe");
}

// Environment variables set for one test and restored after it.
struct ScopedEnv {
  std::string name;
  std::optional<std::string> old;
  ScopedEnv(const char* n, const std::string& value) : name(n) {
    if (const char* v = std::getenv(n)) old = v;
    ::setenv(n, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old)
      ::setenv(name.c_str(), old->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
};

TEST(PosixShell, ShortcutOnTheDesktopAndInAutostart) {
  TempFolder home;
  ScopedEnv homeEnv("HOME", home.path);
  ScopedEnv config("XDG_CONFIG_HOME", home.path + "/config");
  fs::create_directories(home.path + "/config/autostart");
  fs::create_directories(home.path + "/Desk top");
  std::ofstream(home.path + "/config/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"$HOME/Desk top\"\n";

  const auto shell = MakePosixShellApi();
  const PathRules rules = PosixPathRules();
  const std::string desktop = GetDesktopFolder(*shell, 0);
  EXPECT_EQ(desktop, home.path + "/Desk top");
  EXPECT_EQ(GetStartupFolder(*shell, 0), home.path + "/config/autostart");

  // The launcher stands for the link: quoted path ("%" doubled), arguments, folder, icon, name.
  const std::string exe = "/opt/morvel 1%/bin/MorvelTest";
  const std::string expected =
      "[Desktop Entry]\nType=Application\nName=MorvelTest\nExec=\"/opt/morvel 1%%/bin/MorvelTest\" /starup\n"
      "Path=/opt/morvel 1%/bin\nIcon=morvel\nTerminal=false\n";
  const std::string launcher = desktop + "/MorvelTest.desktop";
  CreateShortcut(*shell, exe, desktop + "/", ShortcutName(exe, rules), rules);
  // An existing launcher is replaced by a new file: one still open keeps its old contents.
  std::ifstream before(launcher);
  CreateShortcut(*shell, exe, desktop, ShortcutName(exe, rules), rules);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(before), {}), expected);
  EXPECT_EQ(ReadFile(launcher), expected);
  EXPECT_EQ(fs::status(launcher).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
  EXPECT_EQ(std::distance(fs::directory_iterator(desktop), fs::directory_iterator()), 1);  // no temporary left

  // A symlink planted in autostart is replaced; the file it points at stays untouched.
  const std::string victim = home.path + "/victim";
  std::ofstream(victim) << "keep";
  fs::create_symlink(victim, home.path + "/config/autostart/MorvelTest.desktop");
  CreateShortcut(*shell, exe, GetStartupFolder(*shell, 0), "MorvelTest", rules);
  EXPECT_EQ(ReadFile(victim), "keep");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(home.path + "/config/autostart/MorvelTest.desktop")));

  // A failure names the file.
  for (const auto& [folder, reason] : {std::pair{home.path + "/missing", "No such file or directory"},
                                       std::pair{home.path + "/victim", "Not a directory"}}) {
    try {
      CreateShortcut(*shell, exe, folder, "MorvelTest", rules);
      ADD_FAILURE() << "no error for " << folder;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(std::string(e.what()), folder + "/MorvelTest.desktop: " + reason);
    }
  }
  try {
    CreateShortcut(*shell, "/opt/bad\x01name", desktop, "MorvelTest", rules);
    ADD_FAILURE() << "no error for a control character";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(std::string(e.what()), launcher + ": Invalid argument");
  }
}

TEST(PosixShell, OpenAndPropertiesStartProgramsDetached) {
  TempFolder dir;
  const std::string log = dir.path + "/log";
  const std::string script = dir.path + "/record";
  std::ofstream(script) << "#!/bin/sh\necho \"$PWD|$*\" >> '" << log << "'\n";
  fs::permissions(script, fs::perms::owner_all);
  PosixShellConfig config;
  config.opener = script;
  config.dbusSend = script;
  config.gdbus = dir.path + "/absent";
  const auto shell = MakePosixShellApi(config);

  ShellOpen(*shell, 0, dir.path + "/", "", PosixPathRules());
  ShowFileProperties(*shell, 0, "/opt/a b/MorvelTest");
  // Fire and forget: the programs write their lines some time after the calls return.
  std::string text;
  for (int i = 0; i < 200 && std::count(text.begin(), text.end(), '\n') < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    text = ReadFile(log);
  }
  EXPECT_NE(text.find(dir.path + "|" + dir.path + "/\n"), std::string::npos) << text;
  EXPECT_NE(text.find("|--session --dest=org.freedesktop.FileManager1 --type=method_call "
                      "/org/freedesktop/FileManager1 org.freedesktop.FileManager1.ShowItemProperties "
                      "array:string:file:///opt/a%20b/MorvelTest string:\n"),
            std::string::npos)
      << text;

  PosixShellConfig none;
  none.opener = none.dbusSend = none.gdbus = dir.path + "/absent";
  const auto silent = MakePosixShellApi(none);
  EXPECT_FALSE(silent->Open(0, "x", "", ""));
  EXPECT_FALSE(silent->ShowProperties(0, "/x"));
}

}  // namespace
}  // namespace morvel
