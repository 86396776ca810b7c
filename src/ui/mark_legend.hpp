#pragma once
// A line of the image's mark colours with their meaning, small enough for the status
// bar: an open circle for the ensemble roles, a dot for the marks.

#include <QWidget>

namespace morvik {

class MarkLegend : public QWidget {
  Q_OBJECT
public:
  explicit MarkLegend(QWidget* parent = nullptr);
  QSize sizeHint() const override;
  // Never squeezed: a cut legend would hide a colour.
  QSize minimumSizeHint() const override { return sizeHint(); }

protected:
  void paintEvent(QPaintEvent* event) override;
};

} // namespace morvik
