// MorvelTest: the desktop program on Linux. The machine's operations, the main window, and
// the application's event loop until the window is closed.
#include <exception>
#include <memory>

#include <QMessageBox>

#include "app/qt/ErrorReport.h"
#include "app/qt/Form1.h"
#include "platform/posix/desktop/PosixShellApi.h"
#include "platform/posix/desktop/PosixSystemApi.h"
#include "platform/posix/PosixVolumeApi.h"
#include "core/runtime/RuntimeError.h"
#include "core/shell/Shell.h"

int main(int argc, char* argv[]) {
  morvel::qt::Application application(argc, argv);
  const std::unique_ptr<morvel::VolumeApi> volumeApi = morvel::MakePosixVolumeApi();
  const std::unique_ptr<morvel::SystemApi> systemApi = morvel::MakePosixSystemApi();
  const std::unique_ptr<morvel::ShellApi> shellApi = morvel::MakePosixShellApi();
  const morvel::ComRuntime comRuntime(*shellApi);
  const std::string exePath = systemApi->ModuleFileName(morvel::kModuleFileNameBufferSize);
  morvel::qt::SetAppTitle(morvel::qt::ApplicationTitleOf(exePath));
  QApplication::setApplicationName(QString::fromStdString(morvel::qt::AppTitle()));
  QApplication::setWindowIcon(morvel::qt::AppIcon());
  try {
    morvel::qt::Form1 form1({*volumeApi, *systemApi, *shellApi, exePath});
    form1.show();
    return QApplication::exec();
  } catch (const std::exception& e) {
    // Only the start-up can get here: handlers report their own errors and carry on.
    QMessageBox::critical(nullptr, QString(), QString::fromStdString(morvel::ErrorReportText(e.what())));
    return 1;
  }
}
