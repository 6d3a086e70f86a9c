#include "app/qt/Form1.h"

#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/qt/ErrorReport.h"
#include "core/system/FileVersion.h"
#include "app/qt/InfoForm.h"
#include "app/qt/MapWindow.h"
#include "app/qt/MemoLines.h"
#include "platform/posix/PosixLocale.h"
#include "core/report/Unit1.h"

namespace morvel::qt {
namespace {

constexpr int kClientWidth = 604;
constexpr int kClientHeight = 473;
constexpr int kPanelHeight = 41;

// The Japanese fixed-pitch gothic, or the nearest installed one.
QFont MemoFont() {
  QFont font;
  font.setFamilies({"MS Gothic", QString::fromUtf8("\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF"), "IPAGothic",
                    "Noto Sans Mono CJK JP", "VL Gothic", "Monospace"});
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(13);
  return font;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, int left) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(name);
  button->setGeometry(left, 8, 75, 25);
  return button;
}

}  // namespace

void Memo::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

Form1::Form1(const AppContext& context) : context_(context) {
  setObjectName("Form1");
  CreateControls();
  resize(kClientWidth, kClientHeight);
  setWindowTitle(QString::fromStdString(StampCaptionText(context_.systemApi, AppTitle(), "Form1")));
}

void Form1::CreateControls() {
  setFont(MemoFont());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFixedHeight(kPanelHeight);
  Button1 = MakeButton(Panel1, "Button1", "C DRIVE", 8);
  Button2 = MakeButton(Panel1, "Button2", "D DRIVE", 88);
  Button3 = MakeButton(Panel1, "Button3", "Version", 176);
  layout->addWidget(Panel1);

  Memo1 = new Memo(this);
  Memo1->setObjectName("Memo1");
  Memo1->setPlainText("Memo1");
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
  new VolumeMapMenu(*Memo1, context_.volumeApi, {Button1, Button2});
}

// Centred on the screen the first time it shows, as the design asks.
void Form1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (centred_) return;
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
  WriteDriveReport(sender->text().toStdString(), context_.volumeApi, lines, UserNumberSeparators());
}

void Form1::Button3Click() {
  InfoForm form(context_.systemApi, context_.shellApi, context_.exePath, this);
  form.exec();
}

}  // namespace morvel::qt
