#include "ui/picture_view.hpp"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace morvik {

PictureView::PictureView(const Picture& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(0, 0);
}

void PictureView::Wrap() {
  const Bitmap& pixels = picture_.Pixels();
  if (pixels.Width() <= 0 || pixels.Height() <= 0) {
    image_ = QImage();
    return;
  }
  const uchar* bits = pixels.Line(0);
  if (!image_.isNull() && image_.constBits() == bits && image_.width() == pixels.Width() &&
      image_.height() == pixels.Height())
    return;
  image_ =
      QImage(bits, pixels.Width(), pixels.Height(), static_cast<qsizetype>(pixels.Stride()), QImage::Format_BGR888);
}

void PictureView::PictureChanged() {
  Wrap();
  update();
}

void PictureView::SetFrameSize(int width, int height) {
  frameWidth_ = std::max(0, width);
  frameHeight_ = std::max(0, height);
  ApplySize();
}

void PictureView::ApplySize() {
  setFixedSize(static_cast<int>(std::lround(frameWidth_ * zoom_)), static_cast<int>(std::lround(frameHeight_ * zoom_)));
  update();
}

void PictureView::SetZoom(double zoom) {
  zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
  ApplySize();
}

QPoint PictureView::ToScreen(QPoint f) const {
  return {static_cast<int>(std::floor(f.x() * zoom_)), static_cast<int>(std::floor(f.y() * zoom_))};
}

QPoint PictureView::ToFrame(QPoint screen) const {
  if (zoom_ == 1.0) return screen;
  return {static_cast<int>(std::floor(screen.x() / zoom_)), static_cast<int>(std::floor(screen.y() / zoom_))};
}

QImage PictureView::Shown() const {
  const Bitmap& pixels = picture_.Pixels();
  if (pixels.Width() <= 0 || pixels.Height() <= 0) return {};
  const QImage wrapped(pixels.Line(0), pixels.Width(), pixels.Height(), static_cast<qsizetype>(pixels.Stride()),
                       QImage::Format_BGR888);
  return wrapped.copy(0, 0, std::min(frameWidth_, pixels.Width()), std::min(frameHeight_, pixels.Height()));
}

void PictureView::paintEvent(QPaintEvent* event) {
  Wrap();
  QPainter painter(this);
  if (zoom_ != 1.0) {
    // Scaled: the frame's area of the picture, every frame pixel a square block.
    painter.fillRect(event->rect(), Qt::white);
    if (image_.isNull()) return;
    const QRect area = QRect(0, 0, frameWidth_, frameHeight_).intersected(image_.rect());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1.0);
    painter.drawImage(QRectF(0, 0, area.width() * zoom_, area.height() * zoom_), image_, area);
    return;
  }
  const QRect dirty = event->rect();
  const QRect inside = dirty.intersected(image_.rect());
  if (!inside.isEmpty()) painter.drawImage(inside.topLeft(), image_, inside);
  // Any part of the view that the picture does not cover.
  const QRegion rest = QRegion(dirty).subtracted(QRegion(inside));
  for (const QRect& r : rest)
    painter.fillRect(r, Qt::white);
}

QPoint PictureView::Clamped(QPoint p) const {
  const QPoint f = ToFrame(p);
  return {std::clamp(f.x(), 0, std::max(0, frameWidth_ - 1)), std::clamp(f.y(), 0, std::max(0, frameHeight_ - 1))};
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (!rect().contains(p)) return;
  const QPoint f = Clamped(p);
  emit pointerMoved(f.x(), f.y());
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  if (!rect().contains(p)) return; // released after dragging out of the frame
  const QPoint f = Clamped(p);
  emit leftReleased(f.x(), f.y());
}

void PictureView::contextMenuEvent(QContextMenuEvent* event) {
  const QPoint p = Clamped(event->pos());
  emit contextMenuAt(p.x(), p.y(), event->globalPos());
  event->accept();
}

void PictureView::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    event->ignore(); // the scroll area scrolls
    return;
  }
  const int steps = event->angleDelta().y() / 120;
  if (steps != 0) emit zoomWheel(steps, event->position().toPoint());
  event->accept();
}

} // namespace morvik
