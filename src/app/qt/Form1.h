#pragma once
// The main window Form1: three buttons on a panel over the memo the reports go to.
#include <QPlainTextEdit>
#include <QWidget>

#include "core/shell/ShellApi.h"
#include "core/system/SystemApi.h"
#include "core/report/VolumeApi.h"

class QPushButton;

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
  VolumeApi& volumeApi;
  SystemApi& systemApi;
  ShellApi& shellApi;
  std::string exePath;
};

class Form1 final : public QWidget {
 public:
  explicit Form1(const AppContext& context);

  QWidget* Panel1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  Memo* Memo1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void Button1Click(QPushButton* sender);
  void Button3Click();

  AppContext context_;
  bool centred_ = false;
};

}  // namespace morvel::qt
