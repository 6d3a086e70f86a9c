#pragma once
// The information window: the executable, its version, the system it runs on, and the
// actions on it (properties, home page, mail, shortcut, folder), built from the core's design.
#include <QDialog>
#include <QLabel>
#include <map>
#include <string>

#include "core/design/InfoWindowDesign.h"
#include "core/shell/PathRules.h"
#include "core/shell/ShellApi.h"
#include "core/system/SystemApi.h"

namespace morvel::qt {

// A label that reports a click of the left button.
class ClickLabel final : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

class InfoWindow final : public QDialog {
 public:
  InfoWindow(SystemApi& system, ShellApi& shell, std::string exePath, QWidget* parent);

  // The control named in the design, or nullptr.
  QWidget* Control(const std::string& name) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void OnCreate();
  void AutoSize();
  void CenterOnWorkArea();
  void Click(const std::string& name);
  void CreateShortcutIn(const std::string& folder);
  std::string Text(const std::string& name) const;

  SystemApi& system_;
  ShellApi& shell_;
  PathRules rules_;
  std::string exePath_;
  QWidget* panel_ = nullptr;
  std::map<std::string, QWidget*> controls_;
};

}  // namespace morvel::qt
