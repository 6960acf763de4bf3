#pragma once
// The figures the window benchmarks report of their rounds.

#include <algorithm>
#include <vector>

// The middle value (the upper of the two middle ones for an even count).
inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}
inline double Best(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
inline double Worst(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
