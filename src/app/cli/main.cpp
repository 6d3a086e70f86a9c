// morvel: prints the NTFS volume report of drive letters, devices and image files.
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#include "platform/io/SystemIo.h"
#include "platform/open/TargetOpener.h"
#ifdef _WIN32
#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32Locale.h"
#else
#include "platform/posix/PosixLocale.h"
#endif

namespace {

int RunConsole(const std::vector<std::string>& args) {
  const auto opener = morvel::MakeTargetOpener({true, &std::cerr});
  morvel::cli::Platform platform;
  platform.opener = opener.get();
  platform.listVolumes = &morvel::ListMachineVolumes;
  platform.separators = morvel::UserNumberSeparators();
  platform.terminal = morvel::StandardOutput();
  return morvel::cli::Run(args, std::cout, std::cerr, platform);
}

}  // namespace

#ifdef _WIN32
// The command line arrives as UTF-16 (linked with -municode): a file name outside the ANSI
// code page reaches the program whole, where the ANSI form would hold "?" or a best-fit
// lookalike of another file's name. Inside, every text is UTF-8.
int wmain(int argc, wchar_t** argv) {
  const morvel::ConsoleText console;
  return RunConsole(morvel::Utf8Arguments(argc, argv));
}
#else
int main(int argc, char** argv) { return RunConsole(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc)); }
#endif
