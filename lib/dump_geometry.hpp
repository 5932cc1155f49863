// The arithmetic of a dump row, computed once from a layout: where each byte's digits stand,
// how wide the digit part is, where the characters start, how labels look and step. The
// portable formatter, the reader, the tool's row renderer and the tests all ask here.
#ifndef MIVO_DUMP_GEOMETRY_HPP
#define MIVO_DUMP_GEOMETRY_HPP

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <mivo.hpp>

namespace mivo::detail {

inline constexpr std::size_t max_columns = 256;
inline constexpr std::size_t canonical_panel = 8;  // hexdump -C: an extra space after 8 bytes
inline constexpr std::size_t min_label_digits = 8;

// Digits a byte takes in each base.
constexpr std::size_t unit_width(dump_base b) noexcept {
  switch (b) {
    case dump_base::hex:
      return 2;
    case dump_base::binary:
      return 8;
    default:
      return 3;
  }
}

struct dump_geometry {
  std::size_t columns = 0;
  std::size_t group = 0;  // 0 and `columns` made one: always 1..columns
  std::size_t unit = 0;   // digits per byte
  std::size_t panel = 0;  // an extra space after every `panel` bytes, 0 for none
  bool little = false;
  // Where byte i of a row starts, counted from the start of the digit part. It does not depend
  // on how many bytes the row has: a short row leaves the places of its missing bytes blank.
  std::array<std::uint16_t, max_columns> byte_at{};
  std::size_t digit_columns = 0;  // the digit part of a full row
  std::size_t char_gap = 2;       // spaces between the digit part and the characters
  bool framed = false;            // '|' before and after the characters
  std::string_view label_end;     // after a label's digits: ": " or "  "
  unsigned label_base = 10;       // 10 or 16
  std::uint64_t label_step = 0;   // how far a label moves from one row to the next
  bool closing_line = false;      // the offset where the bytes end, on a line of its own

  // The bytes and width of group k.
  [[nodiscard]] std::size_t group_bytes(std::size_t k) const noexcept {
    return std::min(group, columns - k * group);
  }
  [[nodiscard]] std::size_t group_count() const noexcept { return (columns + group - 1) / group; }
  // Where group k starts in the digit part.
  [[nodiscard]] std::size_t group_start(std::size_t k) const noexcept {
    const std::size_t first = k * group;
    return first * unit + k + (panel != 0 ? first / panel : 0);
  }
  // A full row after its label: digits, characters and the line feed.
  [[nodiscard]] std::size_t row_chars(bool chars) const noexcept {
    return digit_columns + (chars ? char_gap + columns + (framed ? 2 : 0) : 0) + 1;
  }
};

[[nodiscard]] dump_geometry geometry_of(const dump_layout& layout) noexcept;

// Whether the layout is the classic shape that the kernels render and read whole rows of:
// 16 bytes in groups of 2, hex, in order, ASCII characters, classic framing and labels.
[[nodiscard]] bool kernel_shape(const dump_layout& layout) noexcept;

// The digits of each byte in binary, octal and decimal, ready to copy.
struct unit_tables {
  std::array<std::array<char, 8>, 256> binary;
  std::array<std::array<char, 4>, 256> octal;
  std::array<std::array<char, 4>, 256> decimal;
};
extern const unit_tables units;

// How the character column shows each byte, by table.
extern const std::array<char, 256> ebcdic_chars;
const std::array<char, 256>& chars_of(char_table t) noexcept;

// The two digits of each value below base * base, as a word in text order.
template <unsigned base>
inline constexpr std::array<std::uint16_t, std::size_t{base} * base> digit_pairs = [] {
  constexpr std::string_view digits = "0123456789abcdef";
  std::array<std::uint16_t, std::size_t{base} * base> pairs{};
  for (unsigned v = 0; v < base * base; ++v) {
    const auto first = static_cast<unsigned char>(digits[v / base]);
    const auto second = static_cast<unsigned char>(digits[v % base]);
    pairs[v] = std::endian::native == std::endian::little
                   ? static_cast<std::uint16_t>(first | second << 8U)
                   : static_cast<std::uint16_t>(first << 8U | second);
  }
  return pairs;
}();

// A row label kept as text and moved on in place: a row's step is added digit by digit from a
// table of its digits, touching only the digits it changes, so labels cost a few instructions
// a row. The text ends in the layout's ": " or "  ".
class label_text {
 public:
  label_text() = default;
  label_text(std::uint64_t value, unsigned base, std::uint64_t step, std::string_view end) noexcept;

  void set(std::uint64_t value) noexcept;
  // By one row's step, or by any count.
  void advance() noexcept;
  void advance(std::uint64_t step) noexcept;
  // Writes the labels of up to n rows, `stride` apart, each followed by an advance, while they
  // are as wide as the first; returns how many (at least one) and sets `size` to their length.
  std::size_t put_run(char* out, std::size_t stride, std::size_t n, std::size_t& size) noexcept;
  [[nodiscard]] std::uint64_t value() const noexcept { return value_; }
  // Writes the digits (at least 8) and the end; returns past them. Writes up to 32 characters.
  char* put(char* out) const noexcept {
    // Whole words from whole words: the last 8 digits change nearly every row, and a word read
    // back from bytes just stored would stall for the store to land.
    const std::size_t head = width_ - min_label_digits;
    if (head != 0) std::memcpy(out, head_.data() + head_digits - head, head_digits);
    std::memcpy(out + head, &tail_, sizeof tail_);
    std::memcpy(out + width_, &end_, sizeof end_);
    return out + width_ + end_size_;
  }
  // The characters put writes.
  [[nodiscard]] std::size_t size() const noexcept { return width_ + end_size_; }

  static constexpr std::size_t max_chars = 32;

 private:
  static constexpr std::size_t digits_end = 32;
  static constexpr std::size_t max_digits = 20;
  static constexpr std::size_t head_start = digits_end - min_label_digits - 16;  // in text_
  void add_digit(std::size_t at, unsigned d) noexcept;
  void carry() noexcept;
  // A tail word's first four digits, in text order.
  static constexpr std::uint64_t first_four =
      std::endian::native == std::endian::little ? 0xffffffffU : ~std::uint64_t{0xffffffff};
  // The last four digits of any value whose last four are `low` (below base^4), in their
  // place in a tail word.
  template <unsigned base>
  static std::uint64_t last_four(std::uint64_t low) noexcept {
    constexpr unsigned pair = base * base;
    const std::uint64_t four =
        digit_pairs<base>[low / pair] | std::uint64_t{digit_pairs<base>[low % pair]} << 16U;
    if constexpr (std::endian::native == std::endian::little) {
      return four << 32U;
    } else {
      return (four << 16U | four >> 16U) & 0xffffffffU;
    }
  }
  // How many rows from this one on have labels that differ in their last four digits alone.
  [[nodiscard]] std::uint64_t rows_before_carry() const noexcept;
  template <class Put>
  void put_stretch(std::size_t n, Put put) const noexcept;
  void advance_within(std::uint64_t step) noexcept;
  void store_tail() noexcept;
  void load_words() noexcept;

  // The digits by place, right-aligned at digits_end; the last 8 are current in tail_ only.
  std::array<char, 64> text_{};
  // The digits before the last 8, right-aligned in the first head_digits: the rest keeps a
  // whole-word copy of them clear of tail_.
  static constexpr std::size_t head_digits = 16;
  std::array<char, 2 * head_digits> head_{};
  std::uint64_t tail_ = 0;                              // the last 8 digits, in text order
  std::uint64_t end_ = 0;                               // the end, in text order
  std::array<std::uint8_t, max_digits> step_digits_{};  // the step's digits, last first
  std::size_t step_size_ = 0;
  std::uint64_t step_ = 0;
  std::size_t width_ = min_label_digits;
  std::size_t end_size_ = 0;
  std::uint64_t value_ = 0;
  unsigned base_ = 10;
};

// Fills n characters with spaces, 32 at a time: may write up to 31 past them.
inline void put_spaces(char* out, std::size_t n) noexcept {
  for (std::size_t k = 0; k < n; k += 32) std::memset(out + k, ' ', 32);
}

}  // namespace mivo::detail

#endif  // MIVO_DUMP_GEOMETRY_HPP
