#pragma once
// The log pane of the View page: a read-only text pane that shows the program's
// messages under the "debug" filter.

#include <QPlainTextEdit>
#include <QStringList>
#include <functional>
#include <string_view>

#include "common/log.hpp"

namespace morvik {

class LogPane : public QPlainTextEdit, public Log {
  Q_OBJECT
public:
  explicit LogPane(QWidget* parent = nullptr);

  // Where the state of the "debug" box comes from (ticked when not set).
  void SetDebugSource(std::function<bool()> debug) { debug_ = std::move(debug); }

  void Add(std::string_view message) override;
  void Clear() override;

  // Every line shown so far, including lines not yet painted.
  QStringList Lines();

  // Shows the lines collected since the last flush. A command may log thousands of
  // lines; appending them in one block keeps the pane fast.
  void Flush();

private:
  std::function<bool()> debug_;
  QStringList pending_;
  bool flushQueued_ = false;
};

} // namespace morvik
