// The hex dump's row layout, in one place for the dump and every kernel that forms rows.
#ifndef MIVO_KERNELS_DUMP_LAYOUT_HPP
#define MIVO_KERNELS_DUMP_LAYOUT_HPP

#include <cstddef>

#include "label_digits.hpp"

namespace mivo::detail::layout {

inline constexpr std::size_t row_bytes = 16;
inline constexpr std::size_t row_digits = 2 * row_bytes;
inline constexpr std::size_t group_digits = 4;
inline constexpr std::size_t groups = row_digits / group_digits;
// Digits and the single spaces between groups; every row's digit part is padded to this.
inline constexpr std::size_t digit_columns = row_digits + groups - 1;
inline constexpr std::size_t char_gap = 2;  // spaces before the character column
inline constexpr std::size_t chars_start = digit_columns + char_gap;
// A full row after its label: with the character column and its line feed, or bare.
inline constexpr std::size_t row_chars = chars_start + row_bytes + 1;
inline constexpr std::size_t bare_row_chars = digit_columns + 1;
// "00000000: " and every wider label up to the largest 64-bit value.
inline constexpr std::size_t min_label_chars = min_number_width + 2;
inline constexpr std::size_t max_label_chars = min_label_chars + max_high_digits;

// Where a full row read back starts: past its label when `number` is not null. Null when the
// text before `end` cannot hold a full row there, or the label is not `number`.
inline const char* row_after_label(const char* text, const char* end,
                                   const label_digits* number) noexcept {
  const std::size_t label_chars = number != nullptr ? min_label_chars + number->high_width : 0;
  if (static_cast<std::size_t>(end - text) < label_chars + row_chars) return nullptr;
  if (number != nullptr && !matches_label_digits(text, *number)) return nullptr;
  return text + label_chars;
}

static_assert(row_digits == 32 && group_digits == 4 && digit_columns == 39);
static_assert(chars_start == 41 && row_chars == 58 && bare_row_chars == 40);

}  // namespace mivo::detail::layout

#endif  // MIVO_KERNELS_DUMP_LAYOUT_HPP
