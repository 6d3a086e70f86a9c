#pragma once
// The application's default error report: an error that leaves a handler is shown in a box
// titled with the application title, and the program carries on.
#include <exception>
#include <functional>
#include <string>

#include <QApplication>
#include <QIcon>

class QWidget;

namespace morvel::qt {

// The title from the running executable's file name (the core's rule).
std::string ApplicationTitleOf(const std::string& exePath);

// The title the error boxes and the captions use; set once at start-up.
const std::string& AppTitle();
void SetAppTitle(std::string title);

// Shows the error box for `e` over `parent` (critical icon, OK alone).
void ShowException(QWidget* parent, const std::exception& e);

// Runs a handler; an error leaving it is reported and goes no further.
void Guard(QWidget* parent, const std::function<void()>& handler);

// The program's icon, for the windows and the information window's image.
QIcon AppIcon();

// The application object: an error that leaves any event handler is reported as well.
class Application final : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace morvel::qt
