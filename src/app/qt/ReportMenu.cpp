#include "app/qt/ReportMenu.h"

#include <QFileDialog>
#include <QLocale>
#include <QMenu>

#include "app/qt/ErrorReport.h"
#include "app/qt/MapWindow.h"
#include "base/Text.h"
#include "platform/open/TargetOpener.h"

namespace morvel::qt {
namespace {

QString ChooseImageFile(QWidget* parent) {
  return QFileDialog::getOpenFileName(
      parent, "Open image", QString(),
      "Disk and volume images (*.img *.dd *.raw *.bin *.ntfs *.iso *.vhd *.vhdx *.vmdk *.qcow *.qcow2 *.E01 *.e01 "
      "*.Ex01 *.s01);;All files (*)");
}

QString ToQt(const std::string& text) { return QString::fromStdString(base::EscapeControls(text)); }

}  // namespace

QString VolumeEntryText(const ListedVolume& v) {
  QStringList parts;
  if (v.letter != 0) parts << QString("%1:").arg(QChar(v.letter));
  parts << ToQt(v.device) + (v.image.empty() ? QString() : " (" + ToQt(v.image) + ")");
  if (v.size != 0) parts << QLocale::c().formattedDataSize(static_cast<qint64>(v.size), 1, QLocale::DataSizeIecFormat);
  if (!v.label.empty()) parts << "\u201C" + ToQt(v.label) + "\u201D";
  for (const std::string& mount : v.mountPoints) parts << ToQt(mount);
  // An action's text takes '&' for a mnemonic: a name's own '&' is doubled.
  return parts.join("  ").replace('&', "&&");
}

std::string VolumeEntryTarget(const ListedVolume& v) { return v.letter != 0 ? std::string(1, v.letter) : v.device; }

ReportMenu::ReportMenu(QPlainTextEdit& memo, VolumeMapMenu& mapMenu, ReportFn report)
    : QObject(&memo),
      memo_(memo),
      mapMenu_(mapMenu),
      report_(std::move(report)),
      list_(&ListMachineVolumes),
      choose_(&ChooseImageFile) {
  memo.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&memo, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
    const std::unique_ptr<QMenu> menu(CreateMenu(pos));
    menu->exec(memo_.viewport()->mapToGlobal(pos));
  });
}

QMenu* ReportMenu::CreateMenu(QPoint pos) {
  QMenu* menu = memo_.createStandardContextMenu(pos);
  menu->addSeparator();
  mapMenu_.AddAction(*menu);
  mapMenu_.AddAnalyzeAction(*menu);
  mapMenu_.AddCheckAction(*menu);
  QAction* open = menu->addAction("Open image\u2026");
  open->setObjectName("OpenImageAction");
  connect(open, &QAction::triggered, this, [this] { Guard(memo_.window(), [this] { OpenImage(); }); });
  AddVolumes(*menu);
  return menu;
}

void ReportMenu::OpenImage() {
  const QString file = choose_(memo_.window());
  if (!file.isEmpty()) report_({file.toStdString()});
}

// Filled when it opens: listing probes every block device, which a right-click alone should not.
void ReportMenu::AddVolumes(QMenu& menu) {
  QMenu* volumes = menu.addMenu("Volumes");
  volumes->setObjectName("VolumesMenu");
  connect(volumes, &QMenu::aboutToShow, this, [this, volumes] {
    if (volumes->isEmpty()) Guard(memo_.window(), [&] { FillVolumes(*volumes); });
  });
}

void ReportMenu::FillVolumes(QMenu& volumes) {
  const VolumeList list = list_();
  if (list.volumes.empty()) {
    QAction* none = volumes.addAction("No NTFS volume found");
    none->setObjectName("NoVolumeAction");
    none->setEnabled(false);
    return;
  }
  for (const ListedVolume& volume : list.volumes) {
    QAction* entry = volumes.addAction(VolumeEntryText(volume));
    connect(entry, &QAction::triggered, this,
            [this, target = VolumeEntryTarget(volume)] { Guard(memo_.window(), [&] { report_({target}); }); });
  }
}

}  // namespace morvel::qt
