#include "ui/dialogs.hpp"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>

namespace morvik {
namespace {

QString ChooseFile(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& start) {
  QFileDialog dialog(parent, caption);
  // Opening tests the chosen name itself (a missing file is not an error), and saving
  // accepts a name that does not exist yet: both accept any name.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(kind == FileDialogKind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  // The save commands ask their own replace question; the dialog must not ask first.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  // Beside the program's own frames, those of cameras and pipelines (extensions,
  // tile-compressed and gzipped files) that Open reads through cfitsio.
  dialog.setNameFilters({QStringLiteral("FITS frames (*.fit *.fts)"),
                         QStringLiteral("Camera frames (*.fit *.fits *.fts *.fz *.gz)"),
                         QStringLiteral("All files (*)")});
  if (kind == FileDialogKind::Save) dialog.selectNameFilter(QStringLiteral("All files (*)"));
  const QFileInfo info(start);
  if (!start.isEmpty() && info.dir().exists() && start.contains(QLatin1Char('/'))) dialog.setDirectory(info.dir());
  dialog.selectFile(start.contains(QLatin1Char('/')) ? info.fileName() : start);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.front();
}

QString InputText(QWidget* parent, const QString& caption, const QString& prompt, const QString& proposed) {
  bool ok = false;
  const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, proposed, &ok);
  return ok ? text : proposed;
}

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void Message(QWidget* parent, const QString& text, bool error) {
  if (error)
    QMessageBox::critical(parent, QString::fromLatin1(kProgramTitle), text);
  else
    QMessageBox::information(parent, QString::fromLatin1(kProgramTitle), text);
}

QAction* Popup(QMenu& menu, const QPoint& globalPos) { return menu.exec(globalPos); }

} // namespace

Dialogs DefaultDialogs() { return Dialogs{ChooseFile, InputText, AskYesNo, Message, Popup}; }

} // namespace morvik
