#include "ui/period_search_window.hpp"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/chart_view.hpp"

namespace morvik {
namespace {

constexpr std::size_t kShownPoints = 3000; // periodogram points drawn at most
constexpr std::size_t kPeakSeries = 1;

class AtomicProgress : public SearchProgress {
public:
  explicit AtomicProgress(std::atomic<double>& f) : f_(f) {}
  void Report(double fraction) override { f_.store(fraction); }

private:
  std::atomic<double>& f_;
};

QDoubleSpinBox* SpinBox(double lo, double hi, double value, int decimals, const char* name) {
  auto* box = new QDoubleSpinBox;
  box->setRange(lo, hi);
  box->setDecimals(decimals);
  box->setValue(value);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

QString Number(double v) { return QString::number(v, 'g', 8); }

bool WriteText(const QString& path, const std::string& text) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return f.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

} // namespace

PeriodSearchWindow::PeriodSearchWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("PeriodSearchWindow"));
  setWindowTitle(QStringLiteral("Period Search"));
  resize(1100, 760);

  methodBox = new QComboBox;
  methodBox->setObjectName(QStringLiteral("methodBox"));
  methodBox->addItems({QStringLiteral("gls, mhgls, lk"), QStringLiteral("all"), QStringLiteral("gls"),
                       QStringLiteral("mhgls"), QStringLiteral("lk"), QStringLiteral("bls")});
  minPeriodBox = SpinBox(0.001, 1e5, 0.05, 4, "minPeriodBox");
  maxPeriodBox = SpinBox(0.0, 1e6, 0.0, 3, "maxPeriodBox");
  maxPeriodBox->setSpecialValueText(QStringLiteral("the span"));
  oversamplingBox = SpinBox(1.0, 100.0, 10.0, 1, "oversamplingBox");
  searchButton = new QPushButton(QStringLiteral("Search"));
  searchButton->setObjectName(QStringLiteral("searchButton"));
  cancelButton = new QPushButton(QStringLiteral("Cancel"));
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  cancelButton->setEnabled(false);
  progressBar = new QProgressBar;
  progressBar->setRange(0, 1000);
  progressBar->setValue(0);
  statusLabel = new QLabel(QStringLiteral("No star chosen."));
  statusLabel->setObjectName(QStringLiteral("statusLabel"));

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(QStringLiteral("Method")));
  controls->addWidget(methodBox);
  controls->addWidget(new QLabel(QStringLiteral("Shortest period (d)")));
  controls->addWidget(minPeriodBox);
  controls->addWidget(new QLabel(QStringLiteral("Longest (d)")));
  controls->addWidget(maxPeriodBox);
  controls->addWidget(new QLabel(QStringLiteral("Oversampling")));
  controls->addWidget(oversamplingBox);
  controls->addWidget(searchButton);
  controls->addWidget(cancelButton);
  controls->addWidget(progressBar, 1);

  viewMethodBox = new QComboBox;
  viewMethodBox->setObjectName(QStringLiteral("viewMethodBox"));
  axisBox = new QComboBox;
  axisBox->setObjectName(QStringLiteral("axisBox"));
  axisBox->addItems({QStringLiteral("against frequency"), QStringLiteral("against period")});
  periodogramChart = new ChartView;
  periodogramChart->setObjectName(QStringLiteral("periodogramChart"));
  periodogramChart->SetModel(&periodogramModel_);
  periodogramChart->setMinimumSize(520, 300);
  peakTable = new QTableWidget(0, 8);
  peakTable->setObjectName(QStringLiteral("peakTable"));
  peakTable->setHorizontalHeaderLabels({QStringLiteral("Method"), QStringLiteral("Rank"), QStringLiteral("Period (d)"),
                                        QStringLiteral("Error (d)"), QStringLiteral("Frequency (c/d)"),
                                        QStringLiteral("Power"), QStringLiteral("FAP"),
                                        QStringLiteral("Alias of best")});
  peakTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  peakTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  peakTable->horizontalHeader()->setStretchLastSection(true);

  foldedChart = new ChartView;
  foldedChart->setObjectName(QStringLiteral("foldedChart"));
  foldedChart->SetModel(&foldedModel_);
  foldedChart->setMinimumSize(420, 300);
  periodBox = SpinBox(1e-4, 1e6, 1.0, 10, "periodBox");
  periodBox->setKeyboardTracking(false);
  useButton = new QPushButton(QStringLiteral("Use this period"));
  useButton->setObjectName(QStringLiteral("useButton"));
  useButton->setEnabled(false);

  auto* left = new QVBoxLayout;
  auto* viewRow = new QHBoxLayout;
  viewRow->addWidget(new QLabel(QStringLiteral("Periodogram of")));
  viewRow->addWidget(viewMethodBox);
  viewRow->addWidget(axisBox);
  viewRow->addStretch(1);
  left->addLayout(viewRow);
  left->addWidget(periodogramChart, 3);
  left->addWidget(peakTable, 2);

  auto* right = new QVBoxLayout;
  auto* periodRow = new QHBoxLayout;
  periodRow->addWidget(new QLabel(QStringLiteral("Period (d)")));
  periodRow->addWidget(periodBox, 1);
  periodRow->addWidget(useButton);
  right->addLayout(periodRow);
  right->addWidget(foldedChart, 1);
  auto* exports = new QHBoxLayout;
  const char* names[] = {"Export periodogram", "Export peaks", "Export folded curve"};
  for (int i = 0; i < 3; ++i) {
    auto* b = new QPushButton(QString::fromLatin1(names[i]));
    connect(b, &QPushButton::clicked, this, [this, i] { ExportWithDialog(i); });
    exports->addWidget(b);
  }
  right->addLayout(exports);

  auto* body = new QHBoxLayout;
  body->addLayout(left, 3);
  body->addLayout(right, 2);
  auto* top = new QVBoxLayout(this);
  top->addLayout(controls);
  top->addWidget(statusLabel);
  top->addLayout(body, 1);

  timer_ = new QTimer(this);
  timer_->setInterval(50);
  connect(timer_, &QTimer::timeout, this, &PeriodSearchWindow::Poll);
  connect(searchButton, &QPushButton::clicked, this, &PeriodSearchWindow::StartSearch);
  connect(cancelButton, &QPushButton::clicked, this, &PeriodSearchWindow::CancelSearch);
  connect(viewMethodBox, &QComboBox::currentIndexChanged, this, [this] { DrawPeriodogram(); });
  connect(axisBox, &QComboBox::currentIndexChanged, this, [this] { DrawPeriodogram(); });
  connect(peakTable, &QTableWidget::cellClicked, this, [this](int row, int) { PeakClicked(row); });
  connect(periodBox, &QDoubleSpinBox::valueChanged, this, [this](double p) {
    folded_ = FoldLightCurve(t_, y_, p);
    DrawFolded();
  });
  connect(useButton, &QPushButton::clicked, this, [this] {
    if (onUsePeriod) onUsePeriod(star_, periodBox->value());
    statusLabel->setText(QStringLiteral("Star %1: period %2 d kept.").arg(star_).arg(Number(periodBox->value())));
  });
  periodogramChart->clickPointer = [this](std::size_t series, std::size_t i, int, int) {
    if (series == kPeakSeries && i < peakPeriods_.size()) ShowFolded(peakPeriods_[i], ErrorOfPeak(peakPeriods_[i]));
  };
}

PeriodSearchWindow::~PeriodSearchWindow() {
  cancel_.store(true);
  if (worker_.joinable()) worker_.join();
}

void PeriodSearchWindow::SetStar(int id, std::vector<double> t, std::vector<double> y, std::vector<double> dy) {
  CancelSearch();
  if (worker_.joinable()) worker_.join();
  star_ = id;
  t_ = std::move(t);
  y_ = std::move(y);
  dy_ = std::move(dy);
  hasResult_ = false;
  result_ = {};
  folded_ = {};
  peakTable->setRowCount(0);
  viewMethodBox->clear();
  DrawPeriodogram();
  DrawFolded();
  useButton->setEnabled(false);
  statusLabel->setText(QStringLiteral("Star %1: %2 measurements.").arg(id).arg(t_.size()));
  setWindowTitle(QStringLiteral("Period Search - star %1").arg(id));
}

void PeriodSearchWindow::StartSearch() {
  if (worker_.joinable()) return;
  PeriodSearchSettings settings;
  const QString m = methodBox->currentText();
  if (m == QStringLiteral("all"))
    settings.methods = {PeriodMethod::Gls, PeriodMethod::MultiHarmonicGls, PeriodMethod::LaflerKinman,
                        PeriodMethod::Bls};
  else if (auto one = MethodFromName(m.toStdString()))
    settings.methods = {*one};
  settings.grid.minPeriod = minPeriodBox->value();
  settings.grid.maxPeriod = maxPeriodBox->value();
  settings.grid.oversampling = oversamplingBox->value();
  cancel_.store(false);
  done_.store(false);
  fraction_.store(0.0);
  error_.clear();
  pending_.reset();
  searchButton->setEnabled(false);
  cancelButton->setEnabled(true);
  progressBar->setValue(0);
  statusLabel->setText(QStringLiteral("Searching star %1...").arg(star_));
  worker_ = std::thread([this, settings] {
    AtomicProgress progress(fraction_);
    try {
      pending_ = std::make_unique<PeriodSearchResult>(SearchPeriods(t_, y_, dy_, settings, &progress, &cancel_));
    } catch (const std::exception& e) {
      error_ = e.what();
    }
    done_.store(true);
  });
  timer_->start();
}

void PeriodSearchWindow::CancelSearch() { cancel_.store(true); }

void PeriodSearchWindow::Poll() {
  progressBar->setValue(static_cast<int>(1000.0 * fraction_.load()));
  if (done_.load()) Finished();
}

void PeriodSearchWindow::Finished() {
  timer_->stop();
  if (worker_.joinable()) worker_.join();
  searchButton->setEnabled(true);
  cancelButton->setEnabled(false);
  if (!error_.empty()) {
    statusLabel->setText(QString::fromStdString(error_));
    return;
  }
  if (!pending_ || pending_->cancelled) {
    progressBar->setValue(0);
    statusLabel->setText(QStringLiteral("Search cancelled."));
    return;
  }
  result_ = std::move(*pending_);
  pending_.reset();
  hasResult_ = true;
  progressBar->setValue(1000);
  const CombinedPeriod& c = result_.combined;
  QString text =
      c.found
          ? QStringLiteral("Star %1: %2 frequencies. Best period %3 \u00b1 %4 d (%5), FAP %6.")
                .arg(star_)
                .arg(result_.grid.count)
                .arg(Number(c.period), c.periodError > 0 ? QString::number(c.periodError, 'g', 2) : QStringLiteral("?"),
                     QString::fromLatin1(MethodName(c.method)),
                     c.fap < 0 ? QStringLiteral("unknown") : QString::fromStdString(FapText(c.fap, c.fapIsBound)))
          : QStringLiteral("Star %1:").arg(star_);
  if (!c.note.empty()) text += QStringLiteral(" ") + QString::fromStdString(c.note);
  statusLabel->setText(text);
  {
    const QSignalBlocker block(viewMethodBox);
    viewMethodBox->clear();
    for (const MethodResult& m : result_.methods)
      viewMethodBox->addItem(QString::fromLatin1(MethodName(m.method)));
    viewMethodBox->setCurrentText(QString::fromLatin1(MethodName(c.method)));
  }
  FillPeaks();
  DrawPeriodogram();
  if (c.found) ShowFolded(c.period, c.periodError);
}

void PeriodSearchWindow::FillPeaks() {
  peakTable->setRowCount(0);
  for (const MethodResult& m : result_.methods) {
    int rank = 0;
    for (const PeriodPeak& p : m.peaks) {
      const int row = peakTable->rowCount();
      peakTable->insertRow(row);
      const QString cells[] = {QString::fromLatin1(MethodName(m.method)),
                               QString::number(++rank),
                               Number(p.period),
                               p.periodError > 0 ? QString::number(p.periodError, 'g', 3) : QString(),
                               Number(p.frequency),
                               Number(p.power),
                               p.fap < 0 ? QString() : QString::fromStdString(FapText(p.fap, p.fapIsBound)),
                               QString::fromStdString(p.aliasOf)};
      for (int c = 0; c < 8; ++c)
        peakTable->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
  }
}

void PeriodSearchWindow::PeakClicked(int row) {
  const QTableWidgetItem* item = peakTable->item(row, 2);
  const QTableWidgetItem* error = peakTable->item(row, 3);
  if (item != nullptr) ShowFolded(item->text().toDouble(), error != nullptr ? error->text().toDouble() : 0.0);
}

void PeriodSearchWindow::DrawPeriodogram() {
  periodogramModel_.series.clear();
  peakPeriods_.clear();
  const bool byPeriod = axisBox->currentIndex() == 1;
  periodogramModel_.bottomTitle = byPeriod ? "Period (d)" : "Frequency (cycles per day)";
  periodogramModel_.title = "Periodogram";
  const MethodResult* m = nullptr;
  for (const MethodResult& r : result_.methods)
    if (hasResult_ && viewMethodBox->currentText() == QString::fromLatin1(MethodName(r.method))) m = &r;
  if (m == nullptr) {
    periodogramModel_.leftTitle = "Power";
    periodogramModel_.UndoZoom();
    periodogramChart->Refresh();
    return;
  }
  periodogramModel_.title = std::string("Periodogram (") + MethodName(m->method) + "), star " + std::to_string(star_);
  periodogramModel_.leftTitle = m->lowerIsBetter ? "Theta" : "Power";
  periodogramModel_.leftInverted = m->lowerIsBetter; // best peaks point up
  auto freqAt = [&](std::size_t k) { return m->frequency.empty() ? result_.grid.At(k) : m->frequency[k]; };
  auto x = [byPeriod](double f) { return byPeriod ? 1.0 / f : f; };
  PointSeries line("periodogram", colors::Blue, MarkerStyle::Rectangle, 1);
  std::vector<ChartPoint> points;
  // Long grids: the most extreme value of every run of frequencies, so no peak is lost.
  const std::size_t n = m->power.size();
  const std::size_t run = std::max<std::size_t>(1, (n + kShownPoints - 1) / kShownPoints);
  for (std::size_t k0 = 0; k0 < n; k0 += run) {
    std::size_t best = k0;
    for (std::size_t k = k0; k < std::min(n, k0 + run); ++k)
      if (m->lowerIsBetter ? m->power[k] < m->power[best] : m->power[k] > m->power[best]) best = k;
    points.push_back({x(freqAt(best)), m->power[best], {}, {}});
  }
  line.AddMany(std::move(points));
  PointSeries peaks("peaks", colors::Red, MarkerStyle::DownTriangle, 5);
  for (const PeriodPeak& p : m->peaks) {
    peaks.Add(x(p.frequency), p.power);
  }
  // Series keep points in ascending x: read the periods back in that order.
  for (const ChartPoint& p : peaks.Points())
    peakPeriods_.push_back(byPeriod ? p.x : 1.0 / p.x);
  periodogramModel_.series.push_back(std::move(line));
  periodogramModel_.series.push_back(std::move(peaks));
  periodogramModel_.UndoZoom();
  periodogramChart->Refresh();
}

double PeriodSearchWindow::ErrorOfPeak(double period) const {
  for (const MethodResult& m : result_.methods)
    for (const PeriodPeak& p : m.peaks)
      if (std::fabs(p.period - period) <= 1e-9 * period) return p.periodError;
  return 0.0;
}

void PeriodSearchWindow::ShowFolded(double period, double error) {
  if (!(period > 0.0)) return;
  // A tenth of the period's error; without one, one grid step in frequency as a step
  // in period: P^2 df.
  const double df = hasResult_ ? result_.grid.step : 1e-4;
  periodBox->setSingleStep(std::max(1e-10, error > 0.0 ? 0.1 * error : period * period * df));
  const QSignalBlocker block(periodBox);
  periodBox->setValue(period);
  folded_ = FoldLightCurve(t_, y_, periodBox->value());
  useButton->setEnabled(true);
  DrawFolded();
}

void PeriodSearchWindow::DrawFolded() {
  foldedModel_.series.clear();
  foldedModel_.title = folded_.period > 0.0 ? "Folded light curve, P = " + Number(folded_.period).toStdString() + " d"
                                            : "Folded light curve";
  foldedModel_.bottomTitle = "Phase (epoch at minimum light)";
  foldedModel_.leftTitle = "Magnitude";
  foldedModel_.leftInverted = true;
  PointSeries points("points", colors::Grey, MarkerStyle::Circle, 2);
  std::vector<ChartPoint> pts;
  for (std::size_t i = 0; i < folded_.phase.size(); ++i)
    pts.push_back({folded_.phase[i], folded_.mag[i], {}, {}});
  points.AddMany(std::move(pts));
  PointSeries means("binned mean", colors::Red, MarkerStyle::Rectangle, 3);
  for (std::size_t i = 0; i < folded_.binPhase.size(); ++i)
    means.Add(folded_.binPhase[i], folded_.binMean[i]);
  foldedModel_.series.push_back(std::move(points));
  foldedModel_.series.push_back(std::move(means));
  foldedModel_.UndoZoom();
  foldedChart->Refresh();
}

bool PeriodSearchWindow::ExportPeriodogram(const QString& path) const {
  return hasResult_ && WriteText(path, PeriodogramCsv(result_));
}
bool PeriodSearchWindow::ExportPeaks(const QString& path) const {
  return hasResult_ && WriteText(path, PeakTableCsv(result_));
}
bool PeriodSearchWindow::ExportFolded(const QString& path) const {
  return !folded_.phase.empty() && WriteText(path, FoldedCurveCsv(folded_));
}

void PeriodSearchWindow::ExportWithDialog(int which) {
  const QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("Export"), QString(), QStringLiteral("CSV files (*.csv)"));
  if (path.isEmpty()) return;
  const bool ok = which == 0 ? ExportPeriodogram(path) : which == 1 ? ExportPeaks(path) : ExportFolded(path);
  statusLabel->setText(ok ? QStringLiteral("Written: %1").arg(path) : QStringLiteral("Cannot write %1").arg(path));
}

} // namespace morvik
