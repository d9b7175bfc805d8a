#include "near_names.h"

#include <algorithm>

std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) {
    for (std::size_t j = 0; j <= b.size(); ++j) {
      if (i == 0 || j == 0) {
        d[i][j] = i + j;
        continue;
      }
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

std::string_view nearest_name(std::string_view typed, const std::vector<std::string_view>& names) {
  if (typed.size() > 40) {  // no name is that long; spares the table for long lines
    return {};
  }
  std::string_view best;
  std::size_t best_distance = 3;
  for (const std::string_view name : names) {
    const std::size_t distance = edit_distance(typed, name);
    if (distance > 0 && distance < best_distance && distance <= (name.size() <= 5 ? 1u : 2u)) {
      best = name;
      best_distance = distance;
    }
  }
  return best;
}
