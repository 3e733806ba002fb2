// The plot: reduction per pixel column, the numbers of a store's records,
// the window's rendering and its PNG and SVG files.
#include <QAction>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QSvgRenderer>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>

#include "records/scenario_list.h"
#include "runner/ui_test.h"
#include "runner/window_fixture.h"
#include "support/record_bytes.h"
#include "support/temp_dir.h"
#include "ui/models/plot_model.h"
#include "ui/plot/plot_chart_view.h"
#include "ui/plot/plot_window.h"

namespace skyh::ui {
namespace {

PlotSeries Series(const std::vector<int64_t>& times, const std::vector<double>& values, double step) {
  PlotSeries s;
  s.times = times;
  s.values = values;
  s.typicalStep = step;
  return s;
}

void Add(RecordStore& store, uint8_t type, uint32_t packed, const std::vector<uint8_t>& body) {
  auto b = test::MakeRecordBytes(type, packed, body);
  store.AddCopy(b.data(), static_cast<uint16_t>(b.size()));
}

// Two days of hourly records (2025-03-01 and 03-03; 03-02 is missing), the
// temperature 10.0 + hour and the humidity 5 x hour, in reverse order, plus
// two records without time stamp and one whose temperature is blank.
void FillStore(RecordStore& store) {
  GetScenarioList().LoadText("S:1,0x40,MET,Met data,0\nE:VAL_TEMP,7,D=1\nE:VAL_HUM,9\nE:VAL_BYTE,10,D=CHAR\n"
                             "S:2,0x41,RPT,Repeated,0\nE:VAL_RPT,7\nE:VAL_BYTE,8\n");
  auto add = [&](uint32_t packed, uint16_t temp, uint8_t hum) {
    Add(store, 0x40, packed, {uint8_t(temp), uint8_t(temp >> 8), hum, 'x'});
  };
  for (int day : {3, 1})
    for (int hour = 23; hour >= 0; --hour)
      add(test::PackDateTime(2025, 3, day, hour, 0, 0), static_cast<uint16_t>((10 + hour) * 10 + 400), uint8_t(hour));
  add(0, 500, 1);
  add(0, 500, 2);
  add(test::PackDateTime(2025, 3, 3, 12, 30, 0), 0xFFFE, 3);
  Add(store, 0x41, test::PackDateTime(2025, 3, 1, 0, 0, 0), {3, 1, 2, 3});
}

constexpr int64_t kMarch1 = 1740787200;  // 2025-03-01 00:00:00 UTC

}  // namespace

class PlotViewTest : public QObject {
  Q_OBJECT

 private slots:
  void DecimationKeepsExtremesPerColumnAndBreaksAtGaps() {
    // 1000 samples one second apart, 100 columns of 10: column c holds the
    // minimum -c at its 4th sample and the maximum 100 + c at its 8th.
    std::vector<int64_t> t;
    std::vector<double> v;
    for (int i = 0; i < 1000; ++i) {
      t.push_back(i);
      const int c = i / 10, k = i % 10;
      v.push_back(k == 3 ? -c : k == 7 ? 100 + c : 50);
    }
    PlotSeries s = Series(t, v, 1);
    std::vector<PlotSegment> segments = Decimate(s, 0, 1000, 100);
    QCOMPARE(segments.size(), size_t(1));
    QCOMPARE(segments[0].size(), size_t(200));
    for (int c = 0; c < 100; ++c) {
      QCOMPARE(segments[0][2 * c].time, double(c * 10 + 3));
      QCOMPARE(segments[0][2 * c].value, double(-c));
      QCOMPARE(segments[0][2 * c + 1].time, double(c * 10 + 7));
      QCOMPARE(segments[0][2 * c + 1].value, double(100 + c));
    }

    // No samples from 300 to 499: the line breaks there and nowhere else.
    std::vector<int64_t> t2;
    std::vector<double> v2;
    for (size_t i = 0; i < t.size(); ++i)
      if (t[i] < 300 || t[i] >= 500) t2.push_back(t[i]), v2.push_back(v[i]);
    segments = Decimate(Series(t2, v2, 1), 0, 1000, 100);
    QCOMPARE(segments.size(), size_t(2));
    QCOMPARE(segments[0].back().time, 297.0);
    QCOMPARE(segments[1].front().time, 503.0);
    // A gap within one column is no gap on the screen.
    QCOMPARE(Decimate(Series(t2, v2, 1), 0, 1000, 2).size(), size_t(1));

    // Zoomed in past the samples: empty columns between samples a usual
    // step apart do not break the line; the neighbours outside the range
    // are kept so that it reaches the edges.
    std::vector<int64_t> sparse{0, 100, 200, 300, 400};
    segments = Decimate(Series(sparse, {1, 2, 3, 4, 5}, 100), 150, 350, 200);
    QCOMPARE(segments.size(), size_t(1));
    QCOMPARE(segments[0].size(), size_t(4));
    QCOMPARE(segments[0].front().time, 100.0);
    QCOMPARE(segments[0].back().time, 400.0);
    // A lone sample between gaps is a segment of its own.
    segments = Decimate(Series({0, 10, 1000, 2000, 2010}, {1, 1, 9, 1, 1}, 10), 0, 2010, 201);
    QCOMPARE(segments.size(), size_t(3));
    QCOMPARE(segments[1].size(), size_t(1));
    QCOMPARE(segments[1][0].value, 9.0);

    // Nothing to draw.
    QVERIFY(Decimate(Series({}, {}, 0), 0, 10, 10).empty());
    QVERIFY(Decimate(s, 10, 10, 10).empty());
    QVERIFY(Decimate(s, 0, 10, 0).empty());

    PlotPoint p;
    QVERIFY(NearestSample(Series(sparse, {1, 2, 3, 4, 5}, 100), 149, p) && p.time == 100 && p.value == 2);
    QVERIFY(NearestSample(Series(sparse, {1, 2, 3, 4, 5}, 100), 1e9, p) && p.time == 400);
    QVERIFY(!NearestSample(Series({}, {}, 0), 1, p));
  }

  void StoreNumbersInTimeOrderWithoutTimeStampsCounted() {
    RecordStore store;
    FillStore(store);
    std::vector<PlotRecordType> types = PlotRecordTypes(store);
    QCOMPARE(types.size(), size_t(2));
    QCOMPARE(types[0].label, std::string("MET - Met data"));
    QCOMPARE(types[0].records, 51);
    // The character element has no number; the repeated byte shows its copies.
    QCOMPARE(types[0].elements.size(), size_t(2));
    QCOMPARE(types[0].elements[0].label, std::string("#1 VAL_TEMP (temperature)"));
    QCOMPARE(types[0].elements[1].label, std::string("#2 VAL_HUM (humidity)"));
    QCOMPARE(types[1].elements.size(), size_t(4));
    QCOMPARE(types[1].elements[3].label, std::string("#2 VAL_BYTE [3]"));
    QVERIFY((types[1].elements[3].key == PlotElementKey{1, 2}));

    PlotSeries temp = ExtractSeries(store, types[0].scenario.get(), types[0].elements[0].key, "t");
    QCOMPARE(temp.records, 51);
    QCOMPARE(temp.withoutTime, 2);
    QCOMPARE(temp.withoutNumber, 1);
    QCOMPARE(temp.times.size(), size_t(48));
    QVERIFY(std::is_sorted(temp.times.begin(), temp.times.end()));
    QCOMPARE(temp.times.front(), kMarch1);
    QCOMPARE(temp.values.front(), 10.0);
    QCOMPARE(temp.values.back(), 33.0);
    QCOMPARE(temp.typicalStep, 3600.0);
    QCOMPARE(temp.decimals, 1);
    // The missing day breaks the line.
    QCOMPARE(Decimate(temp, double(kMarch1), double(kMarch1 + 3 * 86400), 300).size(), size_t(2));
    PlotSeries third = ExtractSeries(store, types[1].scenario.get(), types[1].elements[3].key, "r");
    QVERIFY(third.values == std::vector<double>{3});
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

    // The tool tip names the sample under the cursor.
    auto* first = qobject_cast<QLineSeries*>(w.Chart()->series().at(0));
    QVERIFY(first);
    const QPointF at = w.Chart()->mapToPosition(QPointF(double(kMarch1 + 5 * 3600), 15.0), first);
    const QString tip = w.ToolTipAt(at.toPoint());
    QVERIFY2(tip.contains("MET #1 VAL_TEMP (temperature)") && tip.contains("2025-03-01 05:00:00 UTC") &&
                 tip.contains("15.0"),
             qPrintable(tip));

    // The wheel zooms the time axis around the cursor, arrows pan, Home resets.
    auto* time = qobject_cast<QValueAxis*>(w.Chart()->axes(Qt::Horizontal).at(0));
    QVERIFY(time);
    const double min0 = time->min(), max0 = time->max();
    const QPointF centre = w.Chart()->plotArea().center();
    QWheelEvent wheel(centre, w.View()->viewport()->mapToGlobal(centre.toPoint()), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.View()->viewport(), &wheel);
    QVERIFY(time->min() > min0 && time->max() < max0);
    const double min1 = time->min(), max1 = time->max();
    QTest::keyClick(w.View(), Qt::Key_Right);
    QVERIFY(time->min() > min1 && std::abs((time->max() - time->min()) - (max1 - min1)) < 1);
    QTest::keyClick(w.View(), Qt::Key_Home);
    QVERIFY(time->min() == min0 && time->max() == max0);

    // Zooming in re-reduces for the narrower range.
    w.SetTimeRange(double(kMarch1), double(kMarch1 + 6 * 3600));
    QTRY_COMPARE(w.PointsShown(), 2 * 8);  // 00:00 to 06:00 and the next sample

    test::TempDir dir;
    const QString png = QString::fromStdString(dir / "plot.png"), svg = QString::fromStdString(dir / "plot.svg");
    QVERIFY(w.ExportPng(png));
    QVERIFY(w.ExportSvg(svg));
    QImage image(png);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), w.View()->size());
    // Not a blank page: the lines leave coloured pixels.
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        coloured += std::abs(c.red() - c.blue()) > 60;
      }
    QVERIFY(coloured > 50);
    QSvgRenderer renderer(svg);
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.viewBox(), QRect(QPoint(0, 0), w.View()->size()));
    QFile file(svg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("<path") || text.contains("<polyline"));
    QVERIFY(text.contains("MET #2 VAL_HUM"));

    // While the main window is busy the store is not read.
    busy = true;
    w.Reload();
    QVERIFY(w.StatusText().startsWith("The data is in use"));
    busy = false;
    QTRY_VERIFY(!w.StatusText().startsWith("The data is in use"));
    QVERIFY(w.PointsShown() > 0);

    // Unwritable targets fail without a file.
    QVERIFY(!w.ExportPng(QString::fromStdString(dir / "missing/p.png")));
    QVERIFY(!w.ExportSvg(QString::fromStdString(dir / "missing/p.svg")));
  }

  void WideValuesAfterNarrowOnesKeepFewTicks() {
    // Thousandths first, then values of some billions: the tick interval of
    // the first must not be laid out over the range of the second.
    GetScenarioList().LoadText("S:1,0x40,A,small,0\nE:VAL_BYTE,7,D=3\nS:2,0x41,B,wide,0\nE:VAL_LONG,7\n");
    RecordStore store;
    for (int i = 0; i < 10; ++i) {
      Add(store, 0x40, test::PackDateTime(2025, 3, 1, i, 0, 0), {uint8_t(i)});
      const uint32_t v = i % 2 ? 0x7FFFFFFFu : 0x80000000u;
      Add(store, 0x41, test::PackDateTime(2025, 3, 1, i, 0, 0),
          {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
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

  void MainWindowOpensThePlot() {
    WindowFixture f;
    f.files = {QString::fromStdString(f.DataFile("a.k8"))};
    f.w->OnOpen();
    QVERIFY(f.WaitIdle());
    QAction* plot = nullptr;
    for (QAction* a : f.w->findChildren<QAction*>())
      if (a->text() == "&Plot...") plot = a;
    QVERIFY(plot);
    plot->trigger();
    auto* w = f.w->findChild<PlotWindow*>();
    QVERIFY(w && w->isVisible());
    QVERIFY(w->Types().size() >= 4);
    QTRY_VERIFY(w->PointsShown() > 0);
    // A new load reaches the open plot.
    f.w->OnCloseData();
    QTRY_VERIFY(w->Types().empty());
    QTRY_COMPARE(w->StatusText(), QString("No records with a layout in memory."));
  }
};

SKYH_UI_TEST(PlotViewTest);

}  // namespace skyh::ui

#include "plot_view_test.moc"
