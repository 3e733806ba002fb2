#pragma once
// The plot window: one record type and some of its numeric elements over
// time on a UTC axis, reduced per pixel column again at every zoom, pan and
// resize. It reads the store only when asked to and only while the main
// window is idle, and keeps its own copies of the numbers.
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/models/plot_model.h"

class QCategoryAxis;
class QChart;
class QComboBox;
class QLabel;
class QLineSeries;
class QListWidget;
class QScatterSeries;
class QTimer;
class QValueAxis;

namespace skyh::ui {

class PlotChartView;

class PlotWindow : public QWidget {
  Q_OBJECT

 public:
  // `store` gives the window's store, or null while it must not be read.
  explicit PlotWindow(std::function<const RecordStore*()> store, QWidget* parent = nullptr);
  ~PlotWindow() override;

  // Reads the record types again and shows the chosen elements anew.
  void Reload();
  // The store changed: reload as soon as it may be read.
  void StoreChanged();
  // Chooses a record type by its position in the type list and shows the
  // elements at `elements` (positions in its element list).
  void Choose(int type, const std::vector<int>& elements);
  // Shows the whole time and value range of the chosen elements.
  void ResetView();
  void SetTimeRange(double from, double to);
  bool ExportPng(const QString& path);
  bool ExportSvg(const QString& path);

  const std::vector<PlotRecordType>& Types() const { return types_; }
  QString StatusText() const;
  QChart* Chart() const { return chart_; }
  PlotChartView* View() const { return view_; }
  // Points handed to the chart over all series.
  int PointsShown() const;
  // The tool tip's text for a point of the view, empty away from the data.
  QString ToolTipAt(const QPoint& pos) const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Shown {
    PlotSeries data;
    std::vector<QLineSeries*> lines;  // the first one carries the legend
    QScatterSeries* dots = nullptr;   // lone samples
  };

  void TypeChosen();
  void ElementsChosen();
  void ClearShown();
  void ScheduleRedraw();
  void Redraw();
  void UpdateTimeAxis(double from, double to, double width);
  void UpdateValueAxis();
  void ShowStatus(const QString& extra = QString());
  void ExportPngAsked();
  void ExportSvgAsked();

  std::function<const RecordStore*()> store_;
  std::vector<PlotRecordType> types_;
  std::vector<Shown> shown_;
  QComboBox* typeBox_ = nullptr;
  QListWidget* elementList_ = nullptr;
  QLabel* status_ = nullptr;
  QChart* chart_ = nullptr;
  PlotChartView* view_ = nullptr;
  QCategoryAxis* timeAxis_ = nullptr;
  QValueAxis* valueAxis_ = nullptr;
  QTimer* redraw_ = nullptr;
  QTimer* retry_ = nullptr;
  bool filling_ = false;
  bool stale_ = false;
  QString busyNote_;
};

}  // namespace skyh::ui
