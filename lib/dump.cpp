// Hex dumps: rows of 32 digits in groups of 4, row numbers, and a character column.
#include <algorithm>
#include <array>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "codec.hpp"
#include "tables.hpp"

namespace mivo {
namespace {

constexpr std::size_t row_digits = 32;
constexpr std::size_t group_digits = 4;
constexpr std::size_t digit_columns = 39;  // 8 groups of 4 and 7 separators, on every row
using detail::min_number_width;
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

using detail::row_number;

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

// Row number width reached by the largest size_t, the colon and the space.
constexpr std::size_t max_prefix_chars = std::numeric_limits<std::size_t>::digits10 + 1 + 2;
constexpr std::size_t max_row_chars = max_prefix_chars + digit_columns + 2 + row_digits / 2 + 1;

// One row of n digits, its n/2 characters when the column is on, and its line feed.
char* put_row(row_number& number, dump_options options, const char* digits, std::size_t n,
              const char* chars, char* out) noexcept {
  if (options.row_numbers) {
    out = detail::put_row_number(number, out);
    detail::advance_row_number(number);
  }
  out = put_digit_groups(digits, n, out);
  if (options.char_column) out = put_char_column(chars, n / 2, out);
  *out++ = '\n';
  return out;
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
    const std::size_t full_rows = (end - begin) / row_digits;
    out = k.dump_rows(digits.data() + begin, options.char_column ? chars.data() : nullptr,
                      full_rows, options.row_numbers ? &number : nullptr, out);
    const std::size_t rest = begin + full_rows * row_digits;
    if (rest < end) {
      out = put_row(number, options, digits.data() + rest, end - rest,
                    chars.data() + (rest - begin) / 2, out);
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
      [&](char* out) noexcept { return render(digits, options, out, first_bad_pair); },
      detail::row_slack);
  if (!rendered) detail::throw_bad_pair(digits.data() + 2 * first_bad_pair, 2 * first_bad_pair);
  return dump;
}

void hexdump(const hex_text& h) { hexdump(dump_options{}, h); }

void hexdump(dump_options options, const hex_text& h) {
  const std::string dump = hexdump_s(options, h);
  std::cout.write(dump.data(), static_cast<std::streamsize>(dump.size()));
}

// The writer keeps the digits of the row in progress (with the bytes of its complete pairs) and
// renders whole rows, a chunk at a time, into a fixed block that each call hands the stream.
struct dump_writer::state {
  static constexpr std::size_t chunk_rows = rows_per_block;
  static constexpr std::size_t chunk_bytes = chunk_rows * row_digits / 2;
  static constexpr std::size_t block_size = std::size_t{128} * 1024;
  enum class status { open, finished, spent };

  state(dump_options o, std::ostream& s) : options(o), out(s), block(new char[block_size]) {}

  dump_options options;
  std::ostream& out;
  const detail::kernel& k = detail::active_kernel();
  row_number number;
  status now = status::open;
  std::uint64_t row_start = 0;  // position in the stream of digits of the row in progress
  std::array<char, row_digits> row{};
  std::array<std::uint8_t, row_digits / 2> row_bytes{};
  std::size_t row_fill = 0;
  std::unique_ptr<char[]> block;
  std::size_t used = 0;
  std::array<char, 2 * chunk_bytes> digits{};
  std::array<std::uint8_t, chunk_bytes> bytes{};
  std::array<char, chunk_bytes> chars{};

  void flush() {
    if (used == 0) return;
    const std::size_t n = std::exchange(used, 0);
    out.write(block.get(), static_cast<std::streamsize>(n));
  }

  // Room in the block for `rows` more rows.
  char* room_for(std::size_t rows) {
    if (used + rows * max_row_chars + detail::row_slack > block_size) flush();
    return block.get() + used;
  }

  [[noreturn]] void fail_at(const char* pair, std::uint64_t position) {
    flush();
    detail::throw_bad_pair(pair, static_cast<std::size_t>(position));
  }

  // Whole rows of given digits, `bytes_known` their bytes when the caller has them.
  void put_rows(const char* d, std::size_t rows, const std::uint8_t* bytes_known) {
    char* o = room_for(rows);
    if (options.char_column) {
      const std::size_t pairs = rows * row_digits / 2;
      if (bytes_known == nullptr) {
        const std::size_t bad = k.decode(d, pairs, bytes.data());
        if (bad < pairs) {
          const std::size_t good_rows = bad / (row_digits / 2);
          put_rows(d, good_rows, bytes.data());
          fail_at(d + 2 * bad, row_start + 2 * bad - good_rows * row_digits);
        }
        bytes_known = bytes.data();
      }
      k.dump_chars(bytes_known, pairs, chars.data());
    }
    o = k.dump_rows(d, options.char_column ? chars.data() : nullptr, rows,
                    options.row_numbers ? &number : nullptr, o);
    used = static_cast<std::size_t>(o - block.get());
    row_start += rows * row_digits;
  }

  void put_text_rows(const char* d, std::size_t rows) {
    for (std::size_t done = 0; done < rows; done += chunk_rows) {
      put_rows(d + done * row_digits, std::min(chunk_rows, rows - done), nullptr);
    }
  }

  void put_byte_rows(const std::uint8_t* b, std::size_t rows) {
    for (std::size_t done = 0; done < rows; done += chunk_rows) {
      const std::size_t now_rows = std::min(chunk_rows, rows - done);
      const std::uint8_t* from = b + done * row_digits / 2;
      k.encode(from, now_rows * row_digits / 2, digits.data());
      put_rows(digits.data(), now_rows, from);
    }
  }

  // The row in progress, once it holds all its digits or at the end of the stream.
  void put_row_in_progress() {
    char* o = room_for(1);
    if (options.char_column) k.dump_chars(row_bytes.data(), row_fill / 2, chars.data());
    o = put_row(number, options, row.data(), row_fill, chars.data(), o);
    used = static_cast<std::size_t>(o - block.get());
    row_start += row_fill;
    row_fill = 0;
  }

  // Adds digits to the row in progress, judging each pair as it completes; returns how many
  // it took.
  std::size_t add_to_row(const char* d, std::size_t n) {
    const std::size_t take = std::min(n, row_digits - row_fill);
    for (std::size_t i = 0; i < take; ++i) {
      row[row_fill] = d[i];
      if (row_fill % 2 == 1 && options.char_column) {
        const char* pair = row.data() + row_fill - 1;
        const int high = detail::digit_value[static_cast<unsigned char>(pair[0])];
        const int low = detail::digit_value[static_cast<unsigned char>(pair[1])];
        if ((high | low) < 0) fail_at(pair, row_start + row_fill - 1);
        row_bytes[row_fill / 2] = static_cast<std::uint8_t>((high << 4) | low);
      }
      ++row_fill;
    }
    if (row_fill == row_digits) put_row_in_progress();
    return take;
  }

  void text(std::string_view d) {
    std::size_t i = row_fill > 0 ? add_to_row(d.data(), d.size()) : 0;
    const std::size_t rows = (d.size() - i) / row_digits;
    put_text_rows(d.data() + i, rows);
    i += rows * row_digits;
    add_to_row(d.data() + i, d.size() - i);
  }

  void raw(std::span<const std::uint8_t> b) {
    if (row_fill % 2 != 0) {  // every pair straddles two given bytes: go through the digits
      for (std::size_t i = 0; i < b.size(); i += chunk_bytes) {
        const std::size_t n = std::min(chunk_bytes, b.size() - i);
        k.encode(b.data() + i, n, digits.data());
        text({digits.data(), 2 * n});
      }
      return;
    }
    std::size_t i = 0;
    if (row_fill > 0) i = add_bytes_to_row(b);
    const std::size_t rows = (b.size() - i) / (row_digits / 2);
    put_byte_rows(b.data() + i, rows);
    i += rows * row_digits / 2;
    add_bytes_to_row(b.subspan(i));
  }

  std::size_t add_bytes_to_row(std::span<const std::uint8_t> b) {
    const std::size_t take = std::min(b.size(), (row_digits - row_fill) / 2);
    k.encode(b.data(), take, row.data() + row_fill);
    std::memcpy(row_bytes.data() + row_fill / 2, b.data(), take);
    row_fill += 2 * take;
    if (row_fill == row_digits) put_row_in_progress();
    return take;
  }

  void check_writable() const {
    if (now == status::finished) throw std::logic_error("Mivo.dump_writer: written after finish");
    if (now == status::spent) throw std::logic_error("Mivo.dump_writer: used after a failure");
  }

  // Runs one call; any exception spends the writer.
  template <class Step>
  void run(Step step) {
    try {
      step();
      flush();
    } catch (...) {
      now = status::spent;
      throw;
    }
  }
};

dump_writer::dump_writer(std::ostream& out) : dump_writer(dump_options{}, out) {}

dump_writer::dump_writer(dump_options options, std::ostream& out)
    : state_(std::make_unique<state>(options, out)) {}

dump_writer::~dump_writer() {
  if (state_->now != state::status::open) return;
  try {
    finish();
  } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor must not throw
  }
}

// An empty piece changes nothing; its data pointer may be null, so it never reaches memcpy.
void dump_writer::write_text(std::string_view digits) {
  state_->check_writable();
  if (digits.empty()) return;
  state_->run([&] { state_->text(digits); });
}

void dump_writer::write_bytes(std::span<const std::uint8_t> bytes) {
  state_->check_writable();
  if (bytes.empty()) return;
  state_->run([&] { state_->raw(bytes); });
}

void dump_writer::finish() {
  if (state_->now == state::status::finished) return;
  state_->check_writable();
  state_->run([&] {
    if (state_->row_fill > 0) state_->put_row_in_progress();
  });
  state_->now = state::status::finished;
}

}  // namespace mivo
