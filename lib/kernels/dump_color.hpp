// The dump's colors, in one place for the dump and every kernel that colors rows.
#ifndef MIVO_KERNELS_DUMP_COLOR_HPP
#define MIVO_KERNELS_DUMP_COLOR_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dump_layout.hpp"

namespace mivo::detail::color {

// One SGR sequence per run of a byte class, and the default color after every colored part.
// Every sequence is ESC [ x y m, so a class is told by y alone, and a sequence fits one 8-byte
// word: it is stored whole and the output advances past it only when the class changes.
enum class byte_class : std::uint8_t { plain, null, printable, whitespace, other_ascii, high };
inline constexpr std::size_t sgr_chars = 5;
inline constexpr std::array<std::array<char, 8>, 6> class_sgr = {
    {{"\x1b[39m"}, {"\x1b[90m"}, {"\x1b[36m"}, {"\x1b[32m"}, {"\x1b[35m"}, {"\x1b[33m"}}};
// A row's worst case: a sequence before every byte's digits and character, and two resets.
inline constexpr std::size_t max_row_color_chars =
    2 * layout::row_bytes * sgr_chars + 2 * sgr_chars;

// The reset after a row's digits, then the gap before its characters or its line feed; and the
// reset and line feed after its characters. Each is stored as one 8-byte word, for the kernels
// that render whole rows; writes up to 8 bytes, returns the end.
inline char* end_digit_part(bool chars_follow, char* out) noexcept {
  static_assert(layout::char_gap == 2 && sgr_chars == 5);
  constexpr std::array<char, 8> reset_gap = {"\x1b[39m  "};
  constexpr std::array<char, 8> reset_end = {"\x1b[39m\n"};
  std::memcpy(out, chars_follow ? reset_gap.data() : reset_end.data(), 8);
  return out + sgr_chars + (chars_follow ? layout::char_gap : 1);
}
inline char* end_char_part(char* out) noexcept { return end_digit_part(false, out); }

constexpr byte_class class_of(unsigned b) noexcept {
  if (b == 0) return byte_class::null;
  if (b >= 32 && b <= 126) return byte_class::printable;
  if (b >= 9 && b <= 13) return byte_class::whitespace;
  return b < 128 ? byte_class::other_ascii : byte_class::high;
}

inline constexpr std::array<byte_class, 256> class_table = [] {
  std::array<byte_class, 256> table{};
  for (unsigned b = 0; b < 256; ++b) table[b] = class_of(b);
  return table;
}();

// Writes the sequence of `next` where the class changes; the bytes past it are overwritten.
inline char* switch_class(byte_class& now, byte_class next, char* out) noexcept {
  std::memcpy(out, class_sgr[static_cast<std::size_t>(next)].data(), sizeof class_sgr[0]);
  out += next != now ? sgr_chars : 0;
  now = next;
  return out;
}

// One row after its label, in color: n <= 32 digits, each pair wrapped by its class and
// padded to the full digit columns, then the n/2 characters when `chars` is not null, and "\n".
// A lone last digit is plain. May write 8 bytes past the end.
inline char* put_row(const char* digits, std::size_t n, const byte_class* classes,
                     const char* chars, char* out) noexcept {
  using namespace layout;
  byte_class now = byte_class::plain;
  for (std::size_t k = 0; k + 1 < n; k += 2) {
    if (k != 0 && k % group_digits == 0) *out++ = ' ';
    out = switch_class(now, classes[k / 2], out);
    std::memcpy(out, digits + k, 2);
    out += 2;
  }
  if (n % 2 != 0) {
    if (n > 1 && (n - 1) % group_digits == 0) *out++ = ' ';
    out = switch_class(now, byte_class::plain, out);
    *out++ = digits[n - 1];
  }
  out = switch_class(now, byte_class::plain, out);
  const std::size_t missing = row_digits - n;
  const std::size_t padding = missing + missing / group_digits;
  std::memset(out, ' ', padding);
  out += padding;
  if (chars != nullptr) {
    std::memset(out, ' ', char_gap);
    out += char_gap;
    for (std::size_t k = 0; k < n / 2; ++k) {
      out = switch_class(now, classes[k], out);
      *out++ = chars[k];
    }
    out = switch_class(now, byte_class::plain, out);
  }
  *out++ = '\n';
  return out;
}

}  // namespace mivo::detail::color

#endif  // MIVO_KERNELS_DUMP_COLOR_HPP
