#pragma once
// The image view: shows the workspace's picture (the rendered frame with its star
// marks) and reports the mouse in view pixels.

#include <QImage>
#include <QWidget>

#include "fits/bitmap.hpp"

namespace morvik {

class PictureView : public QWidget {
  Q_OBJECT
public:
  explicit PictureView(const Picture& picture, QWidget* parent = nullptr);

  // The picture was drawn on: repaint from it.
  void PictureChanged();
  // Only the frame's area of the picture is shown.
  void SetFrameSize(int width, int height);
  // What is shown now (the frame's area of the picture), as a copy.
  QImage Shown() const;

signals:
  void pointerMoved(int x, int y);
  void leftReleased(int x, int y);
  void contextMenuAt(int x, int y, const QPoint& globalPos);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  // Wraps the picture's bytes without copying them; redone whenever the picture may
  // have moved its memory.
  void Wrap();
  QPoint Clamped(QPoint p) const;

  const Picture& picture_;
  QImage image_;
};

} // namespace morvik
