#pragma once
// The Settings page shown from a settings struct (a restored session), and what the
// desktop keeps between runs in QSettings: the page, the axis choices, the window's
// geometry and the recent files.

#include <QStringList>

#include "workspace/settings.hpp"

class QMainWindow;
class QSettings;

namespace morvik {

class SettingsPage;

// Sets the page's controls from the settings (the menu and track-bar fields are not
// on the page).
void ShowSettings(SettingsPage& page, const Settings& settings);

// The page's controls and the window's geometry, kept under "desktop/".
void SaveDesktopState(QSettings& store, const SettingsPage& page, const QMainWindow& window);
void RestoreDesktopState(const QSettings& store, SettingsPage& page, QMainWindow& window);

// Recent files, newest first, at most kRecentFiles.
inline constexpr int kRecentFiles = 8;
QStringList RecentFiles(const QSettings& store);
void AddRecentFile(QSettings& store, const QString& path);

} // namespace morvik
