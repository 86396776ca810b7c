#pragma once
// Helpers for the window tests: scripted answers to the modal pieces, mouse events
// sent the way the window system sends them, and a generated sample field.

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <QTextStream>
#include <optional>
#include <vector>

#include "ui/dialogs.hpp"
#include "ui/main_window.hpp"

namespace morvik::test {

// Records every modal question and answers it from the script.
struct Script {
  // File dialog: answers in order; an empty answer cancels.
  QStringList fileAnswers;
  QList<FileDialogKind> fileKinds;
  QStringList fileStarts;
  // Input box: the typed answer, or none for a cancelled box.
  std::optional<QString> inputAnswer;
  QStringList inputCaptions, inputPrompts, inputProposed;
  // Yes/No box.
  bool answerYes = true;
  QStringList questionCaptions, questionTexts;
  // Message boxes: text and whether it was an error box.
  QList<QPair<QString, bool>> messages;
  bool busyDuringBox = false; // the wait cursor was still shown over a message box
  // Popup menus: the item to choose (empty: close the menu without a choice).
  QString popupChoice;
  int popups = 0;
  QStringList lastPopupItems;
  QString lastPopupTitle;
  QList<bool> lastPopupEnabled;

  void Install(MainWindow& w) {
    w.dialogs.chooseFile = [this](QWidget*, FileDialogKind kind, const QString&, const QString& start) {
      fileKinds.append(kind);
      fileStarts.append(start);
      return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    };
    w.dialogs.inputText = [this](QWidget*, const QString& caption, const QString& prompt, const QString& proposed) {
      inputCaptions.append(caption);
      inputPrompts.append(prompt);
      inputProposed.append(proposed);
      return inputAnswer ? *inputAnswer : proposed;
    };
    w.dialogs.askYesNo = [this](QWidget*, const QString& caption, const QString& text) {
      questionCaptions.append(caption);
      questionTexts.append(text);
      return answerYes;
    };
    w.dialogs.message = [this](QWidget*, const QString& text, bool error) {
      messages.append({text, error});
      if (QApplication::overrideCursor() != nullptr) busyDuringBox = true;
    };
    w.dialogs.popup = [this](QMenu& menu, const QPoint&) -> QAction* {
      ++popups;
      lastPopupItems.clear();
      lastPopupEnabled.clear();
      QAction* chosen = nullptr;
      lastPopupTitle.clear();
      for (QAction* a : menu.actions()) {
        // A section names what the menu is about; it is no item to choose.
        if (a->isSeparator()) {
          if (lastPopupTitle.isEmpty()) lastPopupTitle = a->text();
          continue;
        }
        lastPopupItems.append(a->text());
        lastPopupEnabled.append(a->isEnabled());
        if (!popupChoice.isEmpty() && a->text() == popupChoice) chosen = a;
      }
      return chosen;
    };
  }
};

inline void MoveOver(QWidget* w, QPoint p) {
  QMouseEvent e(QEvent::MouseMove, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

inline void RightClick(QWidget* w, QPoint p) {
  QContextMenuEvent e(QContextMenuEvent::Mouse, p, w->mapToGlobal(p));
  QApplication::sendEvent(w, &e);
}

inline void Press(QWidget* w, QPoint p) { QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, p); }
inline void Release(QWidget* w, QPoint p) { QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, p); }
inline void Drag(QWidget* w, QPoint from, QPoint to) {
  Press(w, from);
  QTest::mouseMove(w, to);
  Release(w, to);
}

// One catalog star of a generated field.
struct FieldStar {
  int id = 0;
  double x = 0, y = 0, m = 0;
};

struct Field {
  QString base; // folder + name without extension
  QString frame;
  std::vector<FieldStar> stars;
  std::vector<int> variables;
  int comparison = 0;
  double comparisonMag = 0;
};

// Runs the sample-field generator; returns false with the reason in `error`.
inline bool MakeField(const QString& base, const QStringList& options, Field& field, QString& error) {
  QProcess gen;
  gen.start(QStringLiteral(MORVIK_FIELDGEN), QStringList{QStringLiteral("--out"), base} + options);
  if (!gen.waitForFinished(120000) || gen.exitCode() != 0) {
    error = QString::fromLocal8Bit(gen.readAllStandardError());
    return false;
  }
  field.base = base;
  field.frame = base + QStringLiteral(".fit");
  QFile vars(base + QStringLiteral("_variables.txt"));
  if (!vars.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("no variables list");
    return false;
  }
  QTextStream in(&vars);
  while (!in.atEnd()) {
    const QStringList words = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words[0].startsWith(QLatin1Char('#'))) continue;
    if (words[0] == QLatin1String("comparison") && words.size() >= 3) {
      field.comparison = words[1].toInt();
      field.comparisonMag = words[2].toDouble();
    } else {
      field.variables.push_back(words[0].toInt());
    }
  }
  QFile xml(base + QStringLiteral(".xml"));
  if (!xml.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("no catalog");
    return false;
  }
  // <s id="1" x="633.40" y="179.44" m="16.437"/>
  QTextStream cat(&xml);
  while (!cat.atEnd()) {
    const QString line = cat.readLine().trimmed();
    if (!line.startsWith(QLatin1String("<s "))) continue;
    auto attr = [&](const char* name) {
      const QString key = QLatin1String(name) + QStringLiteral("=\"");
      const qsizetype at = line.indexOf(key);
      if (at < 0) return QString();
      const qsizetype from = at + key.size();
      return line.mid(from, line.indexOf(QLatin1Char('"'), from) - from);
    };
    field.stars.push_back({attr("id").toInt(), attr("x").toDouble(), attr("y").toDouble(), attr("m").toDouble()});
  }
  return !field.stars.empty() && field.comparison > 0;
}

// The view pixel whose frame point is the star's rounded position.
inline QPoint ViewPixelOf(const FieldStar& s) { return {qRound(s.x) - 1, qRound(s.y) - 1}; }

// Number of pixels of a colour in a box of an image.
inline int CountColour(const QImage& image, QRect box, QRgb colour) {
  int n = 0;
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x)
      if (image.rect().contains(x, y) && (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++n;
  return n;
}

inline bool Reddish(QRgb c) { return qRed(c) > 190 && qGreen(c) < 90 && qBlue(c) < 90; }

inline QString ScreenshotDir() {
  const QString dir = QStringLiteral(MORVIK_BINARY_DIR) + QStringLiteral("/screenshots");
  QDir().mkpath(dir);
  return dir;
}

} // namespace morvik::test
