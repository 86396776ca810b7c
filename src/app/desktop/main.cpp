// morvik [FILE]: the desktop program; FILE is opened at start as File > Open would.

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "ui/locale_separator.hpp"
#include "ui/main_window.hpp"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Morvik v1.0"));

  morvik::UseLocaleDecimalSeparator(QLocale::system());

  morvik::MainWindow window;
  // The Settings page, the window's geometry and the recent files are kept between runs.
  window.UseSettingsStore(std::make_unique<QSettings>(QStringLiteral("Morvik"), QStringLiteral("morvik")));
  window.show();

  const QStringList args = QApplication::arguments();
  if (args.size() > 1) {
    const QString path = args.at(1);
    QTimer::singleShot(0, &window, [&window, path] { window.OpenFromCommandLine(path); });
  }
  return QApplication::exec();
}
