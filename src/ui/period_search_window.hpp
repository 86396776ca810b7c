#pragma once
// The Period Search window: the full-grid period search of one star's light curve on a
// worker thread, its periodogram and peaks, and the light curve folded with a chosen
// period that can be nudged.

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/chart_model.hpp"
#include "periods/period_fold.hpp"
#include "periods/period_search.hpp"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

namespace morvik {

class ChartView;

class PeriodSearchWindow : public QWidget {
  Q_OBJECT
public:
  explicit PeriodSearchWindow(QWidget* parent = nullptr);
  ~PeriodSearchWindow() override;

  // The star (1-based id) and its light curve: times, magnitudes, errors (may be empty).
  void SetStar(int id, std::vector<double> t, std::vector<double> y, std::vector<double> dy);
  int Star() const { return star_; }
  // Told the star and period when "Use this period" is pressed.
  std::function<void(int star, double period)> onUsePeriod;

  void StartSearch();
  void CancelSearch();
  bool Searching() const { return worker_.joinable(); }
  bool HasResult() const { return hasResult_; }
  const PeriodSearchResult& Result() const { return result_; }
  const FoldedCurve& Folded() const { return folded_; }
  // Folds with period and shows it in the period box, which then steps by a tenth of
  // the period's error (0: by one grid step).
  void ShowFolded(double period, double error = 0.0);

  bool ExportPeriodogram(const QString& path) const;
  bool ExportPeaks(const QString& path) const;
  bool ExportFolded(const QString& path) const;

  // Widgets, reachable for tests.
  QComboBox* methodBox = nullptr;
  QDoubleSpinBox* minPeriodBox = nullptr;
  QDoubleSpinBox* maxPeriodBox = nullptr; // 0: the span
  QDoubleSpinBox* oversamplingBox = nullptr;
  QPushButton* searchButton = nullptr;
  QPushButton* cancelButton = nullptr;
  QProgressBar* progressBar = nullptr;
  QLabel* statusLabel = nullptr;
  QComboBox* viewMethodBox = nullptr; // whose periodogram is drawn
  QComboBox* axisBox = nullptr;       // frequency or period
  ChartView* periodogramChart = nullptr;
  QTableWidget* peakTable = nullptr;
  ChartView* foldedChart = nullptr;
  QDoubleSpinBox* periodBox = nullptr;
  QPushButton* useButton = nullptr;

private:
  double ErrorOfPeak(double period) const; // the error of the peak at that period, 0 if none
  void Poll();
  void Finished();
  void FillPeaks();
  void DrawPeriodogram();
  void DrawFolded();
  void PeakClicked(int row);
  void ExportWithDialog(int which);

  int star_ = 0;
  std::vector<double> t_, y_, dy_;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::atomic<double> fraction_{0.0};
  std::unique_ptr<PeriodSearchResult> pending_;
  std::string error_;
  PeriodSearchResult result_;
  bool hasResult_ = false;
  FoldedCurve folded_;
  ChartModel periodogramModel_;
  ChartModel foldedModel_;
  std::vector<double> peakPeriods_; // of the peak markers, in series order
  QTimer* timer_ = nullptr;
};

} // namespace morvik
