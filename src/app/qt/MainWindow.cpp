#include "app/qt/MainWindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "app/qt/ErrorReport.h"
#include "app/qt/InfoWindow.h"
#include "app/qt/MapWindow.h"
#include "app/qt/MemoLines.h"
#include "app/qt/ReportMenu.h"
#include "core/design/MainWindowDesign.h"
#include "core/desktop/Targets.h"
#include "core/report/VolumeReport.h"
#include "core/system/FileVersion.h"
#include "platform/posix/PosixLocale.h"

namespace morvel::qt {
namespace {

using main_window::kMainWindow;

QString ToQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The design's Japanese fixed-pitch gothic, or the nearest installed one.
QFont MemoFont() {
  QFont font;
  font.setFamilies(
      {"MS Gothic", ToQt(kMainWindow.font.face), "IPAGothic", "Noto Sans Mono CJK JP", "VL Gothic", "Monospace"});
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(-kMainWindow.font.height);
  return font;
}

QPushButton* MakeButton(QWidget* parent, const main_window::ControlDesign& design) {
  auto* button = new QPushButton(ToQt(design.text), parent);
  button->setObjectName(ToQt(design.name));
  button->setGeometry(design.left, design.top, design.width, design.height);
  return button;
}

// The local files a drag carries; none when it carries anything else.
QStringList LocalFiles(const QMimeData* data) {
  QStringList files;
  if (data == nullptr || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    files << url.toLocalFile();
  }
  return files;
}

}  // namespace

void ReportMemo::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

MainWindow::MainWindow(const AppContext& context) : context_(context), drives_(context.opener) {
  setObjectName(ToQt(kMainWindow.name));
  CreateControls();
  resize(kMainWindow.clientWidth, kMainWindow.clientHeight);
  setWindowTitle(
      QString::fromStdString(StampCaptionText(context_.systemApi, AppTitle(), std::string(kMainWindow.name))));
  setAcceptDrops(true);
}

void MainWindow::CreateControls() {
  setFont(MemoFont());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  // The top-aligned panel over the memo that fills the rest.
  constexpr const main_window::ControlDesign& panelDesign = main_window::MainWindowControl("Panel1");
  constexpr const main_window::ControlDesign& memoDesign = main_window::MainWindowControl("Memo1");
  panel = new QWidget(this);
  panel->setObjectName(ToQt(panelDesign.name));
  panel->setFixedHeight(panelDesign.height);
  cDriveButton = MakeButton(panel, main_window::MainWindowControl("Button1"));
  dDriveButton = MakeButton(panel, main_window::MainWindowControl("Button2"));
  versionButton = MakeButton(panel, main_window::MainWindowControl("Button3"));
  layout->addWidget(panel);

  memo = new ReportMemo(this);
  memo->setObjectName(ToQt(memoDesign.name));
  memo->setPlainText(ToQt(memoDesign.text));
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  layout->addWidget(memo);
  setTabOrder(memo, cDriveButton);
  setTabOrder(cDriveButton, dDriveButton);
  setTabOrder(dDriveButton, versionButton);

  connect(cDriveButton, &QPushButton::clicked, this, [this] { Guard(this, [this] { OnDriveButton(cDriveButton); }); });
  connect(dDriveButton, &QPushButton::clicked, this, [this] { Guard(this, [this] { OnDriveButton(dDriveButton); }); });
  connect(versionButton, &QPushButton::clicked, this, [this] { Guard(this, [this] { OnVersionButton(); }); });
  mapMenu_ = new VolumeMapMenu(*memo, context_.opener, {cDriveButton, dDriveButton});
  new ReportMenu(*memo, *mapMenu_, [this](const std::vector<std::string>& targets) { ReportTargets(targets); });
}

// Centred on the screen the first time it shows, as the design asks.
void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (centred_ || !kMainWindow.centreOnScreen) return;
  centred_ = true;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.left() + (area.width() - outer.width()) / 2, area.top() + (area.height() - outer.height()) / 2);
  }
}

// Both drive buttons: the letter is the first character of the pressed button's caption.
void MainWindow::OnDriveButton(QPushButton* sender) {
  MemoLines lines(*memo);
  // The separators are read at each press: a change of locale shows in the next report.
  WriteDriveReport(sender->text().toStdString(), drives_, lines, UserNumberSeparators());
}

void MainWindow::ReportTargets(const std::vector<std::string>& targets) {
  MemoLines lines(*memo);
  const TargetOpenFn open = [this](const std::string& target) {
    OpenedTarget opened = context_.opener.Open(target, {});
    return TargetVolume{opened.title, std::move(opened.volume)};
  };
  WriteTargetReports(targets, open, lines, UserNumberSeparators(),
                     [this](const std::exception& e) { ShowException(this, e); });
  if (!targets.empty()) mapMenu_->SetTarget(targets.back());
}

// A drag that carries local files may drop them: each is reported.
void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> targets;
  for (const QString& file : LocalFiles(event->mimeData())) targets.push_back(file.toStdString());
  if (targets.empty()) return;
  event->acceptProposedAction();
  ReportTargets(targets);
}

void MainWindow::OnVersionButton() {
  InfoWindow info(context_.systemApi, context_.shellApi, context_.exePath, this);
  info.exec();
}

}  // namespace morvel::qt
