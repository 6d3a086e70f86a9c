#include "app/qt/InfoWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <vector>

#include "app/qt/ErrorReport.h"
#include "core/design/InfoWindowGeometry.h"
#include "core/design/InfoWindowTexts.h"
#include "core/shell/Shell.h"
#include "core/system/FileVersion.h"

namespace morvel::qt {
namespace {

QColor ToColor(const Colour& colour, const QPalette& palette) {
  if (colour.system) return palette.color(QPalette::WindowText);  // the only system colour used
  // 0x00BBGGRR
  return QColor(static_cast<int>(colour.value & 0xFF), static_cast<int>((colour.value >> 8) & 0xFF),
                static_cast<int>((colour.value >> 16) & 0xFF));
}

QFont ToFont(const FontDesign& design) {
  QFont font;
  font.setFamilies({QString::fromUtf8(design.name), "Liberation Sans", "Arimo", "DejaVu Sans"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(design.height < 0 ? -design.height : design.height);
  font.setUnderline(design.underline);
  return font;
}

void Fill(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

constexpr WindowHandle kNoWindow = 0;

}  // namespace

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

InfoWindow::InfoWindow(SystemApi& system, ShellApi& shell, std::string exePath, QWidget* parent)
    : QDialog(parent), system_(system), shell_(shell), rules_(PathRulesOf(system)), exePath_(std::move(exePath)) {
  setObjectName(kInfoWindow.name);
  // A fixed single border with the close box alone.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(ToFont(kInfoWindow.font));
  // The window's own fill is black; the white panel covers its client area.
  Fill(this, Qt::black);
  CreateControls();
  OnCreate();
}

void InfoWindow::CreateControls() {
  panel_ = new QWidget(this);
  panel_->setObjectName("PnlBack");
  Fill(panel_, ToColor(kInfoWindow.colour, palette()));
  controls_["PnlBack"] = panel_;
  for (const ControlDesign& d : kInfoControls) {
    if (d.kind == ControlKind::Panel) continue;
    QLabel* label = d.onClick != nullptr ? new ClickLabel(panel_) : new QLabel(panel_);
    label->setObjectName(d.name);
    label->setGeometry(d.left, d.top, d.width, d.height);
    if (d.caption != nullptr) label->setText(QString::fromUtf8(d.caption));
    if (d.font) label->setFont(ToFont(*d.font));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ToColor(d.font.value_or(kInfoWindow.font).colour, palette));
    label->setPalette(palette);
    label->setAlignment(Qt::AlignLeft | (d.centreVertically ? Qt::AlignVCenter : Qt::AlignTop));
    if (d.handCursor) label->setCursor(Qt::PointingHandCursor);
    label->setVisible(d.visible);
    label->installEventFilter(this);
    if (auto* clickable = qobject_cast<ClickLabel*>(label)) {
      const std::string name = d.name;
      connect(clickable, &ClickLabel::clicked, this, [this, name] { Click(name); });
    }
    controls_[d.name] = label;
  }
}

QWidget* InfoWindow::Control(const std::string& name) const {
  const auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second;
}

std::string InfoWindow::Text(const std::string& name) const {
  const auto* label = qobject_cast<const QLabel*>(Control(name));
  return label != nullptr ? label->text().toStdString() : std::string();
}

// The texts, the icon, then the window fitted around its panel and centred.
void InfoWindow::OnCreate() {
  setWindowTitle(QString::fromStdString(StampCaptionText(system_, AppTitle(), kInfoWindow.name)));
  const InfoTexts texts = MakeInfoTexts(system_, exePath_);
  static_cast<QLabel*>(Control("LblExeName"))->setText(QString::fromStdString(texts.exeName));
  const QIcon icon = AppIcon();
  static_cast<QLabel*>(Control("AppIcon"))->setPixmap(icon.pixmap(32, 32));
  setWindowIcon(icon);
  static_cast<QLabel*>(Control("LblOsVersion"))->setText(QString::fromStdString(texts.osVersion));
  static_cast<QLabel*>(Control("LblMemPhys"))->setText(QString::fromStdString(texts.memPhys));
  static_cast<QLabel*>(Control("LblExeVersion"))->setText(QString::fromStdString(texts.exeVersion));
  AutoSize();
  CenterOnWorkArea();
}

// Labels take their text's size; the panel and the window fit around the visible ones.
void InfoWindow::AutoSize() {
  std::vector<PanelChild> children;
  std::vector<QWidget*> widgets;
  for (const ControlDesign& d : kInfoControls) {
    if (d.kind == ControlKind::Panel) continue;
    QWidget* w = Control(d.name);
    Box box{d.left, d.top, d.width, d.height};
    if (d.kind == ControlKind::Label) {
      const QSize text = QFontMetrics(w->font()).size(Qt::TextSingleLine, static_cast<QLabel*>(w)->text());
      box = LabelBox(d, text.width(), text.height());
    }
    children.push_back({box, d.visible});
    widgets.push_back(w);
  }
  const FittedPanel fitted = FitPanel(children, kPanelBorderWidth);
  for (std::size_t i = 0; i < widgets.size(); ++i) {
    const Box& b = fitted.children[i];
    widgets[i]->setGeometry(b.left, b.top, b.width, b.height);
  }
  panel_->setGeometry(fitted.panel.left, fitted.panel.top, fitted.panel.width, fitted.panel.height);
  setFixedSize(fitted.clientWidth, fitted.clientHeight);
}

void InfoWindow::CenterOnWorkArea() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect work = screen->availableGeometry();
  const QSize outer = frameGeometry().size();
  const Point at =
      morvel::CenterOnWorkArea(Rect{work.left(), work.top(), work.left() + work.width(), work.top() + work.height()},
                               outer.width(), outer.height());
  move(at.left, at.top);
}

// The frame is known once the window shows: centred again with its real outer size.
void InfoWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CenterOnWorkArea();
}

// Any key closes the window, whichever control it was meant for.
void InfoWindow::keyPressEvent(QKeyEvent* event) {
  event->accept();
  reject();
}

bool InfoWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    reject();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void InfoWindow::Click(const std::string& name) {
  // An action's error is reported; the window stays open.
  Guard(this, [&] {
    if (name == "LblExeName") ShowFileProperties(shell_, kNoWindow, exePath_);
    if (name == "lblURL") ShellOpen(shell_, kNoWindow, Text("lblURL"), "", rules_);
    if (name == "lblMail") ShellOpen(shell_, kNoWindow, MailLink(Text("lblMail"), exePath_, rules_), "", rules_);
    if (name == "LblLaunchOnStartup") CreateShortcutIn(GetStartupFolder(shell_, kNoWindow));
    if (name == "LblLaunchOnDesktop") CreateShortcutIn(GetDesktopFolder(shell_, kNoWindow));
    if (name == "LblOpenStartup") ShellOpen(shell_, kNoWindow, GetStartupFolder(shell_, kNoWindow), "", rules_);
    if (name == "LblOpenFolderIn") ShellOpen(shell_, kNoWindow, PathPart(exePath_, rules_), "", rules_);
  });
}

void InfoWindow::CreateShortcutIn(const std::string& folder) {
  CreateShortcut(shell_, exePath_, folder, ShortcutName(exePath_, rules_), rules_);
}

}  // namespace morvel::qt
