#include "kernels/placement.hpp"

#include <algorithm>
#include <climits>

namespace mivo::detail {

// Greedy: a step takes characters while the bytes it reads still fit one load of `width`.
place_plan make_place_plan(const std::vector<int>& source, const std::vector<char>& fill,
                           std::size_t width) {
  place_plan plan;
  plan.width = width;
  plan.size = source.size();
  const auto span = static_cast<int>(width);
  std::size_t p = 0;
  while (p < source.size()) {
    int lo = INT_MAX;
    int hi = -1;
    std::size_t q = p;
    for (; q < source.size() && q - p < width; ++q) {
      const int s = source[q];
      if (s < 0) continue;
      if (std::max(hi, s) - std::min(lo, s) >= span) break;
      lo = std::min(lo, s);
      hi = std::max(hi, s);
    }
    const int from = hi < 0 ? 0 : lo;
    plan.steps.push_back({static_cast<std::uint16_t>(from), static_cast<std::uint16_t>(p)});
    const std::size_t at = plan.lanes.size();
    plan.lanes.resize(at + 2 * width, 0);
    for (std::size_t j = 0; j < width; ++j) {
      const std::size_t c = p + j;
      const bool taken = c < q && source[c] >= 0;
      plan.lanes[at + j] = taken ? static_cast<std::uint8_t>(source[c] - from) : place_fill_lane;
      // Lanes past the step's own characters are written over by the steps after it.
      const char f = c < q ? fill[c] : ' ';
      plan.lanes[at + width + j] = taken ? 0 : static_cast<std::uint8_t>(f);
    }
    p = q;
  }
  return plan;
}

}  // namespace mivo::detail
