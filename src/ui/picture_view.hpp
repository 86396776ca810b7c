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
  // What is shown now (the frame's area of the picture), as a copy, at 1:1.
  QImage Shown() const;

  // Magnification of the frame on screen (1: one frame pixel per screen pixel). The
  // signals report frame pixels whatever the zoom.
  void SetZoom(double zoom);
  double Zoom() const { return zoom_; }
  static constexpr double kMinZoom = 0.125;
  static constexpr double kMaxZoom = 8.0;
  // The screen position of a frame pixel, and the frame pixel under a screen position.
  QPoint ToScreen(QPoint framePixel) const;
  QPoint ToFrame(QPoint screen) const;

signals:
  // Ctrl + wheel: a step in (steps > 0) or out, at a screen position of the view.
  void zoomWheel(int steps, QPoint at);
  void pointerMoved(int x, int y);
  void leftReleased(int x, int y);
  void contextMenuAt(int x, int y, const QPoint& globalPos);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

private:
  // Wraps the picture's bytes without copying them; redone whenever the picture may
  // have moved its memory.
  void Wrap();
  QPoint Clamped(QPoint p) const;

  void ApplySize();

  const Picture& picture_;
  QImage image_;
  int frameWidth_ = 0;
  int frameHeight_ = 0;
  double zoom_ = 1.0;
};

} // namespace morvik
