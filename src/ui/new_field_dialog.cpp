#include "ui/new_field_dialog.hpp"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "reduction/reduce.hpp"

namespace morvik {

NewFieldDialog::NewFieldDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("New Field from Frames"));
  setObjectName(QStringLiteral("NewFieldDialog"));
  auto* column = new QVBoxLayout(this);

  frames_ = new QListWidget;
  frames_->setObjectName(QStringLiteral("lstFrames"));
  add_ = new QPushButton(QStringLiteral("Add Frames..."));
  auto* clear = new QPushButton(QStringLiteral("Clear"));
  auto* frameButtons = new QHBoxLayout;
  frameButtons->addWidget(add_);
  frameButtons->addWidget(clear);
  frameButtons->addStretch();
  column->addWidget(new QLabel(QStringLiteral("Frames of one field:")));
  column->addWidget(frames_);
  column->addLayout(frameButtons);

  auto* form = new QFormLayout;
  out_ = new QLineEdit;
  out_->setObjectName(QStringLiteral("edFieldName"));
  out_->setPlaceholderText(QStringLiteral("folder/name: writes name.fts, name.dat, name.xml"));
  auto* browse = new QPushButton(QStringLiteral("..."));
  auto* outRow = new QHBoxLayout;
  outRow->addWidget(out_);
  outRow->addWidget(browse);
  form->addRow(QStringLiteral("New field:"), outRow);
  time_ = new QComboBox;
  time_->setObjectName(QStringLiteral("cbTimeSystem"));
  time_->addItems({QStringLiteral("JD (UTC)"), QStringLiteral("HJD (UTC)"), QStringLiteral("BJD (TDB)")});
  form->addRow(QStringLiteral("Times:"), time_);
  column->addLayout(form);

  progress_ = new QProgressBar;
  progress_->setObjectName(QStringLiteral("pbFrames"));
  progress_->setRange(0, 1);
  progress_->setValue(0);
  status_ = new QLabel(QStringLiteral("Choose the frames and the new field's name."));
  status_->setObjectName(QStringLiteral("lblStatus"));
  status_->setWordWrap(true);
  column->addWidget(progress_);
  column->addWidget(status_);

  start_ = new QPushButton(QStringLiteral("Start"));
  start_->setObjectName(QStringLiteral("btnStart"));
  cancelButton_ = new QPushButton(QStringLiteral("Close"));
  cancelButton_->setObjectName(QStringLiteral("btnCancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(start_);
  buttons->addWidget(cancelButton_);
  column->addLayout(buttons);

  connect(add_, &QPushButton::clicked, this, &NewFieldDialog::AddFrames);
  connect(clear, &QPushButton::clicked, this, [this] { SetFrames({}); });
  connect(browse, &QPushButton::clicked, this, &NewFieldDialog::ChooseOutput);
  connect(start_, &QPushButton::clicked, this, &NewFieldDialog::Start);
  connect(cancelButton_, &QPushButton::clicked, this, &NewFieldDialog::CancelOrClose);
  connect(out_, &QLineEdit::textChanged, this, &NewFieldDialog::SyncButtons);
  resize(520, 420);
  SyncButtons();
}

NewFieldDialog::~NewFieldDialog() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    cancel_ = true;
  }
  shown_.notify_all();
  worker_.join();
}

void NewFieldDialog::SetFrames(const QStringList& paths) {
  paths_ = paths;
  frames_->clear();
  for (const QString& p : paths_)
    frames_->addItem(QFileInfo(p).fileName());
  status_->setText(QStringLiteral("%1 frames chosen.").arg(paths_.size()));
  SyncButtons();
}

void NewFieldDialog::SetOutput(const QString& base) { out_->setText(base); }

QString NewFieldDialog::StatusText() const { return status_->text(); }

void NewFieldDialog::AddFrames() {
  const QStringList chosen =
      QFileDialog::getOpenFileNames(this, QStringLiteral("Frames"), QString(),
                                    QStringLiteral("FITS frames (*.fit *.fits *.fts *.fz *.gz);;All files (*)"));
  if (!chosen.isEmpty()) SetFrames(paths_ + chosen);
}

void NewFieldDialog::ChooseOutput() {
  const QString chosen =
      QFileDialog::getSaveFileName(this, QStringLiteral("New field"), out_->text(), QStringLiteral("Field (*.fts)"));
  if (chosen.isEmpty()) return;
  QString base = chosen;
  if (base.endsWith(QStringLiteral(".fts"), Qt::CaseInsensitive)) base.chop(4);
  out_->setText(base);
}

void NewFieldDialog::SyncButtons() {
  const bool running = Running();
  start_->setEnabled(!running && paths_.size() >= 2 && !out_->text().trimmed().isEmpty());
  add_->setEnabled(!running);
  frames_->setEnabled(!running);
  out_->setEnabled(!running);
  time_->setEnabled(!running);
  cancelButton_->setText(running ? QStringLiteral("Cancel") : QStringLiteral("Close"));
}

void NewFieldDialog::Start() {
  if (Running() || paths_.size() < 2 || out_->text().trimmed().isEmpty()) return;
  reduction::ReduceSettings s;
  for (const QString& p : paths_)
    s.frames.push_back(QFile::encodeName(p).toStdString());
  s.out = QFile::encodeName(QDir::cleanPath(out_->text().trimmed())).toStdString();
  s.system = static_cast<reduction::TimeSystem>(time_->currentIndex());
  cancel_ = false;
  posted_ = acknowledged_ = 0;
  fieldPath_.clear();
  progress_->setRange(0, static_cast<int>(paths_.size()));
  progress_->setValue(0);
  status_->setText(QStringLiteral("Choosing the reference frame..."));
  worker_ = std::thread([this, s] {
    auto report = [this](int done, int total) {
      std::unique_lock<std::mutex> guard(lock_);
      if (cancel_) return;
      const long long step = ++posted_;
      QMetaObject::invokeMethod(
          this, [this, done, total, step] { OnProgress(done, total, step); }, Qt::QueuedConnection);
      shown_.wait(guard, [&] { return acknowledged_ >= step || cancel_.load(); });
    };
    const reduction::ReduceResult r = reduction::Reduce(s, report, cancel_);
    const QString message = QString::fromStdString(r.ok ? std::string() : r.error);
    QMetaObject::invokeMethod(
        this, [this, ok = r.ok, cancelled = r.cancelled, message] { OnFinished(ok, cancelled, message); },
        Qt::QueuedConnection);
  });
  SyncButtons();
}

void NewFieldDialog::OnProgress(int done, int total, long long step) {
  progress_->setValue(done);
  status_->setText(QStringLiteral("Measured %1 of %2 frames.").arg(done).arg(total));
  emit progressed(done, total);
  {
    std::lock_guard<std::mutex> guard(lock_);
    acknowledged_ = std::max(acknowledged_, step);
  }
  shown_.notify_all();
}

void NewFieldDialog::OnFinished(bool ok, bool cancelled, const QString& message) {
  if (worker_.joinable()) worker_.join();
  SyncButtons();
  if (ok) {
    fieldPath_ = QDir::cleanPath(out_->text().trimmed()) + QStringLiteral(".fts");
    status_->setText(QStringLiteral("Field written: ") + fieldPath_);
    accept();
    return;
  }
  progress_->setValue(0);
  status_->setText(cancelled ? QStringLiteral("Cancelled; nothing was written.") : message);
}

void NewFieldDialog::CancelOrClose() {
  if (!Running()) {
    QDialog::reject();
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    cancel_ = true;
  }
  shown_.notify_all();
  status_->setText(QStringLiteral("Cancelling after the frames being measured..."));
}

void NewFieldDialog::reject() {
  // Escape or the window's close button while running cancels first.
  if (Running()) {
    CancelOrClose();
    return;
  }
  QDialog::reject();
}

} // namespace morvik
