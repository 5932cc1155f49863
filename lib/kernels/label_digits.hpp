// The dump's row label, kept as text and advanced in place, shared by the dump and the kernels
// that form whole rows: a decimal row number ("%.8d", +1 a row) or a hex byte offset ("%08x",
// +0x10 a row). The functions have internal linkage, so each kernel's copy is compiled for its
// own instruction set.
#ifndef MIVO_KERNELS_LABEL_DIGITS_HPP
#define MIVO_KERNELS_LABEL_DIGITS_HPP

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace mivo::detail {

inline constexpr std::size_t min_number_width = 8;  // "%.8d", "%08x"

// The last 8 digits live in one word, so writing the label is one store and the usual advance
// one add; no byte-sized store is read back as a word a moment later.
inline constexpr std::size_t max_high_digits =
    std::numeric_limits<std::uint64_t>::digits10 + 1 - min_number_width;

struct label_digits {
  std::uint64_t low = 0x3030303030303030U;       // "00000000", first digit at the lowest address
  std::array<char, max_high_digits> high = [] {  // the digits before those, right-aligned
    std::array<char, max_high_digits> zeros{};
    zeros.fill('0');
    return zeros;
  }();
  std::size_t high_width = 0;  // how many of them are shown
  // Hex offsets advance the second last digit (0x10 a row), whose top digit is 'f'.
  bool hex = false;

  label_digits() = default;
  // The label of the row at `value`: a row index, or with `hex` a byte offset.
  label_digits(std::uint64_t value, bool as_hex) noexcept : hex(as_hex) {
    const unsigned base = as_hex ? 16 : 10;
    std::array<char, min_number_width + max_high_digits> text{};
    text.fill('0');
    for (std::size_t i = text.size(); value != 0; value /= base) {
      text[--i] = "0123456789abcdef"[value % base];
    }
    std::memcpy(high.data(), text.data(), max_high_digits);
    std::memcpy(&low, text.data() + max_high_digits, sizeof low);
    const auto first = std::find_if(high.begin(), high.end(), [](char c) { return c != '0'; });
    high_width = static_cast<std::size_t>(high.end() - first);
  }
};

namespace {

// Where the last of the 8 digits sits in the word.
constexpr int last_digit_shift = std::endian::native == std::endian::little ? 56 : 0;
constexpr int hex_step_shift = std::endian::native == std::endian::little ? 48 : 8;

// Writes the label, a colon and a space; returns the end.
inline char* put_label_digits(const label_digits& n, char* out) noexcept {
  if (n.high_width != 0) {
    std::memcpy(out, n.high.data() + n.high.size() - n.high_width, n.high_width);
    out += n.high_width;
  }
  std::memcpy(out, &n.low, sizeof n.low);
  out[min_number_width] = ':';
  out[min_number_width + 1] = ' ';
  return out + min_number_width + 2;
}

// Whether p starts with the label, its colon and its space, as put_label_digits writes them.
inline bool matches_label_digits(const char* p, const label_digits& n) noexcept {
  constexpr std::uint16_t colon_space = std::endian::native == std::endian::little
                                            ? std::uint16_t{':' | (' ' << 8)}
                                            : std::uint16_t{(':' << 8) | ' '};
  const std::size_t hw = n.high_width;
  std::uint64_t low = 0;
  std::uint16_t after = 0;
  std::memcpy(&low, p + hw, sizeof low);
  std::memcpy(&after, p + hw + min_number_width, sizeof after);
  return ((low ^ n.low) | (after ^ colon_space)) == 0 &&
         (hw == 0 || std::memcmp(p, n.high.data() + n.high.size() - hw, hw) == 0);
}

// One digit up, with its carry: '9' to 'a' and 'f' to '0' in hex, '9' to '0' in decimal.
// Returns whether it carried.
inline bool increment_digit(char& c, bool hex) noexcept {
  if (c == (hex ? 'f' : '9')) {
    c = '0';
    return true;
  }
  c = (hex && c == '9') ? 'a' : static_cast<char>(c + 1);
  return false;
}

inline void advance_label_digits(label_digits& n) noexcept {
  const int shift = n.hex ? hex_step_shift : last_digit_shift;
  const auto digit = static_cast<char>((n.low >> shift) & 0xffU);
  if (digit != '9' && digit != (n.hex ? 'f' : '9')) {
    n.low += std::uint64_t{1} << shift;
    return;
  }
  if (n.hex && digit == '9') {
    n.low += std::uint64_t{'a' - '9'} << shift;
    return;
  }
  std::array<char, min_number_width> digits{};
  std::memcpy(digits.data(), &n.low, sizeof n.low);
  std::size_t i = digits.size() - (n.hex ? 1 : 0);
  while (i > 0 && increment_digit(digits[i - 1], n.hex)) --i;
  if (i == 0) {  // past the 8 digits: carry into the digits before
    std::size_t j = n.high.size();
    while (increment_digit(n.high[j - 1], n.hex)) --j;
    n.high_width = std::max(n.high_width, n.high.size() - j + 1);
  }
  std::memcpy(&n.low, digits.data(), sizeof n.low);
}

}  // namespace
}  // namespace mivo::detail

#endif  // MIVO_KERNELS_LABEL_DIGITS_HPP
