#pragma once
// One line of latency figures for the net benches: count, min, median, p99, max and mean.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline void reportLatency(const std::string& what, std::vector<double> samples, const char* unit) {
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  double sum = 0;
  for (double s : samples) sum += s;
  auto at = [&](double q) { return samples[std::min(samples.size() - 1, size_t(q * samples.size()))]; };
  std::printf("%-44s n=%-6zu min %8.2f  median %8.2f  p99 %8.2f  max %8.2f  mean %8.2f %s\n", what.c_str(),
              samples.size(), samples.front(), at(0.5), at(0.99), samples.back(), sum / samples.size(), unit);
}
