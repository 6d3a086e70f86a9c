#include "app/qt/ErrorReport.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>

#include "core/system/AppTitle.h"
#include "core/runtime/RuntimeError.h"

namespace morvel::qt {
namespace {

std::string& TitleStore() {
  static std::string title;
  return title;
}

}  // namespace

std::string ApplicationTitleOf(const std::string& exePath) {
  // The rule looks for "\" only: hand it the file name of the POSIX path.
  const std::size_t slash = exePath.rfind('/');
  return ApplicationTitle(slash == std::string::npos ? exePath : exePath.substr(slash + 1));
}

const std::string& AppTitle() { return TitleStore(); }
void SetAppTitle(std::string title) { TitleStore() = std::move(title); }

QIcon AppIcon() { return QIcon(":/MorvelTest.ico"); }

void ShowException(QWidget* parent, const std::exception& e) {
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(AppTitle()),
                  QString::fromStdString(ErrorReportText(e.what())), QMessageBox::Ok, parent);
  box.setObjectName("ErrorReport");
  box.exec();
}

void Guard(QWidget* parent, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowException(parent, e);
  }
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(activeWindow(), e);
    return true;
  }
}

}  // namespace morvel::qt
