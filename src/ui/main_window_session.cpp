// The main window's session commands: File > Save Session, the offer to restore a
// session found beside an opened frame, recent files, and what is kept between runs.

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSlider>

#include "common/files.hpp"
#include "common/format.hpp"
#include "session/session_file.hpp"
#include "ui/log_pane.hpp"
#include "ui/main_window.hpp"
#include "ui/settings_page.hpp"
#include "ui/settings_store.hpp"
#include "workspace/search_commands.hpp"

namespace morvik {
namespace {

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Session files are small; one a hundred times larger than any real one is no session.
constexpr qint64 kMaxSessionBytes = 64 * 1024 * 1024;

} // namespace

void MainWindow::BuildSessionMenus(QMenu* file) {
  menuSaveSession = file->addAction(QStringLiteral("Save Session"));
  menuSaveSession->setObjectName(QStringLiteral("menuSaveSession"));
  menuSaveSession->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  connect(menuSaveSession, &QAction::triggered, this, [this] { SaveSession(); });
  recentMenu = file->addMenu(QStringLiteral("Recent Files"));
  recentMenu->setObjectName(QStringLiteral("menuRecent"));
  FillRecentMenu();
}

void MainWindow::UseSettingsStore(std::unique_ptr<QSettings> store) {
  store_ = std::move(store);
  if (store_) RestoreDesktopState(*store_, *settings_, *this);
  FillRecentMenu();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (store_) {
    SaveDesktopState(*store_, *settings_, *this);
    store_->sync();
  }
  QMainWindow::closeEvent(event);
}

void MainWindow::FillRecentMenu() {
  if (recentMenu == nullptr) return;
  recentMenu->clear();
  const QStringList files = store_ ? RecentFiles(*store_) : QStringList();
  recentMenu->setEnabled(!files.isEmpty());
  for (const QString& f : files) {
    QAction* a = recentMenu->addAction(QFileInfo(f).fileName());
    a->setToolTip(f);
    connect(a, &QAction::triggered, this, [this, f] {
      lastFileName_ = f;
      OpenPath(f);
    });
  }
}

bool MainWindow::SaveSession() {
  if (!ws_->CurrentFrame || ws_->Series.StarCount == 0) {
    ShowFeedback(QStringLiteral("Save Session: no table is open"));
    return false;
  }
  FillSettings();
  const std::string path = SessionPath(ws_->FramePath);
  const std::string text = WriteSession(CaptureSession(*ws_, validAsRead_));
  if (!WriteFileReplacing(path, text)) {
    ws_->log.Add("Could not write " + path);
    log_->Flush();
    ShowFeedback(QStringLiteral("Save Session: could not write %1").arg(QFile::decodeName(path.c_str())));
    return false;
  }
  ws_->log.Add("Session written to " + path);
  log_->Flush();
  ShowFeedback(QStringLiteral("Session saved to %1").arg(QFileInfo(QFile::decodeName(path.c_str())).fileName()));
  return true;
}

void MainWindow::OfferSession() {
  if (store_) {
    AddRecentFile(*store_, QFile::decodeName(ws_->FramePath.c_str()));
    FillRecentMenu();
  }
  const QString path = QFile::decodeName(SessionPath(ws_->FramePath).c_str());
  if (!QFileInfo::exists(path)) return;
  if (!dialogs.askYesNo(this, QStringLiteral("Restore Session"),
                        QStringLiteral("A saved session lies beside this frame:\n%1\nRestore its comparison star, "
                                       "deletions, marks and settings?")
                            .arg(path)))
    return;
  RestoreSession(path);
}

bool MainWindow::RestoreSession(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSessionBytes) {
    dialogs.message(this, QStringLiteral("Cannot read the session file %1").arg(path), true);
    return false;
  }
  const QByteArray bytes = file.readAll();
  const SessionRead read = ReadSession(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!read.session) {
    dialogs.message(this,
                    QStringLiteral("%1 is no session this program can restore (%2). Nothing was restored.")
                        .arg(QFileInfo(path).fileName(), Text(read.error)),
                    true);
    return false;
  }
  const SessionData& s = *read.session;
  const std::string mismatch = SessionMismatch(s, *ws_);
  if (!mismatch.empty()) {
    dialogs.message(this, Text(mismatch), true);
    return false;
  }
  ApplySession(*ws_, s);
  ShowSettings(*settings_, ws_->settings);
  tb1_->setValue(ws_->settings.ContrastLevel);
  settings_->edKOEFINDSIGM4GAPH->setText(Text(FormatGeneral(s.starSigmaFactor)));
  settings_->edKOEFINDSIGM4GAPHALL->setText(Text(FormatGeneral(s.dataSigmaFactor)));
  undo_.Clear();
  ws_->log.Add("Session restored from " + QFile::encodeName(path).toStdString() + ": " +
               std::to_string(s.deleted.size()) + " deletions, " + std::to_string(s.marks.size()) + " marks");
  for (const auto& [id, days] : s.periods)
    ws_->log.Add("Period of star #" + std::to_string(id) + " restored: " + FormatGeneral(days) + " d");
  if (s.comparison > 0) RunClick();
  SyncMenus();
  ShowFeedback(QStringLiteral("Session restored: comparison #%1, %2 deletions, %3 marks")
                   .arg(s.comparison)
                   .arg(s.deleted.size())
                   .arg(s.marks.size()));
  return true;
}

} // namespace morvik
