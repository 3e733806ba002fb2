#include "ui/plot/plot_window.h"

#include <QCategoryAxis>
#include <QChart>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "ui/plot/plot_chart_view.h"

namespace skyh::ui {
namespace {

constexpr double kTickSpacing = 100;   // pixels between time labels at least
constexpr double kValueSpacing = 50;   // pixels between value labels at least
constexpr double kHoverReach = 30;     // pixels from a sample that still name it

QString Utc(double seconds, const char* format) {
  return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::floor(seconds)), Qt::UTC).toString(format);
}

QString Number(double v, int decimals) { return QString::number(v, 'f', decimals); }

// Colours that stay apart on white, in print and for most colour-blind eyes.
const char* const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2", "#17becf"};

}  // namespace

PlotWindow::PlotWindow(std::function<const RecordStore*()> store, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(std::move(store)) {
  setWindowTitle("SkyHarvester - Plot");
  resize(1100, 640);

  chart_ = new QChart;
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->setMargins(QMargins(4, 4, 12, 4));
  timeAxis_ = new QCategoryAxis;
  timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  timeAxis_->setTitleText("Time (UTC)");
  valueAxis_ = new QValueAxis;
  valueAxis_->setTitleText("Value");
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  chart_->addAxis(valueAxis_, Qt::AlignLeft);
  view_ = new PlotChartView(chart_, this);

  typeBox_ = new QComboBox(this);
  typeBox_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  elementList_ = new QListWidget(this);
  elementList_->setMinimumWidth(220);
  auto* reload = new QPushButton("Reload", this);
  auto* reset = new QPushButton("Reset zoom", this);
  auto* png = new QPushButton("Export PNG...", this);
  auto* svg = new QPushButton("Export SVG...", this);
  auto* help = new QLabel("Wheel: zoom time\nDrag: zoom to a box\nRight click: zoom out\n"
                          "Middle drag, arrows: pan\nHome: reset", this);
  help->setEnabled(false);

  auto* side = new QVBoxLayout;
  side->addWidget(new QLabel("Record type:", this));
  side->addWidget(typeBox_);
  side->addWidget(new QLabel("Elements:", this));
  side->addWidget(elementList_, 1);
  for (QPushButton* b : {reload, reset, png, svg}) side->addWidget(b);
  side->addWidget(help);
  auto* top = new QHBoxLayout;
  top->addLayout(side);
  top->addWidget(view_, 1);
  status_ = new QLabel(this);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(status_);

  redraw_ = new QTimer(this);
  redraw_->setSingleShot(true);
  redraw_->setInterval(0);
  connect(redraw_, &QTimer::timeout, this, &PlotWindow::Redraw);
  retry_ = new QTimer(this);
  retry_->setSingleShot(true);
  retry_->setInterval(500);
  connect(retry_, &QTimer::timeout, this, [this] {
    if (stale_) Reload();
  });

  connect(typeBox_, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) TypeChosen();
  });
  connect(elementList_, &QListWidget::itemChanged, this, [this] {
    if (!filling_) ElementsChosen();
  });
  connect(reload, &QPushButton::clicked, this, &PlotWindow::Reload);
  connect(reset, &QPushButton::clicked, this, &PlotWindow::ResetView);
  connect(png, &QPushButton::clicked, this, &PlotWindow::ExportPngAsked);
  connect(svg, &QPushButton::clicked, this, &PlotWindow::ExportSvgAsked);
  connect(timeAxis_, &QValueAxis::rangeChanged, this, &PlotWindow::ScheduleRedraw);
  connect(chart_, &QChart::plotAreaChanged, this, &PlotWindow::ScheduleRedraw);
  connect(view_, &PlotChartView::ResetRequested, this, &PlotWindow::ResetView);
  connect(view_, &PlotChartView::Hovered, this, [this](const QPoint& pos) {
    const QString tip = pos.isNull() ? QString() : ToolTipAt(pos);
    if (tip.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(view_->mapToGlobal(pos), tip, view_);
  });
  Reload();
  elementList_->setFocus();
}

PlotWindow::~PlotWindow() = default;

void PlotWindow::StoreChanged() {
  stale_ = true;
  if (isVisible()) retry_->start(0);
}

void PlotWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (stale_) Reload();
}

void PlotWindow::Reload() {
  const RecordStore* store = store_();
  if (!store) {
    stale_ = true;
    busyNote_ = "The data is in use; the plot reads it once the main window is idle.";
    ShowStatus();
    if (isVisible()) retry_->start(500);
    return;
  }
  stale_ = false;
  busyNote_.clear();
  // Keep the choice across a reload where the same type is still there.
  const QString typeLabel = typeBox_->currentIndex() >= 0 ? typeBox_->currentData().toString() : QString();
  QStringList checked;
  for (int i = 0; i < elementList_->count(); ++i)
    if (elementList_->item(i)->checkState() == Qt::Checked) checked << elementList_->item(i)->text();

  types_ = PlotRecordTypes(*store);
  filling_ = true;
  typeBox_->clear();
  int keep = 0;
  for (size_t i = 0; i < types_.size(); ++i) {
    const QString label = QString::fromStdString(types_[i].label);
    typeBox_->addItem(QString("%1 (%2 records)").arg(label).arg(types_[i].records), label);
    if (label == typeLabel) keep = static_cast<int>(i);
  }
  typeBox_->setCurrentIndex(types_.empty() ? -1 : keep);
  filling_ = false;
  TypeChosen();
  if (!checked.isEmpty() && typeBox_->currentData().toString() == typeLabel) {
    filling_ = true;
    for (int i = 0; i < elementList_->count(); ++i)
      elementList_->item(i)->setCheckState(checked.contains(elementList_->item(i)->text()) ? Qt::Checked : Qt::Unchecked);
    filling_ = false;
    ElementsChosen();
  }
}

void PlotWindow::TypeChosen() {
  filling_ = true;
  elementList_->clear();
  const int t = typeBox_->currentIndex();
  if (t >= 0 && t < static_cast<int>(types_.size())) {
    for (const PlotElementChoice& c : types_[t].elements) {
      auto* item = new QListWidgetItem(QString::fromStdString(c.label), elementList_);
      item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
      item->setCheckState(elementList_->count() == 1 ? Qt::Checked : Qt::Unchecked);
    }
  }
  if (elementList_->count() > 0) elementList_->setCurrentRow(0);
  filling_ = false;
  ElementsChosen();
}

void PlotWindow::Choose(int type, const std::vector<int>& elements) {
  filling_ = true;
  typeBox_->setCurrentIndex(type);
  filling_ = false;
  TypeChosen();
  filling_ = true;
  for (int i = 0; i < elementList_->count(); ++i) {
    const bool on = std::find(elements.begin(), elements.end(), i) != elements.end();
    elementList_->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
  filling_ = false;
  ElementsChosen();
}

void PlotWindow::ClearShown() {
  for (Shown& s : shown_) {
    for (QLineSeries* l : s.lines) chart_->removeSeries(l), delete l;
    if (s.dots) chart_->removeSeries(s.dots), delete s.dots;
  }
  shown_.clear();
}

void PlotWindow::ElementsChosen() {
  ClearShown();
  const int t = typeBox_->currentIndex();
  const RecordStore* store = store_();
  if (t < 0 || t >= static_cast<int>(types_.size()) || !store) {
    if (!store) StoreChanged();
    ResetView();
    return;
  }
  const PlotRecordType& type = types_[t];
  for (int i = 0; i < elementList_->count() && i < static_cast<int>(type.elements.size()); ++i) {
    if (elementList_->item(i)->checkState() != Qt::Checked) continue;
    const PlotElementChoice& c = type.elements[i];
    Shown s;
    s.data = ExtractSeries(*store, type.scenario.get(), c.key, type.scenario->name + " " + c.label);
    auto* line = new QLineSeries;
    line->setName(QString::fromStdString(s.data.name));
    line->setPen(QPen(QColor(kColours[shown_.size() % std::size(kColours)]), 1.5));
    chart_->addSeries(line);
    line->attachAxis(timeAxis_);
    line->attachAxis(valueAxis_);
    s.lines.push_back(line);
    s.dots = new QScatterSeries;
    s.dots->setMarkerSize(5);
    s.dots->setColor(line->color());
    s.dots->setBorderColor(line->color());
    chart_->addSeries(s.dots);
    s.dots->attachAxis(timeAxis_);
    s.dots->attachAxis(valueAxis_);
    for (QLegendMarker* m : chart_->legend()->markers(s.dots)) m->setVisible(false);
    shown_.push_back(std::move(s));
  }
  ResetView();
}

void PlotWindow::ResetView() {
  double t0 = std::numeric_limits<double>::max(), t1 = std::numeric_limits<double>::lowest();
  double v0 = t0, v1 = t1;
  for (const Shown& s : shown_) {
    if (s.data.times.empty()) continue;
    t0 = std::min(t0, static_cast<double>(s.data.times.front()));
    t1 = std::max(t1, static_cast<double>(s.data.times.back()));
    auto [lo, hi] = std::minmax_element(s.data.values.begin(), s.data.values.end());
    v0 = std::min(v0, *lo);
    v1 = std::max(v1, *hi);
  }
  if (t0 > t1) {  // nothing to show: today
    t1 = std::floor(static_cast<double>(QDateTime::currentSecsSinceEpoch()) / 86400) * 86400 + 86400;
    t0 = t1 - 86400;
    v0 = 0, v1 = 1;
  }
  if (t1 - t0 < 60) t0 -= 1800, t1 += 1800;
  const double pad = v1 > v0 ? (v1 - v0) * 0.05 : 1;
  // A tick interval meant for a narrow range would lay out millions of ticks
  // over a wide one: fixed ticks until the interval fits the new range.
  valueAxis_->setTickType(QValueAxis::TicksFixed);
  chart_->zoomReset();
  valueAxis_->setRange(v0 - pad, v1 + pad);
  UpdateValueAxis();
  SetTimeRange(t0, t1);
  ScheduleRedraw();
}

void PlotWindow::SetTimeRange(double from, double to) { timeAxis_->setRange(from, to); }

void PlotWindow::ScheduleRedraw() { redraw_->start(); }

void PlotWindow::Redraw() {
  const double from = timeAxis_->min(), to = timeAxis_->max();
  const double width = chart_->plotArea().width() > 1 ? chart_->plotArea().width() : view_->width();
  const int columns = std::max(1, static_cast<int>(width));
  for (Shown& s : shown_) {
    const std::vector<PlotSegment> segments = Decimate(s.data, from, to, columns);
    QList<QPointF> lone;
    size_t used = 0;
    for (const PlotSegment& seg : segments) {
      if (seg.size() == 1) {
        lone.append(QPointF(seg[0].time, seg[0].value));
        continue;
      }
      if (used == s.lines.size()) {
        auto* line = new QLineSeries;
        line->setPen(s.lines[0]->pen());
        chart_->addSeries(line);
        line->attachAxis(timeAxis_);
        line->attachAxis(valueAxis_);
        for (QLegendMarker* m : chart_->legend()->markers(line)) m->setVisible(false);
        s.lines.push_back(line);
      }
      QList<QPointF> points;
      points.reserve(static_cast<qsizetype>(seg.size()));
      for (const PlotPoint& p : seg) points.append(QPointF(p.time, p.value));
      s.lines[used++]->replace(points);
    }
    for (size_t i = used; i < s.lines.size(); ++i)
      if (s.lines[i]->count() != 0) s.lines[i]->clear();
    s.dots->replace(lone);
  }
  UpdateTimeAxis(from, to, width);
  UpdateValueAxis();
  ShowStatus();
}

void PlotWindow::UpdateValueAxis() {
  // Round steps of 1, 2 or 5 times a power of ten, some 50 pixels apart.
  const double span = valueAxis_->max() - valueAxis_->min();
  const double height = chart_->plotArea().height() > 1 ? chart_->plotArea().height() : 400;
  const double rough = span / std::max(2.0, height / kValueSpacing);
  if (!(rough > 0) || !std::isfinite(rough)) return;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  const double f = rough / power;
  const double step = power * (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10);
  valueAxis_->setTickType(QValueAxis::TicksDynamic);
  valueAxis_->setTickAnchor(0);
  valueAxis_->setTickInterval(step);
  const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 9);
  valueAxis_->setLabelFormat(QString("%.%1f").arg(decimals));
}

void PlotWindow::UpdateTimeAxis(double from, double to, double width) {
  for (const QString& label : timeAxis_->categoriesLabels()) timeAxis_->remove(label);
  timeAxis_->setStartValue(from);
  const double span = to - from;
  const double most = std::max(2.0, width / kTickSpacing);
  static const double kSteps[] = {60, 300, 900, 1800, 3600, 3 * 3600, 6 * 3600, 12 * 3600, 86400, 2 * 86400, 7 * 86400};
  for (double step : kSteps) {
    if (span / step > most) continue;
    const char* format = step < 86400 ? "MM-dd hh:mm" : "yyyy-MM-dd";
    for (double t = std::ceil(from / step) * step; t <= to; t += step) timeAxis_->append(Utc(t, format), t);
    return;
  }
  // Calendar months, then years.
  static const int kMonths[] = {1, 2, 3, 6, 12, 24, 60, 120};
  int months = kMonths[std::size(kMonths) - 1];
  for (int m : kMonths)
    if (span / (m * 30.44 * 86400) <= most) {
      months = m;
      break;
    }
  const QDate first = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::floor(from)), Qt::UTC).date();
  const int start = (first.year() * 12 + first.month() - 1 + months - 1) / months * months;  // aligned month count
  for (int k = start;; k += months) {
    const QDateTime at(QDate(k / 12, k % 12 + 1, 1), QTime(0, 0), Qt::UTC);
    const double t = static_cast<double>(at.toSecsSinceEpoch());
    if (t > to) break;
    if (t >= from) timeAxis_->append(at.toString(months >= 12 ? "yyyy" : "yyyy-MM"), t);
  }
}

int PlotWindow::PointsShown() const {
  int n = 0;
  for (const Shown& s : shown_) {
    for (const QLineSeries* l : s.lines) n += static_cast<int>(l->count());
    n += static_cast<int>(s.dots->count());
  }
  return n;
}

QString PlotWindow::StatusText() const { return status_->text(); }

void PlotWindow::ShowStatus(const QString& extra) {
  QString text;
  const int t = typeBox_->currentIndex();
  if (types_.empty()) {
    text = "No records with a layout in memory.";
  } else if (t >= 0 && t < static_cast<int>(types_.size())) {
    const PlotRecordType& type = types_[t];
    text = QString("%1: %2 records").arg(QString::fromStdString(type.label)).arg(type.records);
    if (!shown_.empty()) {
      const PlotSeries& d = shown_.front().data;
      text += QString(", %1 without time stamp left out").arg(d.withoutTime);
      int withoutNumber = 0;
      for (const Shown& s : shown_) withoutNumber += s.data.withoutNumber;
      if (withoutNumber != 0) text += QString(", %1 values without a number left out").arg(withoutNumber);
      text += QString("; %1 points drawn").arg(PointsShown());
    }
    text += ".";
  }
  if (!busyNote_.isEmpty()) text = busyNote_ + " " + text;
  if (!extra.isEmpty()) text += " " + extra;
  status_->setText(text);
}

QString PlotWindow::ToolTipAt(const QPoint& pos) const {
  if (shown_.empty() || !chart_->plotArea().contains(pos)) return QString();
  const QPointF at = chart_->mapToValue(pos, shown_.front().lines[0]);
  double best = kHoverReach;
  const Shown* near = nullptr;
  PlotPoint nearPoint;
  for (const Shown& s : shown_) {
    PlotPoint p;
    if (!NearestSample(s.data, at.x(), p)) continue;
    const QPointF px = chart_->mapToPosition(QPointF(p.time, p.value), s.lines[0]);
    const double d = std::hypot(px.x() - pos.x(), px.y() - pos.y());
    if (d <= best) best = d, near = &s, nearPoint = p;
  }
  if (near)
    return QString("%1\n%2 UTC\n%3")
        .arg(QString::fromStdString(near->data.name), Utc(nearPoint.time, "yyyy-MM-dd hh:mm:ss"),
             Number(nearPoint.value, near->data.decimals));
  return QString("%1 UTC\n%2").arg(Utc(at.x(), "yyyy-MM-dd hh:mm:ss"), Number(at.y(), 2));
}

bool PlotWindow::ExportPng(const QString& path) {
  QImage image(view_->size(), QImage::Format_ARGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  view_->render(&painter);
  painter.end();
  return image.save(path, "PNG");
}

bool PlotWindow::ExportSvg(const QString& path) {
  QSvgGenerator svg;
  svg.setFileName(path);
  svg.setSize(view_->size());
  svg.setViewBox(QRect(QPoint(0, 0), view_->size()));
  svg.setTitle("SkyHarvester plot");
  QPainter painter;
  if (!painter.begin(&svg)) return false;
  view_->render(&painter);
  return painter.end() && QFileInfo(path).size() > 0;
}

void PlotWindow::ExportPngAsked() {
  const QString path = QFileDialog::getSaveFileName(this, "Export PNG", "plot.png", "PNG image (*.png)");
  if (!path.isEmpty() && !ExportPng(path)) QMessageBox::warning(this, "Warning", "Cannot write " + path);
}

void PlotWindow::ExportSvgAsked() {
  const QString path = QFileDialog::getSaveFileName(this, "Export SVG", "plot.svg", "SVG image (*.svg)");
  if (!path.isEmpty() && !ExportSvg(path)) QMessageBox::warning(this, "Warning", "Cannot write " + path);
}

}  // namespace skyh::ui
