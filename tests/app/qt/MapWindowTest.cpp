// The report memo's context menu on Qt's offscreen platform: the volume map window, opened for
// the volume last reported (the sample image linked as drive C), its cells, tooltips and files;
// an image chosen to open and the machine's volumes, each reported.
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

#include "app/qt/AnalysisWindow.h"
#include "app/qt/MainWindow.h"
#include "app/qt/MapWindow.h"
#include "app/qt/ReportMenu.h"
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
  void menuOpensAnImageAndListsTheVolumes();
  void scanActionsShowTheScanOfTheVolumeLastReported_data();
  void scanActionsShowTheScanOfTheVolumeLastReported();

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
  auto* reportMenu = form.memo->findChild<ReportMenu*>();
  if (reportMenu == nullptr) return nullptr;
  menu.reset(reportMenu->CreateMenu({4, 4}));
  return menu->findChild<QAction*>("VolumeMapAction");
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
  // The window scans the records with its map: the cell names the file owning it.
  QCOMPARE(canvas->ToolTipAt(first), QString("clusters 0-0: 100.00% used; $Boot 1\n1 cluster: /$Boot (record 7)"));
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

// "Open image..." reports the chosen file as the command line's targets are reported; "Volumes"
// lists the machine's NTFS volumes when it opens and reports the one clicked, or says there is
// none.
void MapWindowTest::menuOpensAnImageAndListsTheVolumes() {
  MainWindow form({*volume_, *system_, *shell_, "MorvelTest"});
  form.show();
  auto* reportMenu = form.memo->findChild<ReportMenu*>();
  QVERIFY(reportMenu != nullptr);
  const QString title = QString("NTFS VOLUME DATA OF [%1] DRIVE");
  const QString image = MORVEL_SAMPLE_IMAGE;
  reportMenu->SetImageChooser([&](QWidget* parent) {
    return parent == &form ? image : QString();  // the dialog belongs to the main window
  });
  VolumeList machine;
  reportMenu->SetVolumeLister([&] { return machine; });
  const auto volumes = [&](std::unique_ptr<QMenu>& menu) {
    menu.reset(reportMenu->CreateMenu({4, 4}));
    auto* sub = menu->findChild<QMenu*>("VolumesMenu");
    if (sub != nullptr) emit sub->aboutToShow();
    return sub;
  };

  std::unique_ptr<QMenu> menu;
  QMenu* list = volumes(menu);
  QVERIFY(list != nullptr);
  QCOMPARE(list->title(), QString("Volumes"));
  QCOMPARE(list->actions().size(), 1);
  QCOMPARE(list->actions()[0]->text(), QString("No NTFS volume found"));
  QVERIFY(!list->actions()[0]->isEnabled());

  QAction* open = menu->findChild<QAction*>("OpenImageAction");
  QVERIFY(open != nullptr);
  QCOMPARE(open->text(), QString::fromUtf8("Open image\u2026"));
  open->trigger();
  QVERIFY(form.memo->toPlainText().contains(title.arg(image)));
  machine.volumes = {{0, "", image.toStdString(), "", 8u << 20, "R&D", "3.1", {"/mnt/s"}, ""},
                     {'C', "link", "/dev/loop9", "/img/c.img", 0, "", "3.1", {}, ""}};
  list = volumes(menu);
  QVERIFY(menu->findChild<QAction*>("VolumeMapAction")->isEnabled());  // the image reported may be mapped
  QCOMPARE(list->actions().size(), 2);
  QCOMPARE(list->actions()[0]->text(), image + QString::fromUtf8("  8.0 MiB  \u201CR&&D\u201D  /mnt/s"));
  QCOMPARE(list->actions()[1]->text(), QString("C:  /dev/loop9 (/img/c.img)"));
  form.memo->setPlainText("Memo1");
  list->actions()[0]->trigger();
  QVERIFY(form.memo->toPlainText().contains(title.arg(image)));
  list->actions()[1]->trigger();  // a volume with a letter is reported as that drive
  QVERIFY(form.memo->toPlainText().contains(title.arg("C")));
}

// "Analyze..." and "Check..." show the text --analyze and --check print after the report, in a
// window of their own, for the volume last reported.
void MapWindowTest::scanActionsShowTheScanOfTheVolumeLastReported_data() {
  QTest::addColumn<QString>("action");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("firstLine");
  QTest::addColumn<QString>("secondLine");
  QTest::newRow("analyze") << "AnalyzeAction"
                           << "Analyze\u2026"
                           << "Analysis of C:"
                           << "Analysis"
                           << "  MFT records            : ";
  QTest::newRow("check") << "CheckAction"
                         << "Check\u2026"
                         << "Check of C:"
                         << "Consistency check"
                         << "  Errors 0, warnings 0, findings 0";
}

void MapWindowTest::scanActionsShowTheScanOfTheVolumeLastReported() {
  QFETCH(QString, action);
  QFETCH(QString, text);
  QFETCH(QString, caption);
  QFETCH(QString, firstLine);
  QFETCH(QString, secondLine);
  MainWindow form({*volume_, *system_, *shell_, "MorvelTest"});
  form.show();
  auto* reportMenu = form.memo->findChild<ReportMenu*>();
  QVERIFY(reportMenu != nullptr);
  std::unique_ptr<QMenu> menu(reportMenu->CreateMenu({4, 4}));
  QAction* item = menu->findChild<QAction*>(action);
  QVERIFY(item != nullptr);
  QCOMPARE(item->text(), text);
  QVERIFY(!item->isEnabled());
  QTest::mouseClick(form.cDriveButton, Qt::LeftButton);
  menu.reset(reportMenu->CreateMenu({4, 4}));
  item = menu->findChild<QAction*>(action);
  QVERIFY(item->isEnabled());
  item->trigger();
  auto* window = form.findChild<AnalysisWindow*>();
  QVERIFY(window != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(window));
  QCOMPARE(window->windowTitle(), caption);
  const QStringList lines = window->text()->toPlainText().split('\n');
  QCOMPARE(lines.value(0), firstLine);
  QVERIFY2(lines.value(1).startsWith(secondLine), qPrintable(lines.value(1)));
  window->close();
}

}  // namespace morvel::qt

QTEST_MAIN(morvel::qt::MapWindowTest)
#include "MapWindowTest.moc"
