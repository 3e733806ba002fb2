// The plot: reduction per pixel column, and the window on a store's records:
// what it shows, zoom and pan, its PNG and SVG files.
#include <QLineSeries>
#include <QSvgRenderer>
#include <QValueAxis>

#include "records/scenario_list.h"
#include "support/record_bytes.h"
#include "ui/models/plot_model.h"
#include "ui/plot/plot_chart_view.h"
#include "ui/plot/plot_window.h"
#include "ui/runner/ui_test.h"

namespace skyh::ui {
namespace {

PlotSeries Series(const std::vector<int64_t>& times, const std::vector<double>& values, double step) {
  return {"", times, values, 0, 0, 0, step, 0};  // no name, counts or decimals
}

void Add(RecordStore& store, uint8_t type, int day, int hour, const std::vector<uint8_t>& body, int minute = 0) {
  auto b = test::MakeRecordBytes(type, day ? test::PackDateTime(2025, 3, day, hour, minute, 0) : 0, body);
  store.AddCopy(b.data(), static_cast<uint16_t>(b.size()));
}

// Two days of hourly records (2025-03-01 and 03-03; 03-02 is missing), the
// temperature 10.0 + hour and the humidity 5 x hour, in reverse order, plus
// two records without time stamp and one whose temperature is blank.
void FillStore(RecordStore& store) {
  GetScenarioList().LoadText("S:1,0x40,MET,Met data,0\nE:VAL_TEMP,7,D=1\nE:VAL_HUM,9\nE:VAL_BYTE,10,D=CHAR\n"
                             "S:2,0x41,RPT,Repeated,0\nE:VAL_RPT,7\nE:VAL_BYTE,8\n");
  auto add = [&](int day, int hour, uint16_t temp, uint8_t hum, int minute = 0) {
    Add(store, 0x40, day, hour, {uint8_t(temp), uint8_t(temp >> 8), hum, 'x'}, minute);
  };
  for (int day : {3, 1})
    for (int hour = 23; hour >= 0; --hour) add(day, hour, static_cast<uint16_t>((10 + hour) * 10 + 400), uint8_t(hour));
  add(0, 0, 500, 1);
  add(0, 0, 500, 2);
  add(3, 12, 0xFFFE, 3, 30);
  Add(store, 0x41, 1, 0, {3, 1, 2, 3});
}

constexpr int64_t kMarch1 = 1740787200;  // 2025-03-01 00:00:00 UTC

}  // namespace

class PlotViewTest : public QObject {
  Q_OBJECT

 private slots:
  void DecimationKeepsExtremesPerColumnAndBreaksAtGaps() {
    // 1000 samples one second apart, 100 columns of 10: column c holds the
    // minimum -c at its 4th sample and the maximum 100 + c at its 8th; no
    // samples from 300 to 499 in the second series.
    std::vector<int64_t> t, t2;
    std::vector<double> v, v2;
    for (int i = 0; i < 1000; ++i) {
      const int c = i / 10, k = i % 10;
      t.push_back(i);
      v.push_back(k == 3 ? -c : k == 7 ? 100 + c : 50);
      if (i < 300 || i >= 500) t2.push_back(i), v2.push_back(v.back());
    }
    std::vector<PlotSegment> segments = Decimate(Series(t, v, 1), 0, 1000, 100);
    QVERIFY(segments.size() == 1 && segments[0].size() == 200);
    for (int c = 0; c < 100; ++c) {
      QVERIFY(segments[0][2 * c].time == c * 10 + 3 && segments[0][2 * c].value == -c);
      QVERIFY(segments[0][2 * c + 1].time == c * 10 + 7 && segments[0][2 * c + 1].value == 100 + c);
    }
    // The line breaks at the gap and nowhere else; a gap within one column
    // is no gap on the screen.
    segments = Decimate(Series(t2, v2, 1), 0, 1000, 100);
    QVERIFY(segments.size() == 2 && segments[0].back().time == 297 && segments[1].front().time == 503);
    QCOMPARE(Decimate(Series(t2, v2, 1), 0, 1000, 2).size(), size_t(1));

    // Zoomed in past the samples: empty columns between samples a usual
    // step apart do not break the line; the neighbours outside the range
    // are kept so that it reaches the edges.
    const PlotSeries sparse = Series({0, 100, 200, 300, 400}, {1, 2, 3, 4, 5}, 100);
    segments = Decimate(sparse, 150, 350, 200);
    QVERIFY(segments.size() == 1 && segments[0].size() == 4);
    QVERIFY(segments[0].front().time == 100 && segments[0].back().time == 400);
    // A lone sample between gaps is a segment of its own.
    segments = Decimate(Series({0, 10, 1000, 2000, 2010}, {1, 1, 9, 1, 1}, 10), 0, 2010, 201);
    QVERIFY(segments.size() == 3 && segments[1].size() == 1 && segments[1][0].value == 9);
    // Nothing to draw.
    QVERIFY(Decimate(Series({}, {}, 0), 0, 10, 10).empty() && Decimate(sparse, 10, 10, 10).empty() &&
            Decimate(sparse, 0, 10, 0).empty());

    PlotPoint p;
    QVERIFY(NearestSample(sparse, 149, p) && p.time == 100 && p.value == 2);
    QVERIFY(NearestSample(sparse, 1e9, p) && p.time == 400);
    QVERIFY(!NearestSample(Series({}, {}, 0), 1, p));
  }

  void WindowRendersAndExportsPngAndSvg() {
    RecordStore store;
    FillStore(store);
    bool busy = false;
    PlotWindow w([&]() -> const RecordStore* { return busy ? nullptr : &store; });
    w.resize(900, 500);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.Choose(0, {0, 1});
    // Each sample has a column of its own here: 48 temperatures, 49 humidities.
    QTRY_COMPARE(w.PointsShown(), 48 + 49);
    QVERIFY(w.StatusText().contains("51 records, 2 without time stamp left out, 1 values without a number left out"));
    // The missing day breaks both lines: two lines and the dots of each.
    QCOMPARE(w.Chart()->series().size(), 2 * 3);
    // The character element has no number; the repeated byte shows its copies.
    QVERIFY(w.Types().size() == 2 && w.Types()[0].label == "MET - Met data" && w.Types()[0].elements.size() == 2);
    QCOMPARE(w.Types()[1].elements[3].label, std::string("#2 VAL_BYTE [3]"));

    // The tool tip names the sample under the cursor.
    auto* first = qobject_cast<QLineSeries*>(w.Chart()->series().at(0));
    const QPointF at = w.Chart()->mapToPosition(QPointF(double(kMarch1 + 5 * 3600), 15.0), first);
    const QString tip = w.ToolTipAt(at.toPoint());
    QVERIFY2(tip.contains("MET #1 VAL_TEMP (temperature)") && tip.contains("2025-03-01 05:00:00 UTC") &&
                 tip.contains("15.0"),
             qPrintable(tip));

    // The wheel zooms the time axis around the cursor, arrows pan, Home resets.
    auto* time = qobject_cast<QValueAxis*>(w.Chart()->axes(Qt::Horizontal).at(0));
    const double min0 = time->min(), max0 = time->max();
    const QPointF centre = w.Chart()->plotArea().center();
    QWheelEvent wheel(centre, w.View()->viewport()->mapToGlobal(centre.toPoint()), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.View()->viewport(), &wheel);
    const double min1 = time->min(), max1 = time->max();
    QVERIFY(min1 > min0 && max1 < max0);
    QTest::keyClick(w.View(), Qt::Key_Right);
    QVERIFY(time->min() > min1 && std::abs((time->max() - time->min()) - (max1 - min1)) < 1);
    QTest::keyClick(w.View(), Qt::Key_Home);
    QVERIFY(time->min() == min0 && time->max() == max0);
    // Zooming in re-reduces for the narrower range.
    w.SetTimeRange(double(kMarch1), double(kMarch1 + 6 * 3600));
    QTRY_COMPARE(w.PointsShown(), 2 * 8);  // 00:00 to 06:00 and the next sample

    test::TempDir dir;
    const QString png = QString::fromStdString(dir / "plot.png"), svg = QString::fromStdString(dir / "plot.svg");
    QVERIFY(w.ExportPng(png) && w.ExportSvg(svg));
    QCOMPARE(QImage(png).size(), w.View()->size());
    QCOMPARE(QSvgRenderer(svg).viewBox(), QRect(QPoint(0, 0), w.View()->size()));
    const QString text = QString::fromStdString(test::ReadFile(svg.toStdString()));
    QVERIFY((text.contains("<path") || text.contains("<polyline")) && text.contains("MET #2 VAL_HUM"));
    // Unwritable targets fail.
    QVERIFY(!w.ExportPng(QString::fromStdString(dir / "no/p.png")) &&
            !w.ExportSvg(QString::fromStdString(dir / "no/p.svg")));

    // While the main window is busy the store is not read.
    busy = true;
    w.Reload();
    QVERIFY(w.StatusText().startsWith("The data is in use"));
    busy = false;
    QTRY_VERIFY(!w.StatusText().startsWith("The data is in use"));
  }

  void WideValuesAfterNarrowOnesKeepFewTicks() {
    // Thousandths first, then values of some billions: the tick interval of
    // the first must not be laid out over the range of the second.
    GetScenarioList().LoadText("S:1,0x40,A,small,0\nE:VAL_BYTE,7,D=3\nS:2,0x41,B,wide,0\nE:VAL_LONG,7\n");
    RecordStore store;
    for (int i = 0; i < 10; ++i) {
      const uint32_t v = i % 2 ? 0x7FFFFFFFu : 0x80000000u;
      Add(store, 0x40, 1, i, {uint8_t(i)});
      Add(store, 0x41, 1, i, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    PlotWindow w([&]() -> const RecordStore* { return &store; });
    w.resize(800, 500);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.Choose(0, {0});
    QTRY_VERIFY(w.PointsShown() > 0);
    w.Choose(1, {0});
    auto* value = qobject_cast<QValueAxis*>(w.Chart()->axes(Qt::Vertical).at(0));
    QVERIFY(value && (value->max() - value->min()) / value->tickInterval() < 50);
    QTRY_VERIFY(w.PointsShown() > 0);
  }
};

}  // namespace skyh::ui

QTEST_MAIN(skyh::ui::PlotViewTest)

#include "plot_view_test.moc"
