#include "results/ChartModel.h"

#include <algorithm>

void TChartModel::clear() {
  clearrequests();
  clearramps();
  chart1title_.clear();
  chart2title_.clear();
  foot_ = {};
  ++textrev_;
}

void TChartModel::clearrequests() {
  requests_.clear();
  counts_.clear();
  classes_ = {};
  maxx_ = maxy_ = 0;
  ++requestgen_;
}

void TChartModel::clearramps() {
  ramps_.clear();
  rampwaits_.clear();
  ++rampgen_;
}

void TChartModel::settitles(const std::string& chart1, const std::string& chart2) {
  chart1title_ = chart1;
  chart2title_ = chart2;
  ++textrev_;
}

void TChartModel::setfoot(int line, const std::string& text) {
  if (line < 0 || line >= static_cast<int>(foot_.size())) return;
  foot_[static_cast<size_t>(line)] = text;
  ++textrev_;
}

void TChartModel::addrequest(long double x, long double y, int statuscode, double server,
                             double serverttfb, int socketcode, double connect, double tls) {
  requests_.push_back(TChartPoint{x, y, statuscode, static_cast<float>(server),
                                  static_cast<float>(serverttfb), socketcode,
                                  static_cast<float>(connect), static_cast<float>(tls)});
  ++classes_[static_cast<size_t>(requests_.back().outcome())];
  maxx_ = std::max(maxx_, x);
  maxy_ = std::max(maxy_, y);
  // A handful of codes at most: a linear search is cheaper than a map on this hot path.
  for (auto& c : counts_) {
    if (c.statuscode == statuscode) {
      ++c.count;
      return;
    }
  }
  counts_.push_back(TOutcomeCount{statuscode, 1});
}

std::vector<TOutcomeCount> TChartModel::outcomes() const {
  std::vector<TOutcomeCount> order = counts_;
  std::sort(order.begin(), order.end(), [](const TOutcomeCount& a, const TOutcomeCount& b) {
    if ((a.statuscode == 200) != (b.statuscode == 200)) return a.statuscode == 200;
    if (a.count != b.count) return a.count > b.count;
    return a.statuscode < b.statuscode;
  });
  return order;
}

void TChartModel::addramp(int users, long double avgproc, const std::string& label) {
  ramps_.push_back(TRampPoint{users, avgproc, label});
}

void TChartModel::addrampwait(int users, long double avgwait) {
  rampwaits_.push_back(TRampPoint{users, avgwait, std::string()});
}

std::string TChartModel::pointlabel(int statuscode) {
  if (statuscode == 200) return std::string();
  if (statuscode == 0) return "TimeOut";
  return "E" + std::to_string(statuscode);
}

std::vector<std::pair<double, double>> cumulativeshare(std::vector<double> times,
                                                       size_t maxpoints) {
  std::erase_if(times, [](double t) { return t < 0; });
  std::vector<std::pair<double, double>> points;
  if (times.empty()) return points;
  std::sort(times.begin(), times.end());
  const size_t n = times.size();
  const size_t step = std::max<size_t>(1, n / std::max<size_t>(1, maxpoints));
  points.emplace_back(times.front(), 0.0);
  // Rank i + 1 of n is done at times[i]: a step up at each kept rank, the last one always kept.
  for (size_t i = step - 1; i < n; i += step) {
    const double share = 100.0 * static_cast<double>(i + 1) / static_cast<double>(n);
    points.emplace_back(times[i], points.back().second);
    points.emplace_back(times[i], share);
  }
  if (points.back().second < 100.0) {
    points.emplace_back(times.back(), points.back().second);
    points.emplace_back(times.back(), 100.0);
  }
  return points;
}
