#include "ui/picture_view.hpp"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

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
  setFixedSize(std::max(0, width), std::max(0, height));
  update();
}

QImage PictureView::Shown() const {
  const Bitmap& pixels = picture_.Pixels();
  if (pixels.Width() <= 0 || pixels.Height() <= 0) return {};
  const QImage wrapped(pixels.Line(0), pixels.Width(), pixels.Height(), static_cast<qsizetype>(pixels.Stride()),
                       QImage::Format_BGR888);
  return wrapped.copy(0, 0, std::min(width(), pixels.Width()), std::min(height(), pixels.Height()));
}

void PictureView::paintEvent(QPaintEvent* event) {
  Wrap();
  QPainter painter(this);
  const QRect dirty = event->rect();
  const QRect inside = dirty.intersected(image_.rect());
  if (!inside.isEmpty()) painter.drawImage(inside.topLeft(), image_, inside);
  // Any part of the view that the picture does not cover.
  const QRegion rest = QRegion(dirty).subtracted(QRegion(inside));
  for (const QRect& r : rest)
    painter.fillRect(r, Qt::white);
}

QPoint PictureView::Clamped(QPoint p) const {
  return {std::clamp(p.x(), 0, std::max(0, width() - 1)), std::clamp(p.y(), 0, std::max(0, height() - 1))};
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (!rect().contains(p)) return;
  emit pointerMoved(p.x(), p.y());
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  if (!rect().contains(p)) return; // released after dragging out of the frame
  emit leftReleased(p.x(), p.y());
}

void PictureView::contextMenuEvent(QContextMenuEvent* event) {
  const QPoint p = Clamped(event->pos());
  emit contextMenuAt(p.x(), p.y(), event->globalPos());
  event->accept();
}

} // namespace morvik
