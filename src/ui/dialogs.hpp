#pragma once
// The modal pieces of the desktop: file dialog, input box, message boxes and popup
// menus. The main window calls them through this table so that tests can answer them
// without a person at the keyboard.

#include <QPoint>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace morvik {

enum class FileDialogKind { Open, Save };

struct Dialogs {
  // The program's file dialog. `start` is what its file-name box holds (a pattern or a
  // name). Returns the chosen path, or an empty string when cancelled.
  std::function<QString(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& start)> chooseFile;
  // Input box with caption, prompt and proposed text. A cancelled box yields the
  // proposed text.
  std::function<QString(QWidget* parent, const QString& caption, const QString& prompt, const QString& proposed)>
      inputText;
  // Yes/No box with a warning icon, kept on top: true only for Yes.
  std::function<bool(QWidget* parent, const QString& caption, const QString& text)> askYesNo;
  // Error box (error = true) or plain message box.
  std::function<void(QWidget* parent, const QString& text, bool error)> message;
  // Opens a popup menu at a screen position; returns the chosen item or null.
  std::function<QAction*(QMenu& menu, const QPoint& globalPos)> popup;
};

// The real dialogs.
Dialogs DefaultDialogs();

// Caption of the program's message boxes.
inline constexpr const char* kProgramTitle = "Morvik v1.0";

} // namespace morvik
