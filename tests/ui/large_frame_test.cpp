// A field whose reference frame only the cfitsio path reads: a gzipped float image
// extension larger than the frame object's buffer, calibrated (sky near zero with
// negatives), with a NaN border and a band of zeros. The window opens it, runs on it,
// marks and picks its stars, scrolls to its far corner, and shows it at a level and at
// the automatic contrast (screenshots large_frame_*.png).

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <fitsio.h>

#include <cmath>
#include <limits>
#include <memory>

#include "frames/frame_file.hpp"
#include "ui/log_pane.hpp"
#include "ui/picture_view.hpp"
#include "ui_test_support.hpp"

using namespace morvik;
using namespace morvik::test;

namespace {

constexpr long kWidth = 2600;
constexpr long kHeight = 1800;

// The generated frame repeated over the large one, as a calibrated frame: the sky
// brought near zero.
bool WriteLargeFrame(const QString& from, const QString& to) {
  const frames::FrameImage source = frames::ReadFrame(from.toStdString());
  std::vector<float> sorted = source.pixels;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
  const float bias = sorted[sorted.size() / 2] - 40.0f;
  std::vector<float> data(static_cast<std::size_t>(kWidth * kHeight));
  for (long y = 0; y < kHeight; ++y)
    for (long x = 0; x < kWidth; ++x) {
      float v = source.at(x % source.width, y % source.height) - bias;
      if (x >= kWidth - 30) v = std::numeric_limits<float>::quiet_NaN();
      if (y >= kHeight - 40) v = 0.0f;
      const long dx = x - 2400, dy = y - 1500;
      if (dx * dx + dy * dy < 16) v += 20000.0f / static_cast<float>(1 + dx * dx + dy * dy);
      data[static_cast<std::size_t>(y * kWidth + x)] = v;
    }
  fitsfile* f = nullptr;
  int status = 0;
  fits_create_file(&f, ("!" + to.toStdString()).c_str(), &status);
  fits_create_img(f, FLOAT_IMG, 0, nullptr, &status);
  long axes[2] = {kWidth, kHeight};
  fits_create_img(f, FLOAT_IMG, 2, axes, &status);
  fits_write_img(f, TFLOAT, 1, static_cast<LONGLONG>(data.size()), data.data(), &status);
  fits_close_file(f, &status);
  return status == 0;
}

bool Coloured(QRgb c) { return qRed(c) != qGreen(c) || qGreen(c) != qBlue(c); }

} // namespace

class LargeFrameTest : public QObject {
  Q_OBJECT

private:
  QTemporaryDir dir_;
  Field field_;
  std::unique_ptr<MainWindow> w_;
  Script script_;

  Workspace& ws() { return w_->workspace(); }
  QString Panel1() const { return w_->statusPanel(1)->text(); }

private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QString error;
    QVERIFY2(
        MakeField(dir_.filePath(QStringLiteral("small")),
                  {QStringLiteral("--width"), QStringLiteral("400"), QStringLiteral("--height"), QStringLiteral("300"),
                   QStringLiteral("--stars"), QStringLiteral("30"), QStringLiteral("--frames"), QStringLiteral("20")},
                  field_, error),
        qPrintable(error));
    // The same field under a new base name, its frame replaced by the large one.
    const QString base = dir_.filePath(QStringLiteral("large"));
    QVERIFY(QFile::copy(field_.base + QStringLiteral(".dat"), base + QStringLiteral(".dat")));
    QVERIFY(QFile::copy(field_.base + QStringLiteral(".xml"), base + QStringLiteral(".xml")));
    QVERIFY(WriteLargeFrame(field_.frame, base + QStringLiteral(".fits.gz")));
    w_ = std::make_unique<MainWindow>();
    script_.Install(*w_);
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
  }

  void cleanupTestCase() { w_.reset(); }

  void opensRunsMarksPicksAndScrolls() {
    w_->OpenFromCommandLine(dir_.filePath(QStringLiteral("large.fits.gz")));
    QVERIFY2(script_.messages.isEmpty(), qPrintable(script_.messages.value(0).first));
    QCOMPARE(w_->windowTitle(), QStringLiteral("Morvik v1.0 - large.fits.gz"));
    QVERIFY(ws().LargeFrame);
    QCOMPARE(w_->imageView()->size(), QSize(kWidth, kHeight));
    QCOMPARE(ws().Series.StarCount, field_.stars.size());

    ws().CompStarId = static_cast<std::uint16_t>(field_.comparison);
    ws().CompStarMag = field_.comparisonMag;
    w_->menuRun->trigger();
    QVERIFY2(script_.messages.isEmpty(), qPrintable(script_.messages.value(0).first));
    QCOMPARE(ws().RunCount, 1);
    const FieldStar& star = field_.stars.at(static_cast<std::size_t>(field_.comparison - 1));
    const QPoint at = ViewPixelOf(star);
    const QImage shown = w_->imageView()->Shown();
    int coloured = 0;
    for (int dy = -4; dy <= 4; ++dy)
      for (int dx = -4; dx <= 4; ++dx)
        coloured += Coloured(shown.pixel(at.x() + dx, at.y() + dy)) ? 1 : 0;
    QVERIFY2(coloured > 0, "no mark around the comparison star");
    MoveOver(w_->imageView(), at);
    QVERIFY2(Panel1().startsWith(QStringLiteral("STAR ")), qPrintable(Panel1()));

    QVERIFY(w_->grab().save(ScreenshotDir() + QStringLiteral("/large_frame_level.png")));

    // The far corner: the bright spot, the NaN border and the zeros.
    w_->scrollBox()->ensureVisible(2450, 1700, 50, 50);
    QCoreApplication::processEvents();
    QVERIFY(w_->scrollBox()->horizontalScrollBar()->value() > 1500);
    QVERIFY(w_->scrollBox()->verticalScrollBar()->value() > 1000);
    MoveOver(w_->imageView(), QPoint(kWidth - 10, 100));
    QCOMPARE(Panel1(), QStringLiteral("COORD (2591, 101) I=NaN"));
    MoveOver(w_->imageView(), QPoint(2400, 1500));
    QVERIFY2(Panel1().startsWith(QStringLiteral("COORD (2401, 1501) I=20")), qPrintable(Panel1()));
    QVERIFY(w_->grab().save(ScreenshotDir() + QStringLiteral("/large_frame_corner.png")));
  }

  void automaticContrastShowsTheSkyGrey() {
    w_->scrollBox()->ensureVisible(0, 0, 10, 10);
    w_->menuAutoContrast->trigger();
    QVERIFY(w_->menuAutoContrast->isChecked());
    QVERIFY(ws().settings.AutoContrast);
    bool logged = false;
    for (const QString& line : w_->logPane()->Lines())
      logged = logged || line.startsWith(QStringLiteral("automatic contrast: mink="));
    QVERIFY(logged);
    // Sky far from the stars: grey, neither black nor white.
    const int grey = qRed(w_->imageView()->Shown().pixel(1500, 1000));
    QVERIFY2(grey > 30 && grey < 140, qPrintable(QString::number(grey)));
    QCoreApplication::processEvents();
    QVERIFY(w_->grab().save(ScreenshotDir() + QStringLiteral("/large_frame_automatic.png")));
    // Off again: the level.
    w_->menuAutoContrast->trigger();
    QVERIFY(!ws().settings.AutoContrast);
  }
};

QTEST_MAIN(LargeFrameTest)
#include "large_frame_test.moc"
