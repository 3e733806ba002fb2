#pragma once
// The chart area of the plot window: zoom with the wheel (time) or a
// rubber band (time and value), pan with the middle button or the arrow
// keys, Home resets; reports the cursor for the tool tip.
#include <QChartView>

namespace skyh::ui {

class PlotChartView : public QChartView {
  Q_OBJECT

 public:
  explicit PlotChartView(QChart* chart, QWidget* parent = nullptr);

  // Zooms the time axis around a point of the plot area by `factor` (< 1 in).
  void ZoomTime(double factor, double atX);

 signals:
  void ResetRequested();
  // The cursor moved to `pos` (view pixels) inside the plot area; outside it
  // the point is null.
  void Hovered(const QPoint& pos);

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  bool panning_ = false;
  QPoint panFrom_;
};

}  // namespace skyh::ui
