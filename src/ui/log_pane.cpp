#include "ui/log_pane.hpp"

#include <QFontDatabase>
#include <QTimer>

namespace morvik {

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void LogPane::Add(std::string_view message) {
  const bool debug = debug_ ? debug_() : true;
  if (!LogShows(message, debug)) return;
  pending_.append(QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())));
  if (!flushQueued_) {
    flushQueued_ = true;
    QTimer::singleShot(0, this, &LogPane::Flush);
  }
}

void LogPane::Flush() {
  flushQueued_ = false;
  if (pending_.isEmpty()) return;
  appendPlainText(pending_.join(QLatin1Char('\n')));
  pending_.clear();
}

void LogPane::Clear() {
  pending_.clear();
  clear();
}

QStringList LogPane::Lines() {
  Flush();
  if (document()->isEmpty()) return {};
  return toPlainText().split(QLatin1Char('\n'));
}

} // namespace morvik
