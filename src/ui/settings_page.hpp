#pragma once
// The Settings page: "Program Settings and Options". The commands read these controls
// into the workspace's settings each time they start.

#include <QWidget>

#include "workspace/settings.hpp"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace morvik {

class SettingsPage : public QWidget {
  Q_OBJECT
public:
  explicit SettingsPage(QWidget* parent = nullptr);

  // Copies the page's controls into the settings (the menu and track-bar fields are
  // left alone).
  void Fill(Settings& settings) const;

  bool Debug() const;

  // The controls, named as the program names them.
  QButtonGroup* rgChartX = nullptr;
  QButtonGroup* rgChartY = nullptr;
  QCheckBox* debugch = nullptr;
  QSpinBox* spFrameBorder = nullptr;
  QSpinBox* spFrameBorderPX = nullptr;
  QSpinBox* spPart4select = nullptr;
  QLineEdit* edVariance4Comp = nullptr;
  QLineEdit* edNotMoreComp = nullptr;
  QSpinBox* spSkipLessPercFrame = nullptr;
  QLineEdit* edKOEFINDSIGM4GAPH = nullptr;
  QLineEdit* edKOEFINDSIGM4GAPHALL = nullptr;
};

} // namespace morvik
