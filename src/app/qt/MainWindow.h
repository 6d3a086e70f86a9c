#pragma once
// The main window (object name "Form1"): three buttons on a panel over the memo the reports go
// to, built from the core's design. Image files dropped onto it are reported in the memo.
#include <QPlainTextEdit>
#include <QWidget>
#include <string>
#include <vector>

#include "core/desktop/Targets.h"
#include "core/shell/ShellApi.h"
#include "core/system/SystemApi.h"
#include "platform/open/TargetOpener.h"

class QPushButton;

namespace morvel::qt {
class VolumeMapMenu;
}

namespace morvel::qt {

// The memo takes no Enter: the report is read, not edited into lines.
class ReportMemo final : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// What the windows work on: the machine's operations and the executable they describe.
struct AppContext {
  TargetOpener& opener;
  SystemApi& systemApi;
  ShellApi& shellApi;
  std::string exePath;
};

class MainWindow final : public QWidget {
 public:
  explicit MainWindow(const AppContext& context);

  // Replaces the memo with the reports of image files, devices or paths, each read and titled
  // as the console program reads and titles it.
  void ReportTargets(const std::vector<std::string>& targets);

  QWidget* panel = nullptr;
  QPushButton* cDriveButton = nullptr;
  QPushButton* dDriveButton = nullptr;
  QPushButton* versionButton = nullptr;
  ReportMemo* memo = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  void OnDriveButton(QPushButton* sender);
  void OnVersionButton();

  AppContext context_;
  OpenerDrives drives_;
  VolumeMapMenu* mapMenu_ = nullptr;
  bool centred_ = false;
};

}  // namespace morvel::qt
