// What the charts show beyond their points: the light curve's legend (series and their
// markers), error bars on the corrected series too, a legend of the image's mark
// colours, tooltips on points, hiding a series and time labels from a round offset.

#include <QAction>
#include <QMenu>
#include <QPainter>

#include "periods/light_curve.hpp"
#include "ui/chart_view.hpp"
#include "ui/main_window.hpp"
#include "workspace/period_commands.hpp"

namespace morvik {
namespace {

struct LegendRow {
  QColor colour;
  MarkerStyle marker;
  QString text;
};

void DrawMarker(QPainter& p, QPointF c, double h, MarkerStyle style) {
  switch (style) {
  case MarkerStyle::Rectangle:
    p.drawRect(QRectF(c.x() - h, c.y() - h, 2 * h, 2 * h));
    break;
  case MarkerStyle::Circle:
    p.drawEllipse(c, h, h);
    break;
  case MarkerStyle::Triangle: {
    const QPointF t[3] = {{c.x(), c.y() - h}, {c.x() + h, c.y() + h}, {c.x() - h, c.y() + h}};
    p.drawPolygon(t, 3);
    break;
  }
  case MarkerStyle::DownTriangle: {
    const QPointF t[3] = {{c.x() - h, c.y() - h}, {c.x() + h, c.y() - h}, {c.x(), c.y() + h}};
    p.drawPolygon(t, 3);
    break;
  }
  }
}

// A boxed legend in the top right corner of the plotting area.
void DrawLegend(QPainter& p, const QRect& plot, const std::vector<LegendRow>& rows) {
  if (rows.empty()) return;
  const QFontMetrics fm(p.font());
  int wide = 0;
  for (const LegendRow& r : rows)
    wide = std::max(wide, fm.horizontalAdvance(r.text));
  const int line = fm.height() + 2;
  const QRect box(plot.right() - wide - 34, plot.top() + 6, wide + 28, line * static_cast<int>(rows.size()) + 6);
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QColor(160, 160, 160));
  p.setBrush(QColor(255, 255, 255, 230));
  p.drawRect(box);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int y = box.top() + 3 + line * static_cast<int>(i);
    p.setPen(rows[i].colour.darker(160));
    p.setBrush(rows[i].colour);
    DrawMarker(p, QPointF(box.left() + 12, y + line / 2.0), 3.0, rows[i].marker);
    p.setPen(Qt::black);
    p.drawText(QRect(box.left() + 22, y, wide + 4, line), Qt::AlignLeft | Qt::AlignVCenter, rows[i].text);
  }
  p.restore();
}

QString Num(double v, int decimals) { return QString::number(v, 'f', decimals); }

} // namespace

void MainWindow::BuildChartMenus(QMenu* view) {
  menuShowRaw = view->addAction(QStringLiteral("Show Raw Series"));
  menuShowRaw->setObjectName(QStringLiteral("menuShowRaw"));
  menuShowCorrected = view->addAction(QStringLiteral("Show Corrected Series"));
  menuShowCorrected->setObjectName(QStringLiteral("menuShowCorrected"));
  for (QAction* a : {menuShowRaw, menuShowCorrected}) {
    a->setCheckable(true);
    a->setChecked(true);
  }
  connect(menuShowRaw, &QAction::toggled, this, [this](bool on) { chart2_->SetSeriesHidden(kSeriesRaw, !on); });
  connect(menuShowCorrected, &QAction::toggled, this, [this](bool on) { chart2_->SetSeriesHidden(kSeriesRun, !on); });
}

void MainWindow::WireChartExtras() {
  chart2_->SetBottomOffsetLabels(true);

  // The chart's own drawing first (the raw error bars), then ours over it.
  auto base = chart2_->afterDraw;
  chart2_->afterDraw = [this, base](QPainter& painter, const ChartView& view) {
    // The raw bars belong to the raw series: hidden with it.
    if (base && !view.SeriesHidden(kSeriesRaw)) base(painter, view);
    if (ws_->LightCurveShowsPeriodogram || ws_->LightCurve.series.size() <= kSeriesRun) {
      if (ws_->LightCurveShowsPeriodogram)
        DrawLegend(painter, view.PlotArea(),
                   {{QColor(255, 0, 0), MarkerStyle::Circle, QStringLiteral("Lafler-Kinman theta")},
                    {QColor(0, 128, 0), MarkerStyle::Rectangle, QStringLiteral("smoothed")}});
      return;
    }
    const PointSeries& run = ws_->LightCurve.series[kSeriesRun];
    if (!view.SeriesHidden(kSeriesRun)) {
      // The corrected magnitudes carry the measurement's error too.
      painter.setPen(QColor(0, 128, 0));
      for (std::size_t i = 0; i < run.Count(); ++i) {
        const int h = view.PixelHeight(kSeriesRun, LightCurveErrorBar(*ws_, i));
        if (h <= 0) continue;
        const QPointF c = view.PixelPosition(kSeriesRun, i);
        painter.drawLine(QPointF(c.x(), c.y() - h), QPointF(c.x(), c.y() + h));
      }
    }
    if (run.Count() == 0) return;
    std::vector<LegendRow> rows;
    if (!view.SeriesHidden(kSeriesRaw))
      rows.push_back({QColor(255, 0, 0), MarkerStyle::Circle, QStringLiteral("raw magnitude")});
    if (!view.SeriesHidden(kSeriesRun))
      rows.push_back({QColor(0, 128, 0), MarkerStyle::Rectangle, QStringLiteral("corrected (ensemble)")});
    rows.push_back({QColor(128, 128, 128), MarkerStyle::Triangle, QStringLiteral("error above star's usual")});
    rows.push_back({QColor(128, 128, 128), MarkerStyle::DownTriangle, QStringLiteral("noisy frame")});
    DrawLegend(painter, view.PlotArea(), rows);
  };

  chart2_->pointTip = [this](std::size_t series, std::size_t i) -> QString {
    if (series >= ws_->LightCurve.series.size() || i >= ws_->LightCurve.series[series].Count()) return {};
    const ChartPoint& p = ws_->LightCurve.series[series].Point(i);
    if (ws_->LightCurveShowsPeriodogram)
      return QStringLiteral("frequency %1 c/d (period %2 d)\ntheta %3")
          .arg(Num(p.x, 5), p.x > 0 ? Num(1.0 / p.x, 5) : QStringLiteral("-"), Num(p.y, 4));
    const std::int32_t row = RowOfLabel(p.label);
    const std::size_t star = ws_->SelectedStar;
    QString text = QStringLiteral("star #%1, row %2\nJD %3").arg(star + 1).arg(row).arg(Num(p.x, 5));
    if (row >= 0 && static_cast<std::size_t>(row) < ws_->Series.Rows.size() &&
        star < ws_->Series.Rows[static_cast<std::size_t>(row)].Items.size()) {
      const TMeasurement& m = ws_->Series.Rows[static_cast<std::size_t>(row)].Items[star];
      text += QStringLiteral("\nraw %1 \u00b1 %2\ncorrected %3").arg(Num(m.Mag, 4), Num(m.Err, 4), Num(m.RunMag, 4));
    }
    return text;
  };

  chart1_->pointTip = [this](std::size_t series, std::size_t i) -> QString {
    if (series >= ws_->VarChart.series.size() || i >= ws_->VarChart.series[series].Count()) return {};
    const ChartPoint& p = ws_->VarChart.series[series].Point(i);
    bool ok = false;
    const int star = QString::fromStdString(p.label).toInt(&ok);
    return QStringLiteral("star #%1\n%2: %3\n%4: %5")
        .arg(ok ? QString::number(star + 1) : QStringLiteral("?"))
        .arg(QString::fromStdString(ws_->VarChart.bottomTitle), Num(p.x, 4))
        .arg(QString::fromStdString(ws_->VarChart.leftTitle), Num(p.y, 4));
  };
}

} // namespace morvik
