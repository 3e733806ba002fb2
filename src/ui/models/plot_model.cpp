#include "ui/models/plot_model.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

#include "core/time_util.h"
#include "records/element.h"

namespace skyh::ui {
namespace {

bool HasRepeat(const CScnType& s) {
  return std::any_of(s.elements.begin(), s.elements.end(), [](const ScnElementDef& d) { return d.decodeType == kValRpt; });
}

bool IsNumeric(const ScnElementDef& d) {
  return d.decodeType >= kValTemp && d.decodeType <= kValRgdev && d.format == kFormatNumber;
}

// A word for the decode types whose keyword names a quantity.
const char* Quantity(int32_t decodeType) {
  switch (decodeType) {
    case kValTemp: return "temperature";
    case kValHum: return "humidity";
    case kValPres: return "pressure";
    case kValBat: return "battery";
    case kValAngle: return "angle";
    default: return nullptr;
  }
}

std::string ElementLabel(const ScnElementDef& d, size_t definition, uint32_t copy, uint32_t copies) {
  std::string label = "#" + std::to_string(definition + 1) + " " + std::string(DecodeTypeKeyword(d.decodeType));
  if (copies > 1) label += " [" + std::to_string(copy + 1) + "]";
  if (const char* q = Quantity(d.decodeType)) label += std::string(" (") + q + ")";
  return label;
}

}  // namespace

std::vector<PlotRecordType> PlotRecordTypes(const RecordStore& store) {
  std::vector<PlotRecordType> types;
  std::vector<std::vector<uint32_t>> copies;  // most copies seen per definition
  std::vector<bool> repeats;
  std::unordered_map<const CScnType*, size_t> index;
  for (int32_t i = 0; i < store.Count(); ++i) {
    const CRecord& r = *store.At(i);
    const CScnType* s = r.scenario();
    if (!s) continue;
    auto [it, fresh] = index.emplace(s, types.size());
    if (fresh) {
      PlotRecordType t;
      t.scenario = r.scenarioShared();
      t.label = s->name + " - " + s->description;
      types.push_back(std::move(t));
      copies.emplace_back(s->elements.size(), 1);
      repeats.push_back(HasRepeat(*s));
      if (repeats.back()) std::fill(copies.back().begin(), copies.back().end(), 0);
    }
    const size_t k = it->second;
    ++types[k].records;
    if (repeats[k]) {
      std::vector<uint32_t> c = r.CopyCounts();
      for (size_t d = 0; d < c.size() && d < copies[k].size(); ++d) copies[k][d] = std::max(copies[k][d], c[d]);
    }
  }
  for (size_t k = 0; k < types.size(); ++k) {
    const std::vector<ScnElementDef>& defs = types[k].scenario->elements;
    for (size_t d = 0; d < defs.size(); ++d) {
      if (!IsNumeric(defs[d])) continue;
      for (uint32_t c = 0; c < copies[k][d]; ++c)
        types[k].elements.push_back({{d, c}, ElementLabel(defs[d], d, c, copies[k][d])});
    }
  }
  return types;
}

PlotSeries ExtractSeries(const RecordStore& store, const CScnType* scenario, PlotElementKey key, std::string name) {
  PlotSeries s;
  s.name = std::move(name);
  if (!scenario) return s;
  ScnElementDef d;
  for (int32_t i = 0; i < store.Count(); ++i) {
    const CRecord& r = *store.At(i);
    if (r.scenario() != scenario) continue;
    ++s.records;
    if (r.time() == kInvalidTime) {
      ++s.withoutTime;
      continue;
    }
    double v = 0;
    if (!r.ElementDef(key.definition, key.copy, d) || !ElementNumber(d, r.raw(), r.length(), v)) {
      ++s.withoutNumber;
      continue;
    }
    if (s.times.empty()) s.decimals = std::clamp(d.decimals, 0, 9);
    s.times.push_back(r.time());
    s.values.push_back(v);
  }
  if (!std::is_sorted(s.times.begin(), s.times.end())) {
    std::vector<size_t> order(s.times.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return s.times[a] < s.times[b]; });
    std::vector<int64_t> times(order.size());
    std::vector<double> values(order.size());
    for (size_t i = 0; i < order.size(); ++i) times[i] = s.times[order[i]], values[i] = s.values[order[i]];
    s.times.swap(times);
    s.values.swap(values);
  }
  std::vector<int64_t> steps;
  steps.reserve(s.times.size());
  for (size_t i = 1; i < s.times.size(); ++i)
    if (s.times[i] > s.times[i - 1]) steps.push_back(s.times[i] - s.times[i - 1]);
  if (!steps.empty()) {
    auto mid = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), mid, steps.end());
    s.typicalStep = static_cast<double>(*mid);
  }
  return s;
}

std::vector<PlotSegment> Decimate(const PlotSeries& series, double from, double to, int columns) {
  std::vector<PlotSegment> segments;
  const std::vector<int64_t>& t = series.times;
  if (t.empty() || columns <= 0 || !(to > from)) return segments;
  const double width = (to - from) / columns;
  size_t begin = static_cast<size_t>(std::lower_bound(t.begin(), t.end(), from) - t.begin());
  size_t end = static_cast<size_t>(std::upper_bound(t.begin(), t.end(), to) - t.begin());
  if (begin > 0) --begin;  // the neighbours outside, so lines reach the edges
  if (end < t.size()) ++end;
  const double gap = kGapSteps * series.typicalStep;
  auto column = [&](size_t i) { return static_cast<int64_t>(std::floor((static_cast<double>(t[i]) - from) / width)); };

  size_t previousLast = 0;
  int64_t previousColumn = 0;
  bool first = true;
  for (size_t i = begin; i < end;) {
    const int64_t c = column(i);
    size_t j = i, low = i, high = i;
    for (; j < end && column(j) == c; ++j) {
      if (series.values[j] < series.values[low]) low = j;
      if (series.values[j] > series.values[high]) high = j;
    }
    if (first || (c - previousColumn > 1 && static_cast<double>(t[i] - t[previousLast]) > gap)) segments.emplace_back();
    first = false;
    PlotSegment& out = segments.back();
    const size_t a = std::min(low, high), b = std::max(low, high);
    out.push_back({static_cast<double>(t[a]), series.values[a]});
    if (b != a) out.push_back({static_cast<double>(t[b]), series.values[b]});
    previousLast = j - 1;
    previousColumn = c;
    i = j;
  }
  return segments;
}

bool NearestSample(const PlotSeries& series, double time, PlotPoint& out) {
  const std::vector<int64_t>& t = series.times;
  if (t.empty()) return false;
  size_t i = static_cast<size_t>(std::lower_bound(t.begin(), t.end(), time) - t.begin());
  if (i == t.size() || (i > 0 && time - static_cast<double>(t[i - 1]) <= static_cast<double>(t[i]) - time)) --i;
  out = {static_cast<double>(t[i]), series.values[i]};
  return true;
}

}  // namespace skyh::ui
