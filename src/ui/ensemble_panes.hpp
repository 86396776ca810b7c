#pragma once
// The desktop's view of the ensemble check and of the candidates: a warning strip the
// observer can dismiss, and the Candidates pane with its sortable table.

#include <QFrame>
#include <QWidget>
#include <functional>

#include "workspace/workspace.hpp"

class QLabel;
class QPushButton;
class QTableWidget;

namespace morvik {

class EnsembleWarning : public QFrame {
  Q_OBJECT
public:
  explicit EnsembleWarning(QWidget* parent = nullptr);
  // Shows the text, or hides the strip when it is empty.
  void ShowText(const QString& text);
  QLabel* label() const { return label_; }
  QPushButton* dismissButton() const { return dismiss_; }

private:
  QLabel* label_;
  QPushButton* dismiss_;
};

class CandidatesPane : public QWidget {
  Q_OBJECT
public:
  // run carries out an action as a command of the main window (settings, errors).
  using Runner = std::function<void(const std::function<void()>&)>;
  CandidatesPane(Workspace& ws, Runner run, QWidget* parent = nullptr);

  // Fills the table from Workspace::Candidates.
  void Refresh();
  // Called with the star id after a click has selected it (the window scrolls to it).
  std::function<void(int)> onSelected;
  QTableWidget* table() const { return table_; }
  QPushButton* lightCurveButton() const { return showCurve_; }
  QPushButton* variableButton() const { return markVariable_; }
  QPushButton* falseAlarmButton() const { return falseAlarm_; }

private:
  int CurrentId() const; // star id of the selected row, 0 for none
  Workspace& ws_;
  Runner run_;
  QTableWidget* table_;
  QPushButton* showCurve_;
  QPushButton* markVariable_;
  QPushButton* falseAlarm_;
};

} // namespace morvik
