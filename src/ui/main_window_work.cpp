// The main window beyond its original menus: Edit > Undo / Redo of deletions and marks,
// View > Fit to Corrected Points, File > Quit, Help, and the status bar's sentence on
// what each command did.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <cmath>

#include "common/capacities.hpp"
#include "common/files.hpp"
#include "periods/robust_range.hpp"
#include "session/session_file.hpp"
#include "ui/chart_view.hpp"
#include "ui/ensemble_panes.hpp"
#include "ui/log_pane.hpp"
#include "ui/main_window.hpp"
#include "ui/mark_legend.hpp"
#include "ui/picture_view.hpp"
#include "workspace/candidate_commands.hpp"
#include "workspace/frame_commands.hpp"
#include "workspace/period_commands.hpp"
#include "workspace/run_commands.hpp"
#include "workspace/search_commands.hpp"

namespace morvik {
namespace {

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QAction* AddWorkItem(QMenu* menu, const char* name, const char* text, const QKeySequence& shortcut = {}) {
  QAction* action = menu->addAction(QString::fromLatin1(text));
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  return action;
}

QString FileNameOf(const std::string& path) { return QFileInfo(QFile::decodeName(path.c_str())).fileName(); }

} // namespace

void MainWindow::BuildWorkMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = nullptr;
  QMenu* view = nullptr;
  for (QAction* a : bar->actions()) {
    if (a->menu() == nullptr) continue;
    if (a->text() == QStringLiteral("File")) file = a->menu();
    if (a->text() == QStringLiteral("View")) view = a->menu();
  }

  file->addSeparator();
  BuildSessionMenus(file);
  BuildExportMenus(file);
  file->addSeparator();
  menuQuit = AddWorkItem(file, "menuQuit", "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(menuQuit, &QAction::triggered, this, &QWidget::close);

  // Edit goes right after File, where users look for it; the original entries keep
  // their order.
  auto* edit = new QMenu(QStringLiteral("Edit"), bar);
  bar->insertMenu(menuRun, edit);
  menuUndo = AddWorkItem(edit, "menuUndo", "Undo", QKeySequence(Qt::CTRL | Qt::Key_Z));
  menuRedo = AddWorkItem(edit, "menuRedo", "Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  connect(menuUndo, &QAction::triggered, this, [this] { UndoRedo(true); });
  connect(menuRedo, &QAction::triggered, this, [this] { UndoRedo(false); });

  view->addSeparator();
  BuildZoomMenus(view);
  menuGoToStar = AddWorkItem(view, "menuGoToStar", "Go to Star...", QKeySequence(Qt::CTRL | Qt::Key_G));
  connect(menuGoToStar, &QAction::triggered, this, &MainWindow::GoToStar);
  menuFitCorrected = AddWorkItem(view, "menuFitCorrected", "Fit to Corrected Points");
  connect(menuFitCorrected, &QAction::triggered, this, &MainWindow::FitToCorrectedPoints);
  BuildChartMenus(view);

  QMenu* help = bar->addMenu(QStringLiteral("Help"));
  menuShortcuts = AddWorkItem(help, "menuShortcuts", "Keyboard Shortcuts", QKeySequence(Qt::Key_F1));
  menuMarkColours = AddWorkItem(help, "menuMarkColours", "Mark Colours");
  menuAbout = AddWorkItem(help, "menuAbout", "About");
  // What the circles and dots on the image mean.
  const QString legend =
      QStringLiteral("<b>Marks on the image</b><br>"
                     "<span style='color:#008000'>&#9675;</span> green circle: in the ensemble (after Run)<br>"
                     "<span style='color:#0000ff'>&#9675;</span> blue circle: not in the ensemble<br>"
                     "<span style='color:#ff0000'>&#9679;</span> red dot: marked as variable<br>"
                     "<span style='color:#808080'>&#9679;</span> grey dot: false alarm<br>"
                     "<span style='color:#c8b400'>&#9679;</span> yellow: the star picked on the chart");
  connect(menuMarkColours, &QAction::triggered, this, [this, legend] { dialogs.message(this, legend, false); });
  // The same colours on screen, in the status bar, while View asks for them.
  auto* markLegend = new MarkLegend;
  markLegend->setObjectName(QStringLiteral("MarkLegend"));
  markLegend->hide();
  statusBar()->addPermanentWidget(markLegend);
  menuMarkLegend = AddWorkItem(view, "menuMarkLegend", "Mark Colour Legend");
  menuMarkLegend->setCheckable(true);
  connect(menuMarkLegend, &QAction::toggled, markLegend, &QWidget::setVisible);
  connect(menuShortcuts, &QAction::triggered, this, &MainWindow::ShowShortcuts);
  connect(menuAbout, &QAction::triggered, this, [this] {
    dialogs.message(this,
                    QStringLiteral("%1\nEnsemble differential photometry, variability indices, light curves "
                                   "and period search for variable-star observers.")
                        .arg(QString::fromLatin1(kProgramTitle)),
                    false);
  });

  // The commands that do work, one click away; they keep their places on the menu bar.
  // They sit in the top row right of the contrast bar, so the pages keep their height.
  commandBar = new QToolBar(QStringLiteral("Commands"), tb1_->parentWidget());
  commandBar->setObjectName(QStringLiteral("CommandBar"));
  commandBar->setMovable(false);
  commandBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  commandBar->setIconSize(QSize(16, 16));
  commandBar->setStyleSheet(QStringLiteral("QToolBar { border: 0px; spacing: 2px; padding: 0px; }"
                                           "QToolButton { padding: 0px 6px; margin: 2px 0px; }"));
  commandBar->setGeometry(tb1_->geometry().right() + 12, 0, 600, tb1_->height());
  for (QAction* a : {menuOpen, menuRun, menuSearchVars, menuLK, menuContrast}) {
    commandBar->addAction(a);
    if (!a->shortcut().isEmpty())
      a->setToolTip(QString(a->text()).remove(QLatin1Char('&')) + QStringLiteral(" (") +
                    a->shortcut().toString(QKeySequence::NativeText) + QLatin1Char(')'));
  }

  feedback_ = new QLabel;
  feedback_->setObjectName(QStringLiteral("FeedbackPanel"));
  // Narrow enough to leave the status panels their room; the whole sentence is in
  // the tooltip.
  feedback_->setFixedWidth(340);
  feedback_->setFrameShape(QFrame::StyledPanel);
  statusBar()->addPermanentWidget(feedback_);
}

void MainWindow::ShowFeedback(const QString& text) {
  feedback_->setText(text);
  feedback_->setToolTip(text);
}

void MainWindow::ShowShortcuts() {
  QStringList lines;
  std::function<void(const QList<QAction*>&)> collect = [&](const QList<QAction*>& actions) {
    for (QAction* a : actions) {
      if (a->menu() != nullptr) collect(a->menu()->actions());
      if (!a->shortcut().isEmpty() && a->isVisible())
        lines << a->shortcut().toString(QKeySequence::NativeText) + QStringLiteral("\t") +
                     QString(a->text()).remove(QLatin1Char('&'));
    }
  };
  collect(menuBar()->actions());
  dialogs.message(this, QStringLiteral("Keyboard shortcuts\n\n") + lines.join(QLatin1Char('\n')), false);
}

// --- Commands that say what they did ---

void MainWindow::RunClick() {
  const std::int32_t before = ws_->RunCount;
  RunCommand(true, [&] { Run(*ws_); });
  AfterRun();
  if (ws_->RunCount == before) return;
  int used = 0;
  for (const TStarStat& st : ws_->Series.Stats)
    used += st.Used ? 1 : 0;
  ShowFeedback(QStringLiteral("Run: %1 of %2 stars in the ensemble, comparison #%3")
                   .arg(used)
                   .arg(ws_->Series.StarCount)
                   .arg(ws_->CompStarId));
}

void MainWindow::SearchVariablesClick() {
  if (ws_->Series.StarCount == 0) {
    // Nothing to compute: say so instead of reporting statistics of nothing.
    ShowFeedback(QStringLiteral("Search Variables: nothing is open (File > Open a frame with its table)"));
    return;
  }
  RunCommand(true, [&] { SearchVariables(*ws_, true); });
  candidates_->Refresh();
  if (ws_->Series.HasStats() && ws_->SearchCount > 0)
    ShowFeedback(QStringLiteral("Search Variables: %1 stars on the chart")
                     .arg(ws_->VarChart.series.empty() ? 0 : ws_->VarChart.series[kSeries1].Count()));
}

void MainWindow::AfterOpen(const QString& path) {
  if (!ws_->CurrentFrame || ws_->FramePath != QFile::encodeName(path).toStdString()) {
    // The table open before stays, and so do its undo steps and what it was as read.
    ShowFeedback(QStringLiteral("Nothing opened: %1 was not read").arg(QFileInfo(path).fileName()));
    return;
  }
  undo_.Clear();
  SyncUndoMenu();
  validAsRead_ = ValidityOf(ws_->Series);
  const CompanionFiles companions = CompanionPaths(ws_->FramePath);
  const QString frame = FileNameOf(ws_->FramePath);
  QStringList missing;
  if (!FileExists(companions.table)) missing << FileNameOf(companions.table);
  if (!FileExists(companions.catalog)) missing << FileNameOf(companions.catalog);
  if (!missing.isEmpty()) {
    ShowFeedback(
        QStringLiteral("No %1 beside %2: only the frame is shown").arg(missing.join(QStringLiteral(" or ")), frame));
    return;
  }
  ShowFeedback(QStringLiteral("Opened %1: %2 stars in %3 frames")
                   .arg(frame)
                   .arg(ws_->Series.StarCount)
                   .arg(ws_->Series.Rows.size()));
  OfferSession();
}

void MainWindow::ShowImageFromTopLeft() {
  // A new picture starts at its top left corner: the bars and the picture's place
  // must agree, or dragging a bar shows the wrong part of the frame.
  scrollBox_->horizontalScrollBar()->setValue(0);
  scrollBox_->verticalScrollBar()->setValue(0);
  img_->move(0, 0);
}

QString MainWindow::StarTitle(int id) const {
  QString role;
  if (id == ws_->CompStarId) role = QStringLiteral("the comparison star");
  if (ws_->Series.HasStats() && id >= 1 && static_cast<std::size_t>(id) <= ws_->Series.Stats.size()) {
    const TStarStat& st = ws_->Series.Stats[static_cast<std::size_t>(id - 1)];
    if (role.isEmpty() && st.Mark == kMarkVariable) role = QStringLiteral("marked variable");
    if (role.isEmpty() && st.Mark == kMarkFalseAlarm) role = QStringLiteral("a false alarm");
    if (role.isEmpty() && st.Used) role = QStringLiteral("in the ensemble");
    if (role.isEmpty() && ws_->RunCount >= 1) role = QStringLiteral("not in the ensemble");
  }
  return QStringLiteral("Star #%1").arg(id) + (role.isEmpty() ? QString() : QStringLiteral(": ") + role);
}

void MainWindow::LaflerKinmanClick() {
  RunCommand(true, [&] { LaflerKinmanCommand(*ws_); });
  const int id = ws_->PickedStar;
  if (id < 1 || static_cast<std::size_t>(id) > ws_->Periodograms.size()) return;
  const TPeriodogram& p = ws_->Periodograms[static_cast<std::size_t>(id - 1)];
  const std::size_t n = std::min(p.Freq.size(), p.Theta.size());
  if (!p.Computed || n == 0) return;
  const auto best = static_cast<std::size_t>(
      std::min_element(p.Theta.begin(), p.Theta.begin() + static_cast<std::ptrdiff_t>(n)) - p.Theta.begin());
  if (!(p.Freq[best] > 0.0)) return;
  ShowFeedback(QStringLiteral("Lafler-Kinman: star #%1, lowest theta at period %2 d (written to star%3.per)")
                   .arg(id)
                   .arg(1.0 / p.Freq[best], 0, 'f', 5)
                   .arg(id - 1));
}

void MainWindow::ContrastClick() {
  RunCommand(true, [&] { ApplyContrast(*ws_); });
  if (ws_->CurrentFrame) ShowFeedback(QStringLiteral("Contrast level %1 applied").arg(ws_->settings.ContrastLevel));
}

// --- Finding a star ---

void MainWindow::ScrollToStar(int id) {
  if (!ws_->CurrentFrame || id < 1 || id > kCatalogSize) return;
  const TCatalogStar& c = ws_->Catalog[id];
  if (!std::isfinite(c.X) || !std::isfinite(c.Y)) return;
  const QPoint at = img_->ToScreen(QPoint(static_cast<int>(std::lround(std::clamp(c.X, 0.0, 1e6))) - 1,
                                          static_cast<int>(std::lround(std::clamp(c.Y, 0.0, 1e6))) - 1));
  scrollBox_->ensureVisible(at.x(), at.y(), scrollBox_->viewport()->width() / 3, scrollBox_->viewport()->height() / 3);
}

void MainWindow::GoToStar() {
  if (!ws_->CurrentFrame || ws_->Series.StarCount == 0) {
    ShowFeedback(QStringLiteral("Go to Star: no table is open"));
    return;
  }
  const QString answer = dialogs.inputText(this, QStringLiteral("Go to Star"),
                                           QStringLiteral("Star number (1 to %1):").arg(ws_->Series.StarCount),
                                           QString::number(std::max(ws_->PickedStar, 1)));
  bool ok = false;
  const int id = answer.trimmed().toInt(&ok);
  if (!ok || id < 1 || id > static_cast<int>(ws_->Series.StarCount)) {
    ShowFeedback(QStringLiteral("Go to Star: no star \"%1\" in this table").arg(answer));
    return;
  }
  ws_->PickedStar = id;
  ws_->SelectedStar = static_cast<std::uint16_t>(id - 1);
  ShowPage(kPageView);
  ScrollToStar(id);
  const TCatalogStar& c = ws_->Catalog[id];
  const QString title = StarTitle(id);
  const qsizetype role = title.indexOf(QLatin1Char(':'));
  ShowFeedback(QStringLiteral("Star #%1 at (%2, %3)%4")
                   .arg(id)
                   .arg(c.X, 0, 'f', 1)
                   .arg(c.Y, 0, 'f', 1)
                   .arg(role < 0 ? QString() : title.mid(role)));
  ws_->hooks->VarChartChanged();
}

// --- Undo ---

void MainWindow::RecordEdit(const char* name, const std::function<void()>& command) {
  const EditProbe probe(ws_->Series, ws_->SelectedRow);
  command();
  Edit edit = probe.Since(ws_->Series, name);
  if (edit.Empty()) return;
  const QString what = Text(DescribeEdit(edit));
  if (!edit.valid.empty()) ws_->log.Add(DescribeEdit(edit));
  undo_.Record(std::move(edit));
  log_->Flush();
  ShowFeedback(what + QStringLiteral(" (Ctrl+Z undoes)"));
  SyncUndoMenu();
}

void MainWindow::UndoRedo(bool undo) {
  const Edit edit = undo ? undo_.Undo(ws_->Series) : undo_.Redo(ws_->Series);
  if (edit.Empty()) {
    ShowFeedback(undo ? QStringLiteral("Nothing to undo") : QStringLiteral("Nothing to redo"));
    SyncUndoMenu();
    return;
  }
  ws_->log.Add((undo ? "Undone: " : "Redone: ") + DescribeEdit(edit));
  RunCommand(false, [&] { RefreshAfterEdit(*ws_); });
  ShowFeedback((undo ? QStringLiteral("Undone: ") : QStringLiteral("Redone: ")) + Text(DescribeEdit(edit)) +
               QStringLiteral("; Run again for new statistics"));
}

void MainWindow::SyncUndoMenu() {
  if (menuUndo == nullptr) return;
  menuUndo->setEnabled(undo_.CanUndo());
  menuRedo->setEnabled(undo_.CanRedo());
  menuUndo->setText(undo_.CanUndo() ? QStringLiteral("Undo ") + Text(undo_.UndoName()) : QStringLiteral("Undo"));
  menuRedo->setText(undo_.CanRedo() ? QStringLiteral("Redo ") + Text(undo_.RedoName()) : QStringLiteral("Redo"));
}

// --- Light curve ---

void MainWindow::FitToCorrectedPoints() {
  if (ws_->LightCurveShowsPeriodogram || ws_->LightCurve.series.size() <= kSeriesRun) return;
  const auto fit = FitToSeries(ws_->LightCurve.series[kSeriesRun]);
  if (!fit) {
    ShowFeedback(QStringLiteral("Fit to Corrected Points: no light curve is shown"));
    return;
  }
  ShowPage(kPageLightCurve);
  chart2_->ZoomTo({fit->x.min, fit->x.max}, {fit->y.min, fit->y.max});
  ShowFeedback(QStringLiteral("Light curve fitted to its corrected points (Ctrl+A shows all)"));
}

} // namespace morvik
