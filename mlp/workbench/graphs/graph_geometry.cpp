#include "mlp/workbench/graphs/graph_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

std::string formatNumber(const char* format, double value) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, format, value);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(n));
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, value);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

std::string formatInteger(const char* format, long long value) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, format, static_cast<int>(value));
  return n < 0 ? std::string()
               : std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

int truncateToInt(double value, int ifNaN) {
  if (std::isnan(value)) return ifNaN;
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}
