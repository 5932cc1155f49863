// Hex dumps: rows of 32 digits in groups of 4, row numbers, and a character column.
#include <algorithm>
#include <array>
#include <cstring>
#include <iostream>
#include <limits>
#include <stdexcept>

#include "codec.hpp"

namespace mivo {
namespace {

constexpr std::size_t row_digits = 32;
constexpr std::size_t group_digits = 4;
constexpr std::size_t digit_columns = 39;  // 8 groups of 4 and 7 separators, on every row
constexpr std::size_t min_number_width = 8;
constexpr std::size_t rows_per_block = 64;  // rows whose bytes are decoded in one kernel call

std::size_t row_count(std::size_t digits) noexcept {
  return digits / row_digits + (digits % row_digits != 0 ? 1 : 0);
}

// All the "%.8d: " prefixes of `rows` rows: 10 characters each, one more for every power of
// ten from 10^8 up that a row number reaches.
std::size_t prefix_chars(std::size_t rows) noexcept {
  std::size_t total = (min_number_width + 2) * rows;
  for (std::size_t threshold = 100'000'000; threshold < rows; threshold *= 10) {
    total += rows - threshold;
    if (threshold > std::numeric_limits<std::size_t>::max() / 10) break;
  }
  return total;
}

std::size_t dump_size(std::size_t digits, dump_options options) {
  // Any dump takes fewer than 3 characters per digit plus a row's worth.
  if (digits > (std::string().max_size() - 64) / 3) {
    throw std::length_error("Mivo.hexdump_s: dump would be too long");
  }
  const std::size_t rows = row_count(digits);
  std::size_t size = rows * (digit_columns + 1);
  if (options.row_numbers) size += prefix_chars(rows);
  if (options.char_column) size += 2 * rows + digits / 2;
  return size;
}

// The decimal row number, kept as text and incremented in place.
class row_number {
 public:
  row_number() noexcept { text_.fill('0'); }

  char* put(char* out) const noexcept {
    if (width_ == min_number_width) {  // a fixed-size copy, for all but huge dumps
      std::memcpy(out, text_.data() + text_.size() - min_number_width, min_number_width);
    } else {
      std::memcpy(out, text_.data() + text_.size() - width_, width_);
    }
    out[width_] = ':';
    out[width_ + 1] = ' ';
    return out + width_ + 2;
  }

  void advance() noexcept {
    std::size_t i = text_.size() - 1;
    while (text_[i] == '9') text_[i--] = '0';
    ++text_[i];
    width_ = std::max(width_, text_.size() - i);
  }

 private:
  std::array<char, std::numeric_limits<std::size_t>::digits10 + 2> text_{};
  std::size_t width_ = min_number_width;
};

char* put_digit_groups(const char* digits, std::size_t n, char* out) noexcept {
  if (n == row_digits) {
    for (std::size_t g = 0; g < row_digits; g += group_digits) {
      std::memcpy(out, digits + g, group_digits);
      out += group_digits;
      if (g + group_digits < row_digits) *out++ = ' ';
    }
    return out;
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (k != 0 && k % group_digits == 0) *out++ = ' ';
    *out++ = digits[k];
  }
  const std::size_t missing = row_digits - n;
  const std::size_t padding = missing + missing / group_digits;
  std::memset(out, ' ', padding);
  return out + padding;
}

char* put_char_column(const char* chars, std::size_t n, char* out) noexcept {
  *out++ = ' ';
  *out++ = ' ';
  if (n == row_digits / 2) {
    std::memcpy(out, chars, row_digits / 2);
  } else {
    std::memcpy(out, chars, n);
  }
  return out + n;
}

// Writes the dump of `digits` to `out`. With the character column on, stops at the first pair
// holding a non-digit, stores its index in `first_bad_pair` and returns false.
bool render(std::string_view digits, dump_options options, char* out,
            std::size_t& first_bad_pair) noexcept {
  const detail::kernel& k = detail::active_kernel();
  std::array<std::uint8_t, rows_per_block * row_digits / 2> bytes;
  std::array<char, rows_per_block * row_digits / 2> chars;
  row_number number;
  for (std::size_t begin = 0; begin < digits.size(); begin += rows_per_block * row_digits) {
    const std::size_t end = std::min(digits.size(), begin + rows_per_block * row_digits);
    if (options.char_column) {
      const std::size_t pairs = (end - begin) / 2;
      const std::size_t bad = k.decode(digits.data() + begin, pairs, bytes.data());
      if (bad < pairs) {
        first_bad_pair = begin / 2 + bad;
        return false;
      }
      k.dump_chars(bytes.data(), pairs, chars.data());
    }
    for (std::size_t row = begin; row < end; row += row_digits) {
      const std::size_t n = std::min(row_digits, end - row);
      if (options.row_numbers) {
        out = number.put(out);
        number.advance();
      }
      out = put_digit_groups(digits.data() + row, n, out);
      if (options.char_column) out = put_char_column(chars.data() + (row - begin) / 2, n / 2, out);
      *out++ = '\n';
    }
  }
  return true;
}

}  // namespace

std::string hexdump_s(const hex_text& h) { return hexdump_s(dump_options{}, h); }

std::string hexdump_s(dump_options options, const hex_text& h) {
  const std::string_view digits = h.text;
  std::string dump;
  std::size_t first_bad_pair = 0;
  const bool rendered = detail::overwrite_string(
      dump, dump_size(digits.size(), options),
      [&](char* out) noexcept { return render(digits, options, out, first_bad_pair); });
  if (!rendered) (void)to_char(digits[2 * first_bad_pair], digits[2 * first_bad_pair + 1]);  // throws
  return dump;
}

void hexdump(const hex_text& h) { hexdump(dump_options{}, h); }

void hexdump(dump_options options, const hex_text& h) {
  const std::string dump = hexdump_s(options, h);
  std::cout.write(dump.data(), static_cast<std::streamsize>(dump.size()));
}

}  // namespace mivo
