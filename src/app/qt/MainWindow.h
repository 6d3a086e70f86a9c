#pragma once
// The main window Form1: three buttons on a panel over the memo the reports go to, built from
// the core's design. Image files dropped onto it are reported in the memo.
#include <QPlainTextEdit>
#include <QWidget>
#include <string>
#include <vector>

#include "core/design/Targets.h"
#include "core/shell/ShellApi.h"
#include "core/system/SystemApi.h"
#include "platform/open/TargetOpener.h"

class QPushButton;

namespace morvel::qt {
class VolumeMapMenu;
}

namespace morvel::qt {

// The memo takes no Enter: the report is read, not edited into lines.
class Memo final : public QPlainTextEdit {
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

class Form1 final : public QWidget {
 public:
  explicit Form1(const AppContext& context);

  // Replaces the memo with the reports of image files, devices or paths, each read and titled
  // as the console program reads and titles it.
  void ReportTargets(const std::vector<std::string>& targets);

  QWidget* Panel1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  Memo* Memo1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  void Button1Click(QPushButton* sender);
  void Button3Click();

  AppContext context_;
  OpenerDrives drives_;
  VolumeMapMenu* mapMenu_ = nullptr;
  bool centred_ = false;
};

}  // namespace morvel::qt
