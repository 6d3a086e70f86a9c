#include "app/qt/Form1.h"

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
#include "app/qt/InfoForm.h"
#include "app/qt/MapWindow.h"
#include "app/qt/MemoLines.h"
#include "core/design/Form1Design.h"
#include "core/design/Targets.h"
#include "core/report/VolumeReport.h"
#include "core/system/FileVersion.h"
#include "platform/posix/PosixLocale.h"

namespace morvel::qt {
namespace {

using form1::kForm1;

QString ToQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The design's Japanese fixed-pitch gothic, or the nearest installed one.
QFont MemoFont() {
  QFont font;
  font.setFamilies(
      {"MS Gothic", ToQt(kForm1.font.face), "IPAGothic", "Noto Sans Mono CJK JP", "VL Gothic", "Monospace"});
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(-kForm1.font.height);
  return font;
}

QPushButton* MakeButton(QWidget* parent, const form1::ControlDesign& design) {
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

void Memo::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

Form1::Form1(const AppContext& context) : context_(context), drives_(context.opener) {
  setObjectName(ToQt(kForm1.name));
  CreateControls();
  resize(kForm1.clientWidth, kForm1.clientHeight);
  setWindowTitle(QString::fromStdString(StampCaptionText(context_.systemApi, AppTitle(), std::string(kForm1.name))));
  setAcceptDrops(true);
}

void Form1::CreateControls() {
  setFont(MemoFont());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  // The top-aligned panel over the memo that fills the rest.
  constexpr const form1::ControlDesign& panel = form1::Form1Control("Panel1");
  constexpr const form1::ControlDesign& memo = form1::Form1Control("Memo1");
  Panel1 = new QWidget(this);
  Panel1->setObjectName(ToQt(panel.name));
  Panel1->setFixedHeight(panel.height);
  Button1 = MakeButton(Panel1, form1::Form1Control("Button1"));
  Button2 = MakeButton(Panel1, form1::Form1Control("Button2"));
  Button3 = MakeButton(Panel1, form1::Form1Control("Button3"));
  layout->addWidget(Panel1);

  Memo1 = new Memo(this);
  Memo1->setObjectName(ToQt(memo.name));
  Memo1->setPlainText(ToQt(memo.text));
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  layout->addWidget(Memo1);
  setTabOrder(Memo1, Button1);
  setTabOrder(Button1, Button2);
  setTabOrder(Button2, Button3);

  connect(Button1, &QPushButton::clicked, this, [this] { Guard(this, [this] { Button1Click(Button1); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { Guard(this, [this] { Button1Click(Button2); }); });
  connect(Button3, &QPushButton::clicked, this, [this] { Guard(this, [this] { Button3Click(); }); });
  mapMenu_ = new VolumeMapMenu(*Memo1, context_.opener, {Button1, Button2});
}

// Centred on the screen the first time it shows, as the design asks.
void Form1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (centred_ || !kForm1.centreOnScreen) return;
  centred_ = true;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.left() + (area.width() - outer.width()) / 2, area.top() + (area.height() - outer.height()) / 2);
  }
}

// Both drive buttons: the letter is the first character of the pressed button's caption.
void Form1::Button1Click(QPushButton* sender) {
  MemoLines lines(*Memo1);
  // The separators are read at each press: a change of locale shows in the next report.
  WriteDriveReport(sender->text().toStdString(), drives_, lines, UserNumberSeparators());
}

void Form1::ReportTargets(const std::vector<std::string>& targets) {
  MemoLines lines(*Memo1);
  const TargetOpenFn open = [this](const std::string& target) {
    OpenedTarget opened = context_.opener.Open(target, {});
    return TargetVolume{opened.title, std::move(opened.volume)};
  };
  WriteTargetReports(targets, open, lines, UserNumberSeparators(),
                     [this](const std::exception& e) { ShowException(this, e); });
  if (!targets.empty()) mapMenu_->SetTarget(targets.back());
}

// A drag that carries local files may drop them: each is reported.
void Form1::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
  std::vector<std::string> targets;
  for (const QString& file : LocalFiles(event->mimeData())) targets.push_back(file.toStdString());
  if (targets.empty()) return;
  event->acceptProposedAction();
  ReportTargets(targets);
}

void Form1::Button3Click() {
  InfoForm form(context_.systemApi, context_.shellApi, context_.exePath, this);
  form.exec();
}

}  // namespace morvel::qt
