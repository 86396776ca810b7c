// Zooming the image: View > Zoom In / Zoom Out / Fit Image to Window / Actual Size and
// Ctrl + wheel over the image.

#include <QAction>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "ui/main_window.hpp"
#include "ui/picture_view.hpp"

namespace morvik {
namespace {

constexpr double kZoomStep = 1.25;

} // namespace

void MainWindow::BuildZoomMenus(QMenu* view) {
  auto add = [&](const char* name, const char* text, const QKeySequence& key) {
    QAction* a = view->addAction(QString::fromLatin1(text));
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    return a;
  };
  menuZoomIn = add("menuZoomIn", "Zoom In", QKeySequence(Qt::CTRL | Qt::Key_Plus));
  menuZoomOut = add("menuZoomOut", "Zoom Out", QKeySequence(Qt::CTRL | Qt::Key_Minus));
  menuZoomFit = add("menuZoomFit", "Fit Image to Window", QKeySequence(Qt::CTRL | Qt::Key_0));
  menuZoomActual = add("menuZoomActual", "Actual Size (1:1)", QKeySequence(Qt::CTRL | Qt::Key_1));
  auto centre = [this] { return scrollBox_->viewport()->rect().center(); };
  connect(menuZoomIn, &QAction::triggered, this, [=, this] { SetImageZoom(img_->Zoom() * kZoomStep, centre()); });
  connect(menuZoomOut, &QAction::triggered, this, [=, this] { SetImageZoom(img_->Zoom() / kZoomStep, centre()); });
  connect(menuZoomActual, &QAction::triggered, this, [=, this] { SetImageZoom(1.0, centre()); });
  connect(menuZoomFit, &QAction::triggered, this, [this] {
    if (!ws_->CurrentFrame || ws_->Frame->Width <= 0 || ws_->Frame->Height <= 0) return;
    const QSize room = scrollBox_->maximumViewportSize();
    const double zoom = std::min(static_cast<double>(room.width()) / ws_->Frame->Width,
                                 static_cast<double>(room.height()) / ws_->Frame->Height);
    SetImageZoom(zoom, {});
    ShowImageFromTopLeft();
  });
  connect(img_, &PictureView::zoomWheel, this, [this](int steps, QPoint at) {
    SetImageZoom(img_->Zoom() * std::pow(kZoomStep, steps), img_->mapTo(scrollBox_->viewport(), at));
  });
}

void MainWindow::SetImageZoom(double zoom, QPoint anchor) {
  QScrollBar* h = scrollBox_->horizontalScrollBar();
  QScrollBar* v = scrollBox_->verticalScrollBar();
  const double before = img_->Zoom();
  // The frame point under the anchor, in frame pixels.
  const double fx = (h->value() + anchor.x()) / before;
  const double fy = (v->value() + anchor.y()) / before;
  img_->SetZoom(zoom);
  const double after = img_->Zoom();
  // The scroll area follows the view's resize at once (it watches the view's resize
  // events), so the bars already have their new ranges here.
  h->setValue(static_cast<int>(std::lround(fx * after - anchor.x())));
  v->setValue(static_cast<int>(std::lround(fy * after - anchor.y())));
  ShowFeedback(QStringLiteral("Image at %1%").arg(std::lround(after * 100.0)));
}

} // namespace morvik
