#pragma once
// What the plot shows, without Qt: the record types of a store with their
// numeric elements, the time-ordered numbers of one element, and their
// reduction to a minimum and a maximum per pixel column, so that a chart
// never gets more than a few points per column whatever the store holds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/record_store.h"

namespace skyh::ui {

// One element of a record type: the scenario definition it comes from and,
// inside a repeat group, the copy.
struct PlotElementKey {
  size_t definition = 0;
  uint32_t copy = 0;
  bool operator==(const PlotElementKey&) const = default;
};

struct PlotElementChoice {
  PlotElementKey key;
  std::string label;  // "#2 VAL_TEMP (temperature)", "#5 VAL_CN [3]"
};

struct PlotRecordType {
  std::shared_ptr<const CScnType> scenario;
  std::string label;  // "MET - Meteorological data"
  int32_t records = 0;
  std::vector<PlotElementChoice> elements;  // the numeric ones
};

// The record types present in the store, in the order of their first record,
// each with the elements that can carry a number (format number, not a date).
std::vector<PlotRecordType> PlotRecordTypes(const RecordStore& store);

// The numbers of one element over time.
struct PlotSeries {
  std::string name;            // the legend's text
  std::vector<int64_t> times;  // ascending, UTC seconds
  std::vector<double> values;
  int32_t records = 0;         // records of the type
  int32_t withoutTime = 0;     // left out: no time stamp
  int32_t withoutNumber = 0;   // left out: the element shows a state or is missing
  double typicalStep = 0;      // median of the positive steps between samples, seconds
  int decimals = 0;            // of the element's text, for showing a value
};

// Collects the element's numbers from the store's records of `scenario`
// (compared by identity), in time order.
PlotSeries ExtractSeries(const RecordStore& store, const CScnType* scenario, PlotElementKey key,
                         std::string name);

struct PlotPoint {
  double time = 0;  // UTC seconds
  double value = 0;
};
// A piece of line without a gap; a piece of one point is a lone sample.
using PlotSegment = std::vector<PlotPoint>;

// The series between `from` and `to` (seconds) reduced to `columns` pixel
// columns: for every column its smallest and largest sample, in time order,
// at their own times. The nearest sample outside the range on either side is
// kept so that lines run to the edges. The line breaks where at least one
// whole column holds no sample and the two samples either side lie more
// than kGapSteps typical steps apart.
std::vector<PlotSegment> Decimate(const PlotSeries& series, double from, double to, int columns);

inline constexpr double kGapSteps = 5;

// The sample nearest to `time`; false for an empty series.
bool NearestSample(const PlotSeries& series, double time, PlotPoint& out);

}  // namespace skyh::ui
