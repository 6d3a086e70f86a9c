#pragma once
// The volume's cluster map in a window of its own, opened from the report memo's context menu
// for the volume last reported: cells drawn with QPainter, a legend, a tooltip per cell, and
// "Save as SVG/PNG...".
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

#include "base/Result.h"
#include "core/map/ClusterMap.h"
#include "core/scan/VolumeScan.h"
#include "platform/open/TargetOpener.h"

class QPushButton;

namespace morvel::qt {
class AnalysisWindow;
}

namespace morvel::qt {

// The grid of cells; resizes with the window.
class MapCanvas final : public QWidget {
  Q_OBJECT

 public:
  MapCanvas(const ClusterMap& map, QWidget* parent);
  // What the tooltip at `pos` says: the cell's cluster range, used share and what lies there,
  // with a scan the files owning most of it.
  QString ToolTipAt(QPoint pos) const;
  QPoint CellCentre(std::size_t cell) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  QSize sizeHint() const override { return {640, 640}; }

 private:
  const ClusterMap& map_;
};

class MapWindow final : public QWidget {
  Q_OBJECT

 public:
  MapWindow(ClusterMap map, std::string title, QWidget* parent = nullptr);

  MapCanvas* canvas() const { return canvas_; }
  // Writes the map as an SVG document or the window's picture as PNG, by the name's ending; a
  // failure says why.
  base::Result SaveAs(const QString& path);

 private:
  void SaveClicked();

  ClusterMap map_;
  std::string title_;
  MapCanvas* canvas_ = nullptr;
};

// "Volume map...", "Analyze..." and "Check..." of the memo's context menu. The drive buttons'
// clicks and the reports of targets tell which volume was reported last; each re-reads that
// volume in one pass.
class VolumeMapMenu final : public QObject {
  Q_OBJECT

 public:
  VolumeMapMenu(QPlainTextEdit& memo, TargetOpener& opener, std::initializer_list<QPushButton*> driveButtons);
  // The target reported last: a drive letter or a path; empty for none.
  void SetTarget(std::string target) { target_ = std::move(target); }
  // Adds "Volume map...", enabled once a volume was reported, to `menu`.
  QAction* AddAction(QMenu& menu);
  // Opens the map window of the volume last reported; null, after a message, when it cannot.
  MapWindow* OpenMap();
  // Adds "Analyze...", enabled once a volume was reported, to `menu`.
  QAction* AddAnalyzeAction(QMenu& menu);
  // Opens the analysis of the volume last reported; null, after a message, when it cannot.
  AnalysisWindow* OpenAnalysis();
  // Adds "Check...", enabled once a volume was reported, to `menu`.
  QAction* AddCheckAction(QMenu& menu);
  // Opens the read-only consistency check of the volume last reported, as --check prints it.
  AnalysisWindow* OpenCheck();

 private:
  AnalysisWindow* OpenScan(ScanRequest request, const char* title, const char* noun);
  // An action that opens something of the volume last reported, enabled once there is one.
  QAction* AddTargetAction(QMenu& menu, const char* text, const char* name, const std::function<void()>& open);
  template <typename Taken, typename Request, typename Take>
  std::optional<Taken> QueryFor(const char* title, const char* noun, std::string& name, const Request& request,
                                const Take& take);

  QPlainTextEdit& memo_;
  TargetOpener& opener_;
  std::string target_;
};

}  // namespace morvel::qt
