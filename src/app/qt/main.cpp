// MorvelTest: the desktop program on Linux. The machine's operations, the main window, and
// the application's event loop until the window is closed. Volumes named on the command line
// are reported in the main window once it shows.
#include <QMessageBox>
#include <QTimer>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/ErrorReport.h"
#include "app/qt/MainWindow.h"
#include "core/desktop/Targets.h"
#include "core/runtime/RuntimeError.h"
#include "core/system/Version.h"
#include "platform/open/TargetOpener.h"
#include "platform/posix/desktop/PosixShellApi.h"
#include "platform/posix/desktop/PosixSystemApi.h"

namespace {

std::string ProgramName(const char* argv0) {
  const std::string path = argv0 != nullptr ? argv0 : "MorvelTest";
  return path.substr(path.rfind('/') + 1);
}

// --help and --version answer before any window system is asked for; a bad line is refused.
// Returns the exit status when the program should end here.
int AnswerCommandLine(const morvel::DesktopCommandLine& line, const std::string& program) {
  if (line.help) {
    std::cout << morvel::DesktopUsageText(program) << std::flush;
    return std::cout ? 0 : 1;
  }
  if (line.version) {
    std::cout << program << " " MORVEL_FILE_VERSION_TEXT "\n" << std::flush;
    return std::cout ? 0 : 1;
  }
  std::cerr << program << ": " << line.error << "\nTry '" << program << " --help' for more.\n";
  return 2;
}

std::vector<std::string> Arguments(int argc, char* argv[]) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::string program = ProgramName(argc > 0 ? argv[0] : nullptr);
  // --help and --version need no display: answered before the application connects to one.
  const morvel::DesktopCommandLine asked = morvel::ParseDesktopCommandLine(Arguments(argc, argv));
  if (asked.help || asked.version) return AnswerCommandLine(asked, program);
  morvel::qt::Application application(argc, argv);  // takes Qt's own options out of argv
  const morvel::DesktopCommandLine line = morvel::ParseDesktopCommandLine(Arguments(argc, argv));
  if (!line.error.empty()) return AnswerCommandLine(line, program);

  const std::unique_ptr<morvel::TargetOpener> opener = morvel::MakeTargetOpener();
  const std::unique_ptr<morvel::SystemApi> systemApi = morvel::MakePosixSystemApi();
  const std::unique_ptr<morvel::ShellApi> shellApi = morvel::MakePosixShellApi();
  const std::string exePath = systemApi->ModuleFileName(morvel::kModuleFileNameBufferSize);
  morvel::qt::SetAppTitle(morvel::qt::ApplicationTitleOf(exePath));
  QApplication::setApplicationName(QString::fromStdString(morvel::qt::AppTitle()));
  QApplication::setWindowIcon(morvel::qt::AppIcon());
  try {
    morvel::qt::MainWindow mainWindow({*opener, *systemApi, *shellApi, exePath});
    mainWindow.show();
    if (!line.targets.empty()) {
      QTimer::singleShot(0, &mainWindow, [&mainWindow, &line] { mainWindow.ReportTargets(line.targets); });
    }
    return QApplication::exec();
  } catch (const std::exception& e) {
    // Only the start-up can get here: handlers report their own errors and carry on.
    QMessageBox::critical(nullptr, QString(), QString::fromStdString(morvel::ErrorReportText(e.what())));
    return 1;
  }
}
