#include "ui/ensemble_panes.hpp"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "search/more_indices.hpp"
#include "workspace/candidate_commands.hpp"
#include "workspace/period_commands.hpp"

namespace morvik {

EnsembleWarning::EnsembleWarning(QWidget* parent)
    : QFrame(parent), label_(new QLabel), dismiss_(new QPushButton(QStringLiteral("Dismiss"))) {
  setObjectName(QStringLiteral("EnsembleWarning"));
  setStyleSheet(QStringLiteral("#EnsembleWarning { background: #fff3c4; border-bottom: 1px solid #d0a000; }"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 2, 6, 2);
  label_->setObjectName(QStringLiteral("EnsembleWarningText"));
  label_->setWordWrap(true);
  dismiss_->setObjectName(QStringLiteral("EnsembleWarningDismiss"));
  row->addWidget(label_, 1);
  row->addWidget(dismiss_);
  connect(dismiss_, &QPushButton::clicked, this, &QWidget::hide);
  hide();
}

void EnsembleWarning::ShowText(const QString& text) {
  label_->setText(text);
  setVisible(!text.isEmpty());
}

namespace {

// Numbers that sort as numbers.
QTableWidgetItem* NumberItem(double v, int decimals) {
  auto* item = new QTableWidgetItem;
  item->setData(Qt::DisplayRole, decimals < 0 ? QVariant(static_cast<qlonglong>(v))
                                              : QVariant(QString::number(v, 'f', decimals).toDouble()));
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

QString MarkText(std::uint8_t mark) {
  if (mark == kMarkVariable) return QStringLiteral("variable");
  if (mark == kMarkFalseAlarm) return QStringLiteral("false alarm");
  return {};
}

} // namespace

CandidatesPane::CandidatesPane(Workspace& ws, Runner run, QWidget* parent)
    : QWidget(parent), ws_(ws), run_(std::move(run)), table_(new QTableWidget(0, 6)),
      showCurve_(new QPushButton(QStringLiteral("Show Light Curve"))),
      markVariable_(new QPushButton(QStringLiteral("Mark as Variable"))),
      falseAlarm_(new QPushButton(QStringLiteral("False alarm"))) {
  setObjectName(QStringLiteral("CandidatesPane"));
  table_->setObjectName(QStringLiteral("CandidatesTable"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Id"), QStringLiteral("Magnitude"), QStringLiteral("Score"),
                                     QStringLiteral("Index"), QStringLiteral("N valid"), QStringLiteral("Mark")});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->horizontalHeader()->setSortIndicator(2, Qt::DescendingOrder); // highest score first
  showCurve_->setObjectName(QStringLiteral("CandidateLightCurve"));
  markVariable_->setObjectName(QStringLiteral("CandidateVariable"));
  falseAlarm_->setObjectName(QStringLiteral("CandidateFalseAlarm"));

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(2, 2, 2, 2);
  column->addWidget(table_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(showCurve_);
  buttons->addWidget(markVariable_);
  buttons->addWidget(falseAlarm_);
  column->addLayout(buttons);

  // A click selects the star everywhere; the light curve is one button away.
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] {
    const int id = CurrentId();
    if (id <= 0) return;
    run_([this, id] { SelectCandidate(ws_, id); });
    if (onSelected) onSelected(id);
  });
  connect(showCurve_, &QPushButton::clicked, this, [this] {
    const int id = CurrentId();
    if (id > 0) run_([this, id] { PlotLightCurve(ws_, id - 1); });
  });
  connect(markVariable_, &QPushButton::clicked, this, [this] {
    const int id = CurrentId();
    if (id > 0) run_([this, id] { MarkCandidate(ws_, id, kMarkVariable); });
    Refresh();
  });
  connect(falseAlarm_, &QPushButton::clicked, this, [this] {
    const int id = CurrentId();
    if (id > 0) run_([this, id] { MarkCandidate(ws_, id, kMarkFalseAlarm); });
    Refresh();
  });
}

int CandidatesPane::CurrentId() const {
  const int row = table_->currentRow();
  if (row < 0 || !table_->item(row, 0)) return 0;
  return table_->item(row, 0)->data(Qt::DisplayRole).toInt();
}

void CandidatesPane::Refresh() {
  const QSignalBlocker quiet(table_);
  table_->setSortingEnabled(false);
  table_->setRowCount(static_cast<int>(ws_.Candidates.size()));
  for (int r = 0; r < static_cast<int>(ws_.Candidates.size()); ++r) {
    const Candidate& c = ws_.Candidates[static_cast<std::size_t>(r)];
    const std::uint8_t mark = c.Id <= ws_.Series.Stats.size() ? ws_.Series.Stats[c.Id - 1u].Mark : 0;
    table_->setItem(r, 0, NumberItem(c.Id, -1));
    table_->setItem(r, 1, NumberItem(c.Mag, 3));
    table_->setItem(r, 2, NumberItem(c.Score, 1));
    auto* index = new QTableWidgetItem(QString::fromLatin1(CandidateIndexName(c.Index)));
    index->setFlags(index->flags() & ~Qt::ItemIsEditable);
    table_->setItem(r, 3, index);
    table_->setItem(r, 4, NumberItem(c.N, -1));
    auto* marked = new QTableWidgetItem(MarkText(mark));
    marked->setFlags(marked->flags() & ~Qt::ItemIsEditable);
    table_->setItem(r, 5, marked);
  }
  table_->setSortingEnabled(true);
  table_->resizeColumnsToContents();
}

} // namespace morvik
