// The volume map window on Qt's offscreen platform: opened from the report memo's context menu
// for the volume last reported (the sample image linked as drive C), its cells, tooltips and
// files.
#include <QAction>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <filesystem>
#include <memory>

#include "app/qt/MainWindow.h"
#include "app/qt/MapWindow.h"
#include "platform/open/TargetOpener.h"
#include "platform/posix/desktop/PosixShellApi.h"
#include "platform/posix/desktop/PosixSystemApi.h"

namespace morvel::qt {

class MapWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void menuOffersTheMapOnceAVolumeWasReported();
  void windowShowsCellsTooltipsAndSaves();

 private:
  QAction* MapAction(MainWindow& form, std::unique_ptr<QMenu>& menu);

  QTemporaryDir temp_;
  std::unique_ptr<TargetOpener> volume_;
  std::unique_ptr<SystemApi> system_;
  std::unique_ptr<ShellApi> shell_;
};

void MapWindowTest::initTestCase() {
  QVERIFY(temp_.isValid());
  const std::filesystem::path dosdevices = std::filesystem::path(temp_.path().toStdString()) / "morvel" / "dosdevices";
  std::filesystem::create_directories(dosdevices);
  std::filesystem::create_symlink(MORVEL_SAMPLE_IMAGE, dosdevices / "c::");
  qputenv("XDG_CONFIG_HOME", temp_.path().toUtf8());
  volume_ = MakeTargetOpener();
  system_ = MakePosixSystemApi();
  shell_ = MakePosixShellApi();
}

QAction* MapWindowTest::MapAction(MainWindow& form, std::unique_ptr<QMenu>& menu) {
  auto* mapMenu = form.memo->findChild<VolumeMapMenu*>();
  if (mapMenu == nullptr) return nullptr;
  menu.reset(mapMenu->CreateMenu({4, 4}));
  const QList<QAction*> actions = menu->actions();
  return actions.isEmpty() ? nullptr : actions.back();
}

void MapWindowTest::menuOffersTheMapOnceAVolumeWasReported() {
  MainWindow form({*volume_, *system_, *shell_, "MorvelTest"});
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QCOMPARE(form.memo->contextMenuPolicy(), Qt::CustomContextMenu);
  std::unique_ptr<QMenu> menu;
  QAction* action = MapAction(form, menu);
  QVERIFY(action != nullptr);
  QCOMPARE(action->text(), QString::fromUtf8("Volume map\u2026"));
  QVERIFY(!action->isEnabled());  // nothing reported yet
  bool hasSelectAll = false;
  for (const QAction* a : menu->actions()) hasSelectAll |= a->objectName() == "select-all";
  QVERIFY(hasSelectAll);  // the standard edit actions stay
  QTest::mouseClick(form.cDriveButton, Qt::LeftButton);
  QVERIFY(MapAction(form, menu)->isEnabled());
}

void MapWindowTest::windowShowsCellsTooltipsAndSaves() {
  MainWindow form({*volume_, *system_, *shell_, "MorvelTest"});
  form.show();
  QTest::mouseClick(form.cDriveButton, Qt::LeftButton);
  std::unique_ptr<QMenu> menu;
  MapAction(form, menu)->trigger();
  auto* window = form.findChild<MapWindow*>();
  QVERIFY(window != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(window));
  QCOMPARE(window->windowTitle(), QString("Volume map of C:"));

  // The sample: 2,047 clusters of 4 KiB, one cell each; $Boot holds clusters 0 and 1.
  MapCanvas* canvas = window->canvas();
  const QPoint first = canvas->CellCentre(0);
  QCOMPARE(canvas->ToolTipAt(first), QString("clusters 0-0: 100.00% used; $Boot 1"));
  QCOMPARE(canvas->grab().toImage().pixelColor(first), QColor(0x8C, 0x56, 0x4B));
  QVERIFY(canvas->ToolTipAt(canvas->CellCentre(2046)).startsWith("clusters 2,046-2,046: "));
  window->resize(420, 900);
  QTRY_VERIFY(canvas->rect().contains(canvas->CellCentre(2046)));
  QVERIFY(canvas->ToolTipAt(canvas->CellCentre(2046)).startsWith("clusters 2,046-2,046: "));
  QVERIFY(window->grab().save(QString(MORVEL_SCREENSHOTS "/MapWindow.png")));

  const QString svg = temp_.filePath("map.svg"), png = temp_.filePath("map.png");
  QVERIFY(window->SaveAs(svg).ok());
  QVERIFY(window->SaveAs(png).ok());
  QFile file(svg);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QVERIFY(file.readAll().contains("<title>Cluster map of C:</title>"));
  QCOMPARE(QImage(png).size(), window->size());
  const base::Result missing = window->SaveAs(temp_.filePath("no-such-dir/map.svg"));
  QVERIFY(!missing.ok());
  QCOMPARE(missing.code(), ENOENT);
  window->close();
}

}  // namespace morvel::qt

QTEST_MAIN(morvel::qt::MapWindowTest)
#include "MapWindowTest.moc"
