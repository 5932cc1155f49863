// Line checks: whether full dump lines hold what their layout puts at each place, a block of
// characters at a time, before a reader takes their digits by a placement plan.
#ifndef MIVO_KERNELS_LINE_CHECK_HPP
#define MIVO_KERNELS_LINE_CHECK_HPP

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "placement.hpp"

namespace mivo::detail {

// A full dump line as a reader checks it: at each place, the characters c it may hold are those
// with (unsigned char)(c - low) <= span. A gap or the line feed allows one character (span 0);
// the characters column allows the printable ones, so a line with a control character, a color
// sequence or anything unusual is left to a slower reader; a digit place allows any, as decoding
// judges it. The line's label, its first label_size characters, must be the one the reader
// expects, which each run gives. The arrays cover the line rounded up to max_place_width.
class line_shape {
 public:
  static constexpr std::size_t max_label = 32;  // a label's characters at most

  line_shape() = default;
  line_shape(std::size_t size, std::size_t label_size)
      : size_(size), label_size_(label_size), low_(padded(size), '\0'), span_(padded(size), any) {
    std::fill_n(label_places_.begin(), label_size, std::uint8_t{0xff});
    std::fill_n(span_.begin(), label_size, std::uint8_t{0});  // exactly the label given
  }
  void fix(std::size_t at, char c) noexcept {
    low_[at] = c;
    span_[at] = 0;
  }
  void let_printable(std::size_t from, std::size_t to) noexcept {
    std::fill(low_.begin() + static_cast<std::ptrdiff_t>(from),
              low_.begin() + static_cast<std::ptrdiff_t>(to), ' ');
    std::fill(span_.begin() + static_cast<std::ptrdiff_t>(from),
              span_.begin() + static_cast<std::ptrdiff_t>(to), std::uint8_t{'~' - ' '});
  }

  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] std::size_t label_size() const noexcept { return label_size_; }
  // How far past a line's start its check may read.
  [[nodiscard]] std::size_t reach() const noexcept { return low_.size(); }
  [[nodiscard]] const char* low() const noexcept { return low_.data(); }
  [[nodiscard]] const std::uint8_t* span() const noexcept { return span_.data(); }
  // 0xff at the label's places, max_place_width of them.
  [[nodiscard]] const std::uint8_t* label_places() const noexcept { return label_places_.data(); }

 private:
  static constexpr std::uint8_t any = 0xff;
  static std::size_t padded(std::size_t size) noexcept {
    return (size + max_place_width - 1) / max_place_width * max_place_width;
  }
  std::size_t size_ = 0;  // the line's characters, its line feed included
  std::size_t label_size_ = 0;
  std::vector<char> low_;
  std::vector<std::uint8_t> span_;
  std::array<std::uint8_t, max_place_width> label_places_{};
};

// A kernel's Block checks Block::width characters at a time:
//   vec, load(p): a block of characters;
//   mask, to_mask(bytes): places marked 0xff in `bytes`, as the kernel selects lanes;
//   with_label(low, label, mask): low with the label's characters at the masked places;
//   excess(v, low, span): nonzero lanes where v breaks the shape;
//   none(), merge(a, b), any(a): no lane set, a lane-wise or, and whether any lane is set.

namespace checking {

// The check of a shape, its first `held` blocks kept in registers for a run of lines.
template <class Block, std::size_t held>
class line_check {
 public:
  explicit line_check(const line_shape& shape) noexcept
      : blocks_((shape.size() + width - 1) / width),
        label_blocks_((shape.label_size() + width - 1) / width),
        low_(shape.low()),
        span_(shape.span()) {
    for (std::size_t k = 0; k < held; ++k) {
      held_[k] = {Block::load(low_ + k * width), Block::load(span_ + k * width)};
    }
    for (std::size_t k = 0; k < label_masks; ++k) {
      label_[k] = {Block::to_mask(shape.label_places() + k * width)};
    }
  }
  // Whether the line fits, its label the first characters of `label`.
  bool operator()(const char* line, const char* label) const noexcept {
    vec bad = Block::none();
    for (std::size_t k = 0; k < held; ++k) {
      vec low = held_[k].low;
      if (k < label_masks && k < label_blocks_) {
        low = Block::with_label(low, label + k * width, label_[k].places);
      }
      bad = Block::merge(bad, Block::excess(Block::load(line + k * width), low, held_[k].span));
    }
    for (std::size_t k = held; k < blocks_; ++k) {
      vec low = Block::load(low_ + k * width);
      if (k < label_masks && k < label_blocks_) {
        low = Block::with_label(low, label + k * width, label_[k].places);
      }
      bad = Block::merge(
          bad, Block::excess(Block::load(line + k * width), low, Block::load(span_ + k * width)));
    }
    return !Block::any(bad);
  }

 private:
  using vec = typename Block::vec;
  static constexpr std::size_t width = Block::width;
  static constexpr std::size_t label_masks = (line_shape::max_label + width - 1) / width;
  std::size_t blocks_;
  std::size_t label_blocks_;
  const char* low_;
  const std::uint8_t* span_;
  // Vectors in structs, as std::array drops their alignment attributes.
  struct block {
    vec low;
    vec span;
  };
  struct label_places {
    typename Block::mask places;
  };
  std::array<block, held == 0 ? 1 : held> held_{};
  std::array<label_places, label_masks> label_{};
};

// `run(check)` with the shape's check, held in registers where the line is a few blocks.
template <class Block, class Run>
auto with_check(const line_shape& shape, Run run) noexcept {
  switch ((shape.size() + Block::width - 1) / Block::width) {
    case 1:
      return run(line_check<Block, 1>(shape));
    case 2:
      return run(line_check<Block, 2>(shape));
    case 3:
      return run(line_check<Block, 3>(shape));
    default:
      return run(line_check<Block, 0>(shape));
  }
}

// The lines of a run that fit, their digits placed by `place`. Everything is a local copy, as
// every store through `out` could otherwise change it.
template <class Check, class Place>
std::size_t lines(const Check check, const Place place, std::size_t size, std::size_t label_size,
                  const char* in, const char* labels, std::size_t rows, char* out,
                  std::size_t out_stride) noexcept {
  for (std::size_t r = 0; r < rows; ++r, in += size) {
    if (!check(in, labels)) return r;
    place(in + label_size, out);
    labels += placed_rows::label_stride;
    out += out_stride;
  }
  return rows;
}

}  // namespace checking

// A kernel's read_lines from its placement Step and its check Block.
template <class Step, class Block>
std::size_t read_lines_with(const line_shape& shape, const place_plan& plan, const char* in,
                            const char* labels, std::size_t rows, char* out,
                            std::size_t out_stride) noexcept {
  const std::size_t size = shape.size();
  const std::size_t label_size = shape.label_size();
  return checking::with_check<Block>(shape, [&](const auto& check) {
    return placing::with_plan<Step>(plan, [&](const auto& place) {
      return checking::lines(check, place, size, label_size, in, labels, rows, out, out_stride);
    });
  });
}

}  // namespace mivo::detail

#endif  // MIVO_KERNELS_LINE_CHECK_HPP
