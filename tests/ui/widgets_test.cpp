// The parts of the window one by one: the log pane's filter, the image view over a
// picture that moves its memory, the settings page's reading, and the real modal boxes
// answered from a timer as a user would answer them.

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "common/format.hpp"
#include "fits/bitmap.hpp"
#include "ui/dialogs.hpp"
#include "ui/locale_separator.hpp"
#include "ui/log_pane.hpp"
#include "ui/picture_view.hpp"
#include "ui/settings_page.hpp"

using namespace morvik;

namespace {

// Calls `answer` with the first modal widget that appears while the caller blocks.
void WhenModalAppears(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    timer->stop();
    timer->deleteLater();
    answer(modal);
  });
  timer->start();
}

} // namespace

class WidgetsTest : public QObject {
  Q_OBJECT

private slots:
  void logPaneFiltersByTheDebugBox() {
    LogPane pane;
    bool debug = true;
    pane.SetDebugSource([&] { return debug; });
    pane.Add("*shown while debugging");
    pane.Add("");
    pane.Add("plain");
    debug = false;
    pane.Add("*hidden");
    pane.Add("also plain");
    pane.Add("x*not a debug line");
    QCOMPARE(pane.Lines(), (QStringList{"*shown while debugging", "plain", "also plain", "x*not a debug line"}));
    // Lines added after a flush follow the earlier ones, in order.
    debug = true;
    for (int i = 0; i < 5000; ++i)
      pane.Add(std::to_string(i));
    const QStringList lines = pane.Lines();
    QCOMPARE(lines.size(), 5004);
    QCOMPARE(lines[4], QStringLiteral("0"));
    QCOMPARE(lines.last(), QStringLiteral("4999"));
  }

  void logPaneClearDropsShownAndWaitingLines() {
    LogPane pane;
    pane.Add("one");
    pane.Flush();
    pane.Add("two"); // not yet painted
    pane.Clear();
    QVERIFY(pane.Lines().isEmpty());
    pane.Add("MIN 0.00 MAX 1.00");
    QCoreApplication::processEvents();
    QCOMPARE(pane.Lines(), QStringList{"MIN 0.00 MAX 1.00"});
    QCOMPARE(pane.toPlainText(), QStringLiteral("MIN 0.00 MAX 1.00"));
  }

  void imageViewShowsThePictureEvenAfterItsMemoryMoved() {
    Picture picture;
    picture.EnsureSize(40, 30);
    picture.fill = colors::Red;
    picture.FillRect(0, 0, 20, 30);
    PictureView view(picture);
    view.SetFrameSize(40, 30);
    view.PictureChanged();
    QImage shot = view.grab().toImage();
    QCOMPARE(shot.pixel(5, 5) & 0xFFFFFF, 0xFF0000u);
    QCOMPARE(shot.pixel(30, 5) & 0xFFFFFF, 0xFFFFFFu);
    QCOMPARE(view.Shown().size(), QSize(40, 30));

    // A growing picture reallocates; a paint before the owner says so must still read
    // the new memory.
    picture.EnsureSize(2300, 2300);
    picture.fill = colors::Blue;
    picture.FillRect(0, 0, 2300, 2300);
    view.SetFrameSize(2200, 2100);
    shot = view.grab().toImage();
    QCOMPARE(shot.size(), QSize(2200, 2100));
    QCOMPARE(shot.pixel(5, 5) & 0xFFFFFF, 0x0000FFu);
    QCOMPARE(shot.pixel(2199, 2099) & 0xFFFFFF, 0x0000FFu);
    QCOMPARE(view.Shown().size(), QSize(2200, 2100));
  }

  void imageViewReportsTheMouseInViewPixels() {
    Picture picture;
    picture.EnsureSize(64, 64);
    PictureView view(picture);
    view.SetFrameSize(50, 40);
    QSignalSpy moved(&view, &PictureView::pointerMoved);
    QSignalSpy released(&view, &PictureView::leftReleased);
    QSignalSpy menu(&view, &PictureView::contextMenuAt);
    QMouseEvent move(QEvent::MouseMove, QPointF(12, 7), QPointF(12, 7), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved[0][0].toInt(), 12);
    QCOMPARE(moved[0][1].toInt(), 7);
    QTest::mouseClick(&view, Qt::RightButton, Qt::NoModifier, QPoint(3, 4));
    QCOMPARE(released.size(), 0); // only the left button picks
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(49, 39));
    QCOMPARE(released.size(), 1);
    QCOMPARE(released[0][0].toInt(), 49);
    QCOMPARE(released[0][1].toInt(), 39);
    // A press inside dragged out of the frame picks nothing.
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(60, 10));
    QCOMPARE(released.size(), 1);
    QContextMenuEvent context(QContextMenuEvent::Mouse, QPoint(8, 9), view.mapToGlobal(QPoint(8, 9)));
    QApplication::sendEvent(&view, &context);
    QCOMPARE(menu.size(), 1);
    QCOMPARE(menu[0][0].toInt(), 8);
    QCOMPARE(menu[0][1].toInt(), 9);
  }

  void settingsPageFillsEverySetting() {
    SettingsPage page;
    Settings s;
    s.CompManual = true; // not a control of the page: left alone
    s.ContrastLevel = 9;
    page.rgChartX->button(7)->setChecked(true);
    page.rgChartY->button(4)->setChecked(true);
    page.debugch->setChecked(false);
    page.spFrameBorder->setValue(25); // above the range: held at 20
    page.spFrameBorderPX->setValue(0);
    page.spPart4select->setValue(55);
    page.edVariance4Comp->setText(QStringLiteral("2,5"));
    page.edNotMoreComp->setText(QStringLiteral("12"));
    page.spSkipLessPercFrame->setValue(100);
    page.Fill(s);
    QCOMPARE(s.ChartX, 7);
    QCOMPARE(s.ChartY, 4);
    QCOMPARE(s.Debug, false);
    QCOMPARE(s.FrameBorder, 20);
    QCOMPARE(s.FrameBorderPX, 1);
    QCOMPARE(s.Part4select, 55);
    QCOMPARE(s.Variance4Comp, std::string("2,5"));
    QCOMPARE(s.NotMoreComp, std::string("12"));
    QCOMPARE(s.SkipLessPercFrame, 100);
    QCOMPARE(s.CompManual, true);
    QCOMPARE(s.ContrastLevel, 9);
  }

  void messagesTakeTheLocalesDecimalSeparator() {
    UseLocaleDecimalSeparator(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(MessageDecimalSeparator(), ',');
    QCOMPARE(FormatMessage("RAW= %f", {12.3456}), std::string("RAW= 12,35"));
    UseLocaleDecimalSeparator(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(MessageDecimalSeparator(), '.');
    // A separator that is no single ASCII character falls back to the point.
    SetMessageDecimalSeparator(',');
    UseLocaleDecimalSeparator(QLocale(QLocale::Arabic, QLocale::Egypt));
    QCOMPARE(MessageDecimalSeparator(), '.');
  }

  void inputBoxYieldsTheProposedTextWhenCancelled() {
    const Dialogs d = DefaultDialogs();
    QString caption, label, shown;
    WhenModalAppears([&](QWidget* modal) {
      auto* box = qobject_cast<QInputDialog*>(modal);
      QVERIFY(box != nullptr);
      caption = box->windowTitle();
      label = box->labelText();
      shown = box->textValue();
      box->setTextValue(QStringLiteral("99"));
      box->reject();
    });
    QCOMPARE(d.inputText(nullptr, QStringLiteral("Comparison Star"), QStringLiteral("Enter star #7 magnitude:"),
                         QStringLiteral("12.3456")),
             QStringLiteral("12.3456"));
    QCOMPARE(caption, QStringLiteral("Comparison Star"));
    QCOMPARE(label, QStringLiteral("Enter star #7 magnitude:"));
    QCOMPARE(shown, QStringLiteral("12.3456"));

    WhenModalAppears([](QWidget* modal) {
      auto* box = qobject_cast<QInputDialog*>(modal);
      box->setTextValue(QStringLiteral("11.5"));
      box->accept();
    });
    QCOMPARE(d.inputText(nullptr, QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("12")),
             QStringLiteral("11.5"));
    // An emptied and confirmed box yields the empty text (the caller then does nothing).
    WhenModalAppears([](QWidget* modal) {
      auto* box = qobject_cast<QInputDialog*>(modal);
      box->setTextValue(QString());
      box->accept();
    });
    QCOMPARE(d.inputText(nullptr, QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("12")), QString());
  }

  void replaceQuestionIsAWarningOnTopAndOnlyYesAgrees() {
    const Dialogs d = DefaultDialogs();
    for (const bool yes : {false, true}) {
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      bool onTop = false;
      QString text, caption;
      WhenModalAppears([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        icon = box->icon();
        onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        text = box->text();
        caption = box->windowTitle();
        QVERIFY(box->button(QMessageBox::Yes) != nullptr && box->button(QMessageBox::No) != nullptr);
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
      });
      QCOMPARE(d.askYesNo(nullptr, QStringLiteral("Save Light Curve"), QStringLiteral("File /x exists. Replace?")),
               yes);
      QCOMPARE(icon, QMessageBox::Warning);
      QVERIFY(onTop);
      QCOMPARE(text, QStringLiteral("File /x exists. Replace?"));
      QCOMPARE(caption, QStringLiteral("Save Light Curve"));
    }
    // Closing the box without an answer is not a Yes.
    WhenModalAppears([](QWidget* modal) { qobject_cast<QMessageBox*>(modal)->reject(); });
    QCOMPARE(d.askYesNo(nullptr, QStringLiteral("c"), QStringLiteral("t")), false);
  }

  void errorAndNoticeBoxes() {
    const Dialogs d = DefaultDialogs();
    for (const bool error : {true, false}) {
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      QString text;
      WhenModalAppears([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        icon = box->icon();
        text = box->text();
        box->accept();
      });
      d.message(nullptr, QStringLiteral("Please choose a comparison star"), error);
      QCOMPARE(icon, error ? QMessageBox::Critical : QMessageBox::Information);
      QCOMPARE(text, QStringLiteral("Please choose a comparison star"));
    }
  }

  void fileDialogStartsFromThePatternOrTheLastName() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Dialogs d = DefaultDialogs();
    const QString missing = dir.filePath(QStringLiteral("not_there.fit"));
    QStringList seen;
    WhenModalAppears([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      QVERIFY(dialog != nullptr);
      auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      seen << (nameBox != nullptr ? nameBox->text() : QStringLiteral("?"));
      // Typed into the name box, as a user does. QFileDialog::selectFile() leaves the box
      // alone once it has the keyboard focus, and when the shown dialog gets the focus
      // depends on how busy the machine is.
      QVERIFY(nameBox != nullptr);
      nameBox->setText(missing);
      static_cast<QDialog*>(dialog)->accept();
    });
    // Opening accepts a name that does not exist: the program itself tests it.
    QCOMPARE(d.chooseFile(nullptr, FileDialogKind::Open, QStringLiteral("Open"), QStringLiteral("*.fit;*.fts")),
             missing);
    QCOMPARE(seen.value(0), QStringLiteral("*.fit;*.fts"));

    const QString proposed = dir.filePath(QStringLiteral("Star12.dat"));
    WhenModalAppears([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      seen << (nameBox != nullptr ? nameBox->text() : QStringLiteral("?"));
      seen << dialog->directory().absolutePath();
      dialog->reject();
    });
    QCOMPARE(d.chooseFile(nullptr, FileDialogKind::Save, QStringLiteral("Save"), proposed), QString());
    QCOMPARE(seen.value(1), QStringLiteral("Star12.dat"));
    QCOMPARE(seen.value(2), QDir(dir.path()).absolutePath());
  }

  void saveDialogLeavesTheReplaceQuestionToTheCommand() {
    // The save commands ask "File ... exists. Replace?" themselves; a second question
    // from the dialog would ask the user twice.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString existing = dir.filePath(QStringLiteral("Star3.dat"));
    QFile old(existing);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    const Dialogs d = DefaultDialogs();
    QStringList questions;
    // Two timers: the one that accepts the dialog is busy while a box it raised is open.
    QTimer acceptDialog, answerBox;
    connect(&acceptDialog, &QTimer::timeout, [&] {
      if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
        QMetaObject::invokeMethod(dialog, "accept"); // as its Save button does
    });
    connect(&answerBox, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        questions << box->text();
        box->button(QMessageBox::Yes)->click();
      }
    });
    acceptDialog.start(10);
    answerBox.start(10);
    const QString chosen = d.chooseFile(nullptr, FileDialogKind::Save, QStringLiteral("Save"), existing);
    acceptDialog.stop();
    answerBox.stop();
    QCOMPARE(chosen, existing);
    QVERIFY2(questions.isEmpty(), qPrintable(questions.join(QLatin1Char('\n'))));
  }
};

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
