#pragma once
// The report memo's context menu: the standard edit actions, then "Volume map...", "Analyze...",
// "Check...", "Open image..." (a file dialog) and "Volumes" (the machine's NTFS volumes). A chosen image or
// volume is reported as a target named on the command line is.
#include <QObject>
#include <QPlainTextEdit>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "platform/reader/ListedVolume.h"

class QMenu;

namespace morvel::qt {

class VolumeMapMenu;

class ReportMenu final : public QObject {
  Q_OBJECT

 public:
  using ReportFn = std::function<void(const std::vector<std::string>&)>;
  using ListFn = std::function<VolumeList()>;
  // The file to report, or empty when the choice was cancelled.
  using ChooseFn = std::function<QString(QWidget* parent)>;

  // Reports through `report`; the volumes come from ListMachineVolumes and the image from a
  // file dialog until replaced.
  ReportMenu(QPlainTextEdit& memo, VolumeMapMenu& mapMenu, ReportFn report);

  void SetVolumeLister(ListFn list) { list_ = std::move(list); }
  void SetImageChooser(ChooseFn choose) { choose_ = std::move(choose); }

  // The menu the memo shows at `pos`; the caller owns it. The volumes are listed anew each time
  // its "Volumes" opens.
  QMenu* CreateMenu(QPoint pos);
  // "Open image...": asks for a file and reports it.
  void OpenImage();

 private:
  void AddVolumes(QMenu& menu);
  void FillVolumes(QMenu& volumes);

  QPlainTextEdit& memo_;
  VolumeMapMenu& mapMenu_;
  ReportFn report_;
  ListFn list_;
  ChooseFn choose_;
};

// What a volume's entry in "Volumes" says: its letter, device or image, size, label and mount
// point, as `morvel --list` shows them.
QString VolumeEntryText(const ListedVolume& volume);
// The target a volume's entry reports: its drive letter, else its device or image.
std::string VolumeEntryTarget(const ListedVolume& volume);

}  // namespace morvel::qt
