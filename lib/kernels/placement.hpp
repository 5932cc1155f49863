// Placement: text moved into the places a layout gives it, a block of lanes at a time. A plan
// is a list of steps made once per layout; a kernel runs them over every row.
#ifndef MIVO_KERNELS_PLACEMENT_HPP
#define MIVO_KERNELS_PLACEMENT_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace mivo::detail {

// One step writes a kernel's place_width lanes at out + to. Each lane has an index and a fill
// byte: an index below the width takes in[from + index], any other (0x80) takes the fill.
struct place_step {
  std::uint16_t from;
  std::uint16_t to;
};

inline constexpr std::uint8_t place_fill_lane = 0x80;
inline constexpr std::size_t max_place_width = 64;

struct place_plan {
  std::size_t width = 0;  // the lanes of a step
  std::vector<place_step> steps;
  // Per step: `width` indexes, then `width` fill bytes (0 where the lane takes an index).
  std::vector<std::uint8_t> lanes;
  std::size_t size = 0;  // the characters the plan lays out; steps may write `width` past them
};

// Full dump rows made of parts, for a kernel's place_rows: row r is its label, the first
// label_size characters of labels[label_stride * r..]; the plan run over
// digits[digit_stride * r..]; char_count characters from chars[char_count * r..]; and `ending`.
struct placed_rows {
  static constexpr std::size_t label_stride = 32;
  const char* labels = nullptr;
  std::size_t label_size = 0;
  const char* digits = nullptr;
  std::size_t digit_stride = 0;
  const char* chars = nullptr;
  std::size_t char_count = 0;
  std::array<char, 2> ending{};  // '|' and '\n', or '\n' alone
  std::size_t ending_size = 0;
  std::size_t rows = 0;
};

// A kernel's step: Step::prepare(lanes) turns one step's lanes into registers, and
// Step::apply(prepared, in + from, out + to) lays the step out.

// A plan run over one row.
template <class Step>
void place_with(const place_plan& plan, const char* in, char* out) noexcept {
  const std::uint8_t* lanes = plan.lanes.data();
  for (const place_step s : plan.steps) {
    Step::apply(Step::prepare(lanes), in + s.from, out + s.to);
    lanes += 2 * plan.width;
  }
}

namespace placing {

// Each row of p, its placement done by `place(digits, out)`.
template <class Place>
char* rows(const placed_rows& p, std::size_t placed, char* out, Place place) noexcept {
  // Locals, as every store through `out` could otherwise change them.
  const std::size_t label_size = p.label_size;
  const std::size_t char_count = p.char_count;
  const std::size_t digit_stride = p.digit_stride;
  const std::size_t ending_size = p.ending_size;
  const std::array<char, 2> ending = p.ending;
  const char* labels = p.labels;
  const char* digits = p.digits;
  const char* chars = p.chars;
  for (std::size_t r = 0; r < p.rows; ++r) {
    std::memcpy(out, labels, placed_rows::label_stride);
    labels += placed_rows::label_stride;
    out += label_size;
    place(digits, out);
    digits += digit_stride;
    out += placed;
    for (std::size_t k = 0; k < char_count; k += 32) std::memcpy(out + k, chars + k, 32);
    chars += char_count;
    out += char_count;
    std::memcpy(out, ending.data(), ending.size());
    out += ending_size;
  }
  return out;
}

// A plan of n steps held in registers, for running it over many rows.
template <class Step, std::size_t n>
struct held_plan {
  std::array<decltype(Step::prepare(nullptr)), n> prepared;
  std::array<place_step, n> steps;

  explicit held_plan(const place_plan& plan) noexcept {
    for (std::size_t k = 0; k < n; ++k) {
      prepared[k] = Step::prepare(plan.lanes.data() + 2 * plan.width * k);
      steps[k] = plan.steps[k];
    }
  }
  void operator()(const char* in, char* out) const noexcept {
    for (std::size_t k = 0; k < n; ++k) {
      Step::apply(prepared[k], in + steps[k].from, out + steps[k].to);
    }
  }
};

// `run(place)` with place(in, out) laying out one row by the plan: a held plan where it has
// a few steps.
template <class Step, class Run>
auto with_plan(const place_plan& plan, Run run) noexcept {
  switch (plan.steps.size()) {
    case 1:
      return run(held_plan<Step, 1>(plan));
    case 2:
      return run(held_plan<Step, 2>(plan));
    case 3:
      return run(held_plan<Step, 3>(plan));
    case 4:
      return run(held_plan<Step, 4>(plan));
    default:
      return run([&](const char* in, char* out) { place_with<Step>(plan, in, out); });
  }
}

}  // namespace placing

// place_rows for a kernel whose step is Step: every part is copied in whole words, each row's
// writes past its end covered by the next part or row. The labels and chars must be readable
// label_stride and 32 bytes past their last row.
template <class Step>
char* place_rows_with(const place_plan& plan, const placed_rows& p, char* out) noexcept {
  return placing::with_plan<Step>(
      plan, [&](const auto& place) { return placing::rows(p, plan.size, out, place); });
}

// place_many for a kernel whose step is Step.
template <class Step>
void place_many_with(const place_plan& plan, const char* in, std::size_t in_stride, char* out,
                     std::size_t out_stride, std::size_t rows) noexcept {
  placing::with_plan<Step>(plan, [&](const auto& place) {
    for (std::size_t r = 0; r < rows; ++r) place(in + r * in_stride, out + r * out_stride);
    return 0;
  });
}

// A kernel's three placement entries from its Step.
template <class Step>
struct placing_by {
  static void place(const place_plan& plan, const char* in, char* out) noexcept {
    place_with<Step>(plan, in, out);
  }
  static char* rows(const place_plan& plan, const placed_rows& p, char* out) noexcept {
    return place_rows_with<Step>(plan, p, out);
  }
  static void many(const place_plan& plan, const char* in, std::size_t in_stride, char* out,
                   std::size_t out_stride, std::size_t rows) noexcept {
    place_many_with<Step>(plan, in, in_stride, out, out_stride, rows);
  }
};

// A plan laying out `size` characters: character p is in[source[p]], or fill[p] where
// source[p] is negative. Steps are cut so that each reads at most `width` bytes of `in`.
place_plan make_place_plan(const std::vector<int>& source, const std::vector<char>& fill,
                           std::size_t width);

}  // namespace mivo::detail

#endif  // MIVO_KERNELS_PLACEMENT_HPP
