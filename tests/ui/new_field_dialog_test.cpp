// File > New Field from Frames...: a generated series reduced from the dialog, once
// cancelled (no files left) and once to the end (the main window opens the field).

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ui/new_field_dialog.hpp"
#include "ui_test_support.hpp"

using namespace morvik;

class NewFieldDialogTest : public QObject {
  Q_OBJECT

private:
  QTemporaryDir dir_;
  QStringList frames_;

private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QProcess gen;
    gen.start(QStringLiteral(MORVIK_FIELDGEN), {QStringLiteral("--series"), dir_.filePath(QStringLiteral("frames/s"))});
    QVERIFY(gen.waitForFinished(120000));
    QCOMPARE(gen.exitCode(), 0);
    for (const QString& name :
         QDir(dir_.filePath(QStringLiteral("frames"))).entryList({QStringLiteral("*.fits")}, QDir::Files, QDir::Name))
      frames_ << dir_.filePath(QStringLiteral("frames/") + name);
    QCOMPARE(frames_.size(), 20);
  }

  void cancelLeavesNoFiles() {
    NewFieldDialog dialog;
    dialog.show();
    QVERIFY(!dialog.startButton()->isEnabled());
    dialog.SetFrames(frames_);
    dialog.SetOutput(dir_.filePath(QStringLiteral("cancelled/field")));
    QVERIFY(dialog.startButton()->isEnabled());
    QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("Close"));
    // Cancel on the first progress update: the worker waits until the window has
    // shown each update, so at most the frames already begun are finished.
    int updates = 0;
    connect(&dialog, &NewFieldDialog::progressed, &dialog, [&](int done, int total) {
      ++updates;
      QCOMPARE(total, 20);
      QCOMPARE(dialog.progressBar()->value(), done);
      if (updates == 1) {
        QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("Cancel"));
        QVERIFY(!dialog.startButton()->isEnabled());
        dialog.grab().save(test::ScreenshotDir() + QStringLiteral("/new_field_dialog_running.png"));
        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
      }
    });
    QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
    QVERIFY(dialog.Running());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.Running(), 300000);
    QVERIFY(updates >= 1);
    QVERIFY(updates < 20);
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.StatusText().contains(QStringLiteral("Cancelled")));
    QCOMPARE(dialog.result(), 0);
    const QDir out(dir_.filePath(QStringLiteral("cancelled")));
    QVERIFY(!out.exists() || out.entryList(QDir::Files | QDir::Hidden).isEmpty());
    dialog.grab().save(test::ScreenshotDir() + QStringLiteral("/new_field_dialog_cancelled.png"));
  }

  void fullRunOpensTheField() {
    MainWindow w;
    w.show();
    bool driven = false;
    int updates = 0;
    // The dialog runs modally: it is driven from inside its own event loop.
    QTimer::singleShot(0, &w, [&] {
      auto* dialog = qobject_cast<NewFieldDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      driven = true;
      connect(dialog, &NewFieldDialog::progressed, dialog, [&](int, int) { ++updates; });
      dialog->SetFrames(frames_);
      dialog->SetOutput(dir_.filePath(QStringLiteral("night/field")));
      QTest::mouseClick(dialog->startButton(), Qt::LeftButton);
    });
    w.menuNewField->trigger();
    QVERIFY(driven);
    QCOMPARE(updates, 20);
    for (const char* ext : {".fts", ".dat", ".xml"})
      QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("night/field") + QLatin1String(ext))));
    QVERIFY(w.workspace().CurrentFrame);
    QCOMPARE(w.workspace().Series.RowCount, 20);
    QVERIFY(w.workspace().Series.StarCount > 20);
    QVERIFY(w.windowTitle().endsWith(QStringLiteral("field.fts")));
    w.grab().save(test::ScreenshotDir() + QStringLiteral("/new_field_opened.png"));
  }
};

QTEST_MAIN(NewFieldDialogTest)
#include "new_field_dialog_test.moc"
