#include "app/qt/MapWindow.h"

#include <QBuffer>
#include <QFileDialog>
#include <QGridLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTextDocument>
#include <QToolTip>
#include <QVBoxLayout>
#include <memory>

#include "app/qt/AnalysisWindow.h"
#include "app/qt/ErrorReport.h"
#include "base/Text.h"
#include "core/map/MapSvg.h"
#include "core/report/VolumeQuery.h"
#include "core/scan/ScanText.h"
#include "platform/io/SystemIo.h"
#include "platform/posix/PosixLocale.h"

namespace morvel::qt {
namespace {

QColor ToQt(Rgb c) { return {c.r, c.g, c.b}; }

QWidget* MakeLegend(const ClusterMap& map, QWidget* parent) {
  auto* legend = new QWidget(parent);
  auto* grid = new QGridLayout(legend);
  grid->setContentsMargins(8, 4, 8, 4);
  int row = 0;
  for (const LegendEntry& entry : MapLegend(map)) {
    auto* swatch = new QLabel(legend);
    swatch->setFixedSize(14, 14);
    swatch->setStyleSheet(
        QString("background: %1; border: 1px solid #888").arg(QString::fromStdString(HexColour(entry.colour))));
    grid->addWidget(swatch, row / 2, (row % 2) * 2);
    grid->addWidget(new QLabel(QString::fromStdString(LegendText(entry)), legend), row / 2, (row % 2) * 2 + 1);
    ++row;
  }
  return legend;
}

}  // namespace

MapCanvas::MapCanvas(const ClusterMap& map, QWidget* parent) : QWidget(parent), map_(map) {
  setObjectName("MapCanvas");
  setMinimumSize(128, 128);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void MapCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const MapGrid grid = FitGrid(map_.CellCount(), width(), height());
  const int side = grid.cell > 3 ? grid.cell - 1 : grid.cell;  // a gap between cells that can spare it
  for (std::size_t cell = 0; cell < map_.CellCount(); ++cell) {
    const int x = static_cast<int>(cell % grid.columns) * grid.cell;
    const int y = static_cast<int>(cell / grid.columns) * grid.cell;
    painter.fillRect(x, y, side, side, ToQt(CellColour(map_, cell)));
  }
}

QPoint MapCanvas::CellCentre(std::size_t cell) const {
  const MapGrid grid = FitGrid(map_.CellCount(), width(), height());
  return {static_cast<int>(cell % grid.columns) * grid.cell + grid.cell / 2,
          static_cast<int>(cell / grid.columns) * grid.cell + grid.cell / 2};
}

QString MapCanvas::ToolTipAt(QPoint pos) const {
  const auto cell = GridCellAt(FitGrid(map_.CellCount(), width(), height()), map_.CellCount(), pos.x(), pos.y());
  return cell ? QString::fromStdString(CellTooltip(map_, *cell)) : QString();
}

bool MapCanvas::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const QString text = ToolTipAt(help->pos());
  if (text.isEmpty())
    QToolTip::hideText();
  else  // as rich text made from the plain: a path that looks like markup is shown as written
    QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap), this);
  return true;
}

MapWindow::MapWindow(ClusterMap map, std::string title, QWidget* parent)
    : QWidget(parent, Qt::Window), map_(std::move(map)), title_(std::move(title)) {
  setObjectName("MapWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromStdString("Volume map of " + title_));
  auto* layout = new QVBoxLayout(this);
  auto* size = new QLabel(QString::fromStdString(VolumeSizeText(map_)), this);
  layout->addWidget(size);
  canvas_ = new MapCanvas(map_, this);
  layout->addWidget(canvas_, 1);
  layout->addWidget(MakeLegend(map_, this));
  auto* save = new QPushButton("Save as SVG/PNG\u2026", this);
  save->setObjectName("SaveButton");
  layout->addWidget(save, 0, Qt::AlignRight);
  connect(save, &QPushButton::clicked, this, [this] { SaveClicked(); });
  resize(680, 820);
}

base::Result MapWindow::SaveAs(const QString& path) {
  std::string contents;
  if (path.endsWith(".svg", Qt::CaseInsensitive)) {
    contents = MapSvg(map_, title_);
  } else {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !grab().save(&buffer, "PNG"))
      return {base::Status::IoError, "the picture could not be encoded"};
    contents.assign(png.constData(), static_cast<std::size_t>(png.size()));
  }
  return SaveFileWhole(path.toStdString(), contents);
}

void MapWindow::SaveClicked() {
  const QString path = QFileDialog::getSaveFileName(this, "Save the volume map", "volume-map.svg",
                                                    "SVG document (*.svg);;PNG picture (*.png)");
  if (path.isEmpty()) return;
  if (const base::Result saved = SaveAs(path); !saved.ok())
    QMessageBox::warning(this, windowTitle(), QString::fromStdString(saved.reason()));
}

VolumeMapMenu::VolumeMapMenu(QPlainTextEdit& memo, TargetOpener& opener,
                             std::initializer_list<QPushButton*> driveButtons)
    : QObject(&memo), memo_(memo), opener_(opener) {
  for (QPushButton* button : driveButtons) {
    connect(button, &QPushButton::clicked, this, [this, button] {
      const QString caption = button->text();
      // The report's own rule: the letter is the caption's first character.
      SetTarget(caption.isEmpty() ? std::string() : std::string(1, caption.at(0).toLatin1()));
    });
  }
}

QAction* VolumeMapMenu::AddAction(QMenu& menu) {
  return AddTargetAction(menu, "Volume map\u2026", "VolumeMapAction", [this] { OpenMap(); });
}

QAction* VolumeMapMenu::AddAnalyzeAction(QMenu& menu) {
  return AddTargetAction(menu, "Analyze\u2026", "AnalyzeAction", [this] { OpenAnalysis(); });
}

QAction* VolumeMapMenu::AddCheckAction(QMenu& menu) {
  return AddTargetAction(menu, "Check\u2026", "CheckAction", [this] { OpenCheck(); });
}

QAction* VolumeMapMenu::AddTargetAction(QMenu& menu, const char* text, const char* name,
                                        const std::function<void()>& open) {
  QAction* action = menu.addAction(text);
  action->setObjectName(name);
  action->setEnabled(!target_.empty());
  connect(action, &QAction::triggered, this, [this, open] { Guard(memo_.window(), open); });
  return action;
}

// Opens the volume last reported and queries it once with `request` made first; what the
// query built comes back through `take`, which says why when there is nothing. Nothing, after a
// message titled `title` ("No NOUN of C: why"), when nothing came.
template <typename Taken, typename Request, typename Take>
std::optional<Taken> VolumeMapMenu::QueryFor(const char* title, const char* noun, std::string& name,
                                             const Request& request, const Take& take) {
  OpenedTarget opened = opener_.Open(target_, {});
  name = opened.letter != 0 ? std::string(1, opened.letter) + ":" : target_;
  std::string reason;
  std::optional<Taken> taken;
  if (request(*opened.volume)) {
    const VolumeQuery query = QueryNtfsVolumeData(*opened.volume);
    taken = take(*opened.volume, reason);
    if (!query.ok()) reason = query.ErrorLine();
  } else {
    take(*opened.volume, reason);
  }
  if (!taken)
    QMessageBox::warning(
        memo_.window(), title,
        QString::fromStdString("No " + std::string(noun) + " of " + name + ": " + base::EscapeControls(reason)));
  return taken;
}

MapWindow* VolumeMapMenu::OpenMap() {
  if (target_.empty()) return nullptr;
  std::string name;
  // The map comes with the files owning its cells: the volume's records are scanned with it.
  std::optional<ClusterMap> map = QueryFor<ClusterMap>(
      "Volume map", "map", name,
      [](OpenedVolume& volume) {
        volume.RequestScan({true, false});
        return volume.RequestClusterMap(kDefaultMapCells);
      },
      [](OpenedVolume& volume, std::string& reason) {
        std::string scanReason;
        (void)volume.TakeScan(scanReason);
        return volume.TakeClusterMap(reason);
      });
  if (!map) return nullptr;
  auto* window = new MapWindow(std::move(*map), name, memo_.window());
  window->show();
  return window;
}

AnalysisWindow* VolumeMapMenu::OpenAnalysis() { return OpenScan({true, false}, "Analysis", "analysis"); }

AnalysisWindow* VolumeMapMenu::OpenCheck() { return OpenScan({false, true}, "Check", "check"); }

AnalysisWindow* VolumeMapMenu::OpenScan(ScanRequest request, const char* title, const char* noun) {
  if (target_.empty()) return nullptr;
  std::string name;
  std::optional<VolumeScan> scan = QueryFor<VolumeScan>(
      title, noun, name, [request](OpenedVolume& volume) { return volume.RequestScan(request); },
      [](OpenedVolume& volume, std::string& reason) { return volume.TakeScan(reason); });
  if (!scan) return nullptr;
  auto* window =
      new AnalysisWindow(ScanLines(*scan, UserNumberSeparators()), std::string(title) + " of " + name, memo_.window());
  window->show();
  return window;
}

}  // namespace morvel::qt
