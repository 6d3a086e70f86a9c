// morvel: prints the NTFS volume report of each drive letter given on the command line.
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Lines.h"
#include "RuntimeError.h"
#include "Unit1.h"
#include "Version.h"
#ifdef _WIN32
#include "Win32VolumeApi.h"
#else
#include "PosixVolumeApi.h"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitQueryFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::ostream& out) {
  out << "Usage: morvel [--help] [--version] DRIVE...\n"
         "Prints the NTFS volume report of each DRIVE (a letter: C, C: or d).\n"
         "Exit status: 0 when every report succeeded, 1 when a volume query failed,\n"
         "2 on a usage error.\n";
}

// "C", "c:" -> 'C' / 'c' (the letter is used unchanged); 0 when the argument is no drive.
char DriveLetter(const std::string& arg) {
  const bool letter = arg.size() >= 1 && ((arg[0] >= 'A' && arg[0] <= 'Z') || (arg[0] >= 'a' && arg[0] <= 'z'));
  if (letter && (arg.size() == 1 || (arg.size() == 2 && arg[1] == ':'))) return arg[0];
  return 0;
}

std::unique_ptr<morvel::VolumeApi> MakeVolumeApi() {
#ifdef _WIN32
  return morvel::MakeWin32VolumeApi();
#else
  return morvel::MakePosixVolumeApi();
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char> drives;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(std::cout);
      return kExitOk;
    }
    if (arg == "--version") {
      std::cout << "morvel " MORVEL_FILE_VERSION_TEXT "\n";
      return kExitOk;
    }
    const char letter = DriveLetter(arg);
    if (letter == 0) {
      std::cerr << "morvel: not a drive letter: " << arg << "\n";
      PrintUsage(std::cerr);
      return kExitUsage;
    }
    drives.push_back(letter);
  }
  if (drives.empty()) {
    PrintUsage(std::cerr);
    return kExitUsage;
  }
  auto api = MakeVolumeApi();
  int status = kExitOk;
  for (std::size_t i = 0; i < drives.size(); ++i) {
    if (i > 0) std::cout << "\n";
    morvel::StringLines lines;
    try {
      if (!morvel::WriteDriveReport(std::string(1, drives[i]), *api, lines, {})) status = kExitQueryFailed;
    } catch (const std::exception& e) {
      for (const auto& line : lines.lines()) std::cout << line << "\n";
      std::cerr << "morvel: " << morvel::ErrorReportText(e.what()) << "\n";
      status = kExitQueryFailed;
      continue;
    }
    for (const auto& line : lines.lines()) std::cout << line << "\n";
  }
  return status;
}
