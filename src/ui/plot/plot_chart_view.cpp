#include "ui/plot/plot_chart_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>

namespace skyh::ui {

PlotChartView::PlotChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
  setRubberBand(QChartView::RectangleRubberBand);
  setRenderHint(QPainter::Antialiasing);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
}

void PlotChartView::ZoomTime(double factor, double atX) {
  const QRectF area = chart()->plotArea();
  if (area.width() <= 0) return;
  // Keep the time under `atX` where it is.
  const double left = atX - area.left(), right = area.right() - atX;
  QRectF zoomed(atX - left * factor, area.top(), (left + right) * factor, area.height());
  chart()->zoomIn(zoomed);
}

void PlotChartView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps == 0) return;
  ZoomTime(std::pow(0.8, steps), event->position().x());
  event->accept();
}

void PlotChartView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton) {
    panning_ = true;
    panFrom_ = event->pos();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
    return;
  }
  QChartView::mousePressEvent(event);
}

void PlotChartView::mouseMoveEvent(QMouseEvent* event) {
  if (panning_) {
    const QPoint d = event->pos() - panFrom_;
    panFrom_ = event->pos();
    chart()->scroll(-d.x(), d.y());
    event->accept();
    return;
  }
  emit Hovered(chart()->plotArea().contains(event->pos()) ? event->pos() : QPoint());
  QChartView::mouseMoveEvent(event);
}

void PlotChartView::mouseReleaseEvent(QMouseEvent* event) {
  if (panning_ && event->button() == Qt::MiddleButton) {
    panning_ = false;
    unsetCursor();
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

void PlotChartView::keyPressEvent(QKeyEvent* event) {
  const QRectF area = chart()->plotArea();
  const double dx = area.width() / 10, dy = area.height() / 10;
  switch (event->key()) {
    case Qt::Key_Left: chart()->scroll(-dx, 0); break;
    case Qt::Key_Right: chart()->scroll(dx, 0); break;
    case Qt::Key_Up: chart()->scroll(0, dy); break;
    case Qt::Key_Down: chart()->scroll(0, -dy); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomTime(0.8, area.center().x()); break;
    case Qt::Key_Minus: ZoomTime(1.25, area.center().x()); break;
    case Qt::Key_Home: emit ResetRequested(); break;
    default: QChartView::keyPressEvent(event); return;
  }
  event->accept();
}

void PlotChartView::leaveEvent(QEvent* event) {
  emit Hovered(QPoint());
  QChartView::leaveEvent(event);
}

}  // namespace skyh::ui
