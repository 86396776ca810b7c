// The main window beyond its specified menus: Edit > Undo / Redo of deletions and marks,
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
#include <QStatusBar>

#include "common/files.hpp"
#include "periods/robust_range.hpp"
#include "session/session_file.hpp"
#include "ui/chart_view.hpp"
#include "ui/log_pane.hpp"
#include "ui/main_window.hpp"
#include "ui/picture_view.hpp"
#include "workspace/frame_commands.hpp"
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
  file->addSeparator();
  menuQuit = AddWorkItem(file, "menuQuit", "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(menuQuit, &QAction::triggered, this, &QWidget::close);

  // Edit goes right after File, where users look for it; the specified entries keep
  // their order.
  auto* edit = new QMenu(QStringLiteral("Edit"), bar);
  bar->insertMenu(menuRun, edit);
  menuUndo = AddWorkItem(edit, "menuUndo", "Undo", QKeySequence(Qt::CTRL | Qt::Key_Z));
  menuRedo = AddWorkItem(edit, "menuRedo", "Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  connect(menuUndo, &QAction::triggered, this, [this] { UndoRedo(true); });
  connect(menuRedo, &QAction::triggered, this, [this] { UndoRedo(false); });

  view->addSeparator();
  menuFitCorrected = AddWorkItem(view, "menuFitCorrected", "Fit to Corrected Points");
  connect(menuFitCorrected, &QAction::triggered, this, &MainWindow::FitToCorrectedPoints);

  QMenu* help = bar->addMenu(QStringLiteral("Help"));
  menuShortcuts = AddWorkItem(help, "menuShortcuts", "Keyboard Shortcuts", QKeySequence(Qt::Key_F1));
  menuAbout = AddWorkItem(help, "menuAbout", "About");
  connect(menuShortcuts, &QAction::triggered, this, &MainWindow::ShowShortcuts);
  connect(menuAbout, &QAction::triggered, this, [this] {
    dialogs.message(this,
                    QStringLiteral("%1\nEnsemble differential photometry, variability indices, light curves "
                                   "and period search for variable-star observers.")
                        .arg(QString::fromLatin1(kProgramTitle)),
                    false);
  });

  feedback_ = new QLabel;
  feedback_->setObjectName(QStringLiteral("FeedbackPanel"));
  // Narrow enough to leave the specified panels their room; the whole sentence is in
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
  RunCommand(true, [&] { SearchVariables(*ws_); });
  if (ws_->Series.HasStats() && ws_->SearchCount > 0)
    ShowFeedback(QStringLiteral("Search Variables: %1 stars on the chart")
                     .arg(ws_->VarChart.series.empty() ? 0 : ws_->VarChart.series[kSeries1].Count()));
}

void MainWindow::AfterOpen(const QString& path) {
  undo_.Clear();
  SyncUndoMenu();
  validAsRead_ = ValidityOf(ws_->Series);
  if (!ws_->CurrentFrame || ws_->FramePath != QFile::encodeName(path).toStdString()) {
    ShowFeedback(QStringLiteral("Nothing opened: %1 was not read").arg(QFileInfo(path).fileName()));
    return;
  }
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
