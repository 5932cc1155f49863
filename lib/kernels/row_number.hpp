// The dump's row number, kept as decimal text and incremented in place, shared by the dump and
// the kernels that form whole rows. The functions have internal linkage, so each kernel's copy
// is compiled for its own instruction set.
#ifndef MIVO_KERNELS_ROW_NUMBER_HPP
#define MIVO_KERNELS_ROW_NUMBER_HPP

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace mivo::detail {

inline constexpr std::size_t min_number_width = 8;  // "%.8d"

// The last 8 digits live in one word, so writing the number is one store and the usual
// increment one add; no byte-sized store is read back as a word a moment later.
inline constexpr std::size_t max_high_digits =
    std::numeric_limits<std::size_t>::digits10 + 1 - min_number_width;

struct row_number {
  std::uint64_t low = 0x3030303030303030U;       // "00000000", first digit at the lowest address
  std::array<char, max_high_digits> high = [] {  // the digits before those, right-aligned
    std::array<char, max_high_digits> zeros{};
    zeros.fill('0');
    return zeros;
  }();
  std::size_t high_width = 0;  // how many of them are shown
};

namespace {

// Where the last of the 8 digits sits in the word.
constexpr int last_digit_shift = std::endian::native == std::endian::little ? 56 : 0;

// Writes the number, a colon and a space; returns the end.
inline char* put_row_number(const row_number& n, char* out) noexcept {
  if (n.high_width != 0) {
    std::memcpy(out, n.high.data() + n.high.size() - n.high_width, n.high_width);
    out += n.high_width;
  }
  std::memcpy(out, &n.low, sizeof n.low);
  out[min_number_width] = ':';
  out[min_number_width + 1] = ' ';
  return out + min_number_width + 2;
}

inline void advance_row_number(row_number& n) noexcept {
  if (((n.low >> last_digit_shift) & 0xffU) != '9') {
    n.low += std::uint64_t{1} << last_digit_shift;
    return;
  }
  std::array<char, min_number_width> digits{};
  std::memcpy(digits.data(), &n.low, sizeof n.low);
  std::size_t i = digits.size();
  while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
  if (i > 0) {
    ++digits[i - 1];
  } else {  // past 99999999: carry into the digits before
    std::size_t j = n.high.size();
    while (n.high[j - 1] == '9') n.high[--j] = '0';
    ++n.high[j - 1];
    n.high_width = std::max(n.high_width, n.high.size() - j + 1);
  }
  std::memcpy(&n.low, digits.data(), sizeof n.low);
}

}  // namespace
}  // namespace mivo::detail

#endif  // MIVO_KERNELS_ROW_NUMBER_HPP
