// The desktop program's windows on Qt's offscreen platform: the main window's layout, the
// reports the drive buttons write, the error report, and the information window.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/qt/ErrorReport.h"
#include "app/qt/InfoWindow.h"
#include "app/qt/MainWindow.h"
#include "app/qt/MapWindow.h"
#include "app/qt/ReportMenu.h"
#include "core/design/InfoWindowGeometry.h"
#include "core/report/VolumeReport.h"
#include "platform/open/TargetOpener.h"
#include "platform/posix/PosixLocale.h"
#include "platform/posix/desktop/PosixShellApi.h"
#include "platform/posix/desktop/PosixSystemApi.h"

namespace morvel::qt {
namespace {

QStringList MemoLinesOf(const MainWindow& form) { return form.memo->toPlainText().split('\n'); }

QStringList ToQt(const std::vector<std::string>& lines) {
  QStringList out;
  for (const auto& line : lines) out << QString::fromStdString(line);
  return out;
}

// Runs `inspect` on the modal window once it is up; the window is closed afterwards should
// `inspect` have left it open (a failed check), so the test goes on.
void WhenModal(const std::function<void(QWidget*)>& inspect) {
  QTimer::singleShot(0, [inspect] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal != nullptr);
    inspect(modal);
    if (modal->isVisible()) modal->close();
  });
}

void Save(QWidget* window, const char* name) {
  QVERIFY(window->grab().save(QString(MORVEL_SCREENSHOTS "/") + name + ".png"));
}

}  // namespace

class QtAppTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void mainWindowLayout();
  void driveReportMatchesCore();
  void letterWithoutVolumeReportsError();
  void enterAddsNoLine();
  void emptyCaptionShowsErrorReport();
  void infoWindowShowsTextsAndClosesOnKey();
  void desktopShortcutIsWritten();
  void targetsAndDroppedFilesAreReported();
  void containerTargetIsReadThroughItsLibrary();
  void targetWithoutNtfsIsExplainedAndMapped();
  void programAnswersHelpAndVersion();

 private:
  std::unique_ptr<MainWindow> ShowMainWindow();

  QTemporaryDir temp_;
  std::unique_ptr<TargetOpener> volume_;
  std::unique_ptr<SystemApi> system_;
  std::unique_ptr<ShellApi> shell_;
};

// Drive C is the sample image, drive D a link to nothing; the desktop is a folder of our own.
void QtAppTest::initTestCase() {
  QVERIFY(temp_.isValid());
  const std::filesystem::path root = temp_.path().toStdString();
  const auto dosdevices = root / "config" / "morvel" / "dosdevices";
  std::filesystem::create_directories(dosdevices);
  std::filesystem::create_directories(root / "home" / "Desktop");
  std::filesystem::create_symlink(MORVEL_SAMPLE_IMAGE, dosdevices / "c::");
  std::filesystem::create_symlink(root / "missing.img", dosdevices / "d::");
  qputenv("XDG_CONFIG_HOME", (root / "config").c_str());
  qputenv("HOME", (root / "home").c_str());
  volume_ = MakeTargetOpener();
  system_ = MakePosixSystemApi();
  shell_ = MakePosixShellApi();
  SetAppTitle(ApplicationTitleOf(MORVEL_PROGRAM));
}

std::unique_ptr<MainWindow> QtAppTest::ShowMainWindow() {
  auto form = std::make_unique<MainWindow>(AppContext{*volume_, *system_, *shell_, MORVEL_PROGRAM});
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
  return form;
}

void QtAppTest::mainWindowLayout() {
  const auto form = ShowMainWindow();
  QVERIFY(form);
  QCOMPARE(form->windowTitle(), QString("Morveltest Ver.0.6.1.7 - Form1"));
  QCOMPARE(form->size(), QSize(604, 473));
  QCOMPARE(form->panel->geometry(), QRect(0, 0, 604, 41));
  QCOMPARE(form->memo->geometry(), QRect(0, 41, 604, 432));
  const struct {
    QPushButton* button;
    QRect geometry;
    const char* text;
  } buttons[] = {{form->cDriveButton, {8, 8, 75, 25}, "C DRIVE"},
                 {form->dDriveButton, {88, 8, 75, 25}, "D DRIVE"},
                 {form->versionButton, {176, 8, 75, 25}, "Version"}};
  for (const auto& b : buttons) {
    QCOMPARE(b.button->geometry(), b.geometry);
    QCOMPARE(b.button->text(), QString(b.text));
  }
  QCOMPARE(form->memo->toPlainText(), QString("Memo1"));
  QCOMPARE(form->memo->lineWrapMode(), QPlainTextEdit::NoWrap);
  QCOMPARE(form->memo->font().pixelSize(), 13);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  QCOMPARE(form->frameGeometry().center().x() / 2, screen.center().x() / 2);
  Save(form.get(), "Form1");
}

void QtAppTest::driveReportMatchesCore() {
  const auto form = ShowMainWindow();
  QVERIFY(form);
  QTest::mouseClick(form->cDriveButton, Qt::LeftButton);
  const QStringList memo = MemoLinesOf(*form);

  StringLines expected;
  OpenerDrives drives(*volume_);
  QVERIFY(WriteDriveReport("C DRIVE", drives, expected, UserNumberSeparators()));
  QCOMPARE(memo, ToQt(expected.lines()));
  QVERIFY(memo.contains("NTFS VOLUME DATA OF [C] DRIVE"));
  QVERIFY(memo.contains("Bytes per sector       : 512"));
  const qsizetype metaData = memo.indexOf("Meta-Data files");
  QVERIFY(metaData > 0);
  QVERIFY(memo.size() > metaData + 5);
  QVERIFY(memo.mid(metaData).filter("$MFT").size() >= 1);
  form->memo->verticalScrollBar()->setValue(0);
  Save(form.get(), "Form1-report");
}

void QtAppTest::letterWithoutVolumeReportsError() {
  const auto form = ShowMainWindow();
  QVERIFY(form);
  QTest::mouseClick(form->dDriveButton, Qt::LeftButton);
  const QStringList memo = MemoLinesOf(*form);
  QCOMPARE(memo.size(), 10);
  QCOMPARE(memo[7], QString("NTFS VOLUME DATA OF [D] DRIVE"));
  StringLines expected;
  OpenerDrives drives(*volume_);
  QVERIFY(!WriteDriveReport("D DRIVE", drives, expected, UserNumberSeparators()));
  QCOMPARE(memo, ToQt(expected.lines()));
  QVERIFY(!memo.last().isEmpty());
}

void QtAppTest::enterAddsNoLine() {
  const auto form = ShowMainWindow();
  QVERIFY(form);
  form->memo->setFocus();
  form->memo->moveCursor(QTextCursor::End);
  QTest::keyClick(form->memo, Qt::Key_Return);
  QTest::keyClick(form->memo, Qt::Key_Enter);
  QTest::keyClick(form->memo, Qt::Key_X);
  QCOMPARE(form->memo->toPlainText(), QString("Memo1x"));
}

void QtAppTest::emptyCaptionShowsErrorReport() {
  const auto form = ShowMainWindow();
  QVERIFY(form);
  form->cDriveButton->setText("");
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  WhenModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    QVERIFY(box != nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    Save(box, "ErrorReport");
    box->accept();
  });
  QTest::mouseClick(form->cDriveButton, Qt::LeftButton);
  QCOMPARE(text, QString("Range check error."));
  QCOMPARE(title, QString("Morveltest"));
  QCOMPARE(icon, QMessageBox::Critical);
  // The program carries on: the other button still reports.
  QTest::mouseClick(form->dDriveButton, Qt::LeftButton);
  QCOMPARE(MemoLinesOf(*form).size(), 10);
}

void QtAppTest::infoWindowShowsTextsAndClosesOnKey() {
  const auto form = ShowMainWindow();
  QVERIFY(form);
  bool inspected = false;
  bool closedByKey = false;
  WhenModal([&](QWidget* modal) {
    auto* info = qobject_cast<QDialog*>(modal);
    QVERIFY(info != nullptr);
    QCOMPARE(info->windowTitle(), QString("Morveltest Ver.0.6.1.7 - InfoForm"));
    auto text = [&](const char* name) { return info->findChild<QLabel*>(name)->text(); };
    QCOMPARE(text("LblExeName"), QString("MorvelTest"));
    QCOMPARE(text("LblExeVersion"), QString("Ver.0.6.1.7"));
    QCOMPARE(text("lblURL"), QString("http://www.example.org/morvel/"));
    QCOMPARE(text("lblMail"), QString("morvel@example.org"));
    QVERIFY(!text("LblOsVersion").isEmpty());
    QVERIFY(!text("LblMemPhys").isEmpty());
    QVERIFY(info->findChild<QLabel*>("LblLaunchOnStartup")->isHidden());
    QVERIFY(info->findChild<QLabel*>("LblOpenStartup")->isHidden());
    QVERIFY(!info->findChild<QLabel*>("LblLaunchOnDesktop")->isHidden());
    QVERIFY(!info->findChild<QLabel*>("AppIcon")->pixmap().isNull());
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const Point at =
        CenterOnWorkArea(Rect{work.left(), work.top(), work.left() + work.width(), work.top() + work.height()},
                         info->frameGeometry().width(), info->frameGeometry().height());
    QCOMPARE(info->frameGeometry().topLeft(), QPoint(at.left, at.top));
    Save(info, "InfoForm");
    inspected = true;
    QTest::keyClick(info->findChild<QLabel*>("lblURL"), Qt::Key_A);
    closedByKey = !info->isVisible();
  });
  QTest::mouseClick(form->versionButton, Qt::LeftButton);
  QVERIFY(inspected);
  QVERIFY(closedByKey);
}

void QtAppTest::desktopShortcutIsWritten() {
  InfoWindow info(*system_, *shell_, MORVEL_PROGRAM, nullptr);
  info.show();
  QVERIFY(QTest::qWaitForWindowExposed(&info));
  QTest::mouseClick(info.Control("LblLaunchOnDesktop"), Qt::LeftButton);
  QFile link(temp_.path() + "/home/Desktop/MorvelTest.desktop");
  QVERIFY(link.open(QIODevice::ReadOnly));
  // On Linux the shortcut is a freedesktop launcher of the program with "/starup".
  QCOMPARE(link.readLine(), QByteArray("[Desktop Entry]\n"));
  QVERIFY(link.readAll().contains("\nExec=" + QByteArray(MORVEL_PROGRAM) + " /starup\n"));
}

// Targets from the command line, and files dropped onto the window: each reported as the
// console program reports it, titled with its path.
void QtAppTest::targetsAndDroppedFilesAreReported() {
  const auto form = ShowMainWindow();
  QVERIFY(form);
  StringLines expected;
  auto image = volume_->Open(MORVEL_SAMPLE_IMAGE, {});
  QVERIFY(WriteVolumeReport(MORVEL_SAMPLE_IMAGE, *image.volume, expected, UserNumberSeparators()));
  QVERIFY(ToQt(expected.lines()).contains("NTFS VOLUME DATA OF [" MORVEL_SAMPLE_IMAGE "] DRIVE"));
  QVERIFY(ToQt(expected.lines()).contains("Bytes per sector       : 512"));

  form->ReportTargets({MORVEL_SAMPLE_IMAGE});
  QCOMPARE(MemoLinesOf(*form), ToQt(expected.lines()));

  QMimeData text;
  text.setText("not a file");
  QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &enter);
  QVERIFY(!enter.isAccepted());

  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(MORVEL_SAMPLE_IMAGE), QUrl::fromLocalFile(temp_.path() + "/missing.img")});
  QDragEnterEvent enterFiles(QPoint(300, 200), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &enterFiles);
  QVERIFY(enterFiles.isAccepted());
  QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &drop);
  const QStringList memo = MemoLinesOf(*form);
  QCOMPARE(memo.mid(0, static_cast<qsizetype>(expected.lines().size())), ToQt(expected.lines()));
  QCOMPARE(memo[static_cast<qsizetype>(expected.lines().size())], QString());
  QCOMPARE(memo.filter("NTFS VOLUME DATA OF [").size(), 2);
  QVERIFY(memo.contains("NTFS VOLUME DATA OF [" + temp_.path() + "/missing.img] DRIVE"));
  QVERIFY(memo.last().startsWith("Error opening volume:"));
}

// A QCOW2 image named on the command line reports the volume inside it, as the raw image does.
void QtAppTest::containerTargetIsReadThroughItsLibrary() {
#ifndef MORVEL_CONTAINERS
  QSKIP("built without the container libraries");
#endif
  const QString qcow = temp_.path() + "/sample.qcow2";
  QCOMPARE(QProcess::execute("qemu-img", {"convert", "-O", "qcow2", MORVEL_SAMPLE_IMAGE, qcow}), 0);
  StringLines expected;
  auto raw = volume_->Open(MORVEL_SAMPLE_IMAGE, {});
  QVERIFY(WriteVolumeReport(qcow.toStdString(), *raw.volume, expected, UserNumberSeparators()));
  const auto form = ShowMainWindow();
  QVERIFY(form);
  form->ReportTargets({qcow.toStdString()});
  QCOMPARE(MemoLinesOf(*form), ToQt(expected.lines()));
}

// What the console says on stderr of a target with no NTFS volume, the memo says after the
// report's error line; and the map menu follows a target's report too.
void QtAppTest::targetWithoutNtfsIsExplainedAndMapped() {
  const QString zeros = temp_.path() + "/zeros.img";
  QFile file(zeros);
  QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(1 << 20));
  file.close();
  const auto form = ShowMainWindow();
  QVERIFY(form);
  form->ReportTargets({zeros.toStdString()});
  const QStringList memo = MemoLinesOf(*form);
  QCOMPARE(memo.size(), 11);
  QCOMPARE(memo[9], QString("Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST"));
  QCOMPARE(memo[10], QString("detected: empty (all zeros)"));
  auto* reportMenu = form->memo->findChild<ReportMenu*>();
  QVERIFY(reportMenu != nullptr);
  form->ReportTargets({MORVEL_SAMPLE_IMAGE});
  const std::unique_ptr<QMenu> menu(reportMenu->CreateMenu({4, 4}));
  QVERIFY(menu->findChild<QAction*>("VolumeMapAction")->isEnabled());
}

void QtAppTest::programAnswersHelpAndVersion() {
  const struct {
    QStringList args;
    int status;
    QString output;
  } cases[] = {{{"--version"}, 0, "MorvelTest 0.6.1.7\n"},
               {{"/starup", "--help"}, 0, "Usage: MorvelTest [IMAGE|DEVICE|PATH]...\n"},
               {{"-platform", "offscreen", "--bogus"}, 2, "MorvelTest: unknown option: --bogus\n"}};
  for (const auto& c : cases) {
    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(MORVEL_PROGRAM, c.args);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), c.status);
    const QString output = QString::fromUtf8(program.readAllStandardOutput());
    QVERIFY2(output.contains(c.output), qPrintable(c.args.join(' ') + ": " + output));
  }
}

}  // namespace morvel::qt

QTEST_MAIN(morvel::qt::QtAppTest)
#include "QtAppTest.moc"
