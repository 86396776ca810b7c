#pragma once
// File > New Field from Frames...: chooses frames and where the field goes, runs the
// reduction on a worker thread with a progress bar and Cancel, and hands the new
// field's frame back to the main window, which opens it.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace morvik {

class NewFieldDialog : public QDialog {
  Q_OBJECT
public:
  explicit NewFieldDialog(QWidget* parent = nullptr);
  ~NewFieldDialog() override;

  void SetFrames(const QStringList& paths);
  void SetOutput(const QString& base); // DIR/NAME
  bool Running() const { return worker_.joinable(); }
  // DIR/NAME.fts of the field written (after the dialog was accepted).
  QString FieldPath() const { return fieldPath_; }
  QString StatusText() const;

  QPushButton* startButton() const { return start_; }
  QPushButton* cancelButton() const { return cancelButton_; }
  QProgressBar* progressBar() const { return progress_; }

signals:
  void progressed(int done, int total);

private:
  void AddFrames();
  void ChooseOutput();
  void Start();
  void CancelOrClose();
  void OnProgress(int done, int total, long long step);
  void OnFinished(bool ok, bool cancelled, const QString& message);
  void SyncButtons();
  void reject() override;

  QListWidget* frames_ = nullptr;
  QLineEdit* out_ = nullptr;
  QComboBox* time_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QStringList paths_;
  QString fieldPath_;

  // The worker waits after each progress report until the window has shown it, so the
  // bar never lags behind and Cancel always lands before the next frame.
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  std::mutex lock_;
  std::condition_variable shown_;
  long long posted_ = 0;
  long long acknowledged_ = 0;
};

} // namespace morvik
