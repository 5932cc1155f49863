// Hex dumps: rows of 32 digits in groups of 4, labels, a character column, squeezed runs and
// color. One engine renders rows for hexdump_s and dump_writer alike.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <ios>
#include <iostream>
#include <limits>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "codec.hpp"
#include "dump_geometry.hpp"
#include "dump_portable.hpp"
#include "kernels/dump_color.hpp"
#include "page_buffer.hpp"
#include "tables.hpp"
#include "writer_life.hpp"

namespace mivo {
namespace {

using namespace detail::layout;
using detail::label_digits;
using detail::min_number_width;
using detail::row_slack;

constexpr std::size_t rows_per_chunk = 64;  // rows decoded and rendered per kernel call
constexpr std::size_t chunk_bytes = rows_per_chunk * row_bytes;

namespace color = detail::color;
using color::byte_class;
using color::class_table;
using color::max_row_color_chars;

bool labelled(const dump_options& o) noexcept {
  return o.row_numbers && o.label != row_label::none;
}
bool hex_labels(const dump_options& o) noexcept { return o.label == row_label::byte_offset; }

// The most digits a dump may take: every byte's offset, and the end of the last, must fit in
// 64 bits, or the labels would pass what a reader accepts; and the count of digits must too.
std::uint64_t max_digits(const dump_layout& l) noexcept {
  const std::uint64_t base = l.offset_labels() ? l.first_offset() + l.displacement() : 0;
  return 2 * std::min(UINT64_MAX - base, UINT64_MAX / 2);
}

// The options the kernels' engine takes for a layout of their shape.
dump_options classic_options(const dump_layout& l) noexcept {
  return {.row_numbers = l.labelled(),
          .char_column = l.char_column(),
          .label = l.labelled() ? l.label() : row_label::row_number,
          .first_offset = l.first_offset(),
          .uppercase = l.uppercase(),
          .squeeze = l.squeeze(),
          .color = l.color()};
}

// Throws std::out_of_range when `added` digits after `done` pass max_digits.
void check_room(const char* who, std::uint64_t done, std::uint64_t added, std::uint64_t limit) {
  if (added > limit - done) {
    throw std::out_of_range(std::string(who) + ": byte offsets would pass 2^64 - 1");
  }
}

std::size_t row_count(std::size_t digits) noexcept {
  return digits / row_digits + (digits % row_digits != 0 ? 1 : 0);
}

// All the "%.8d: " labels of `rows` rows: 10 characters each, one more for every power of ten
// from 10^8 up that a row number reaches.
std::size_t row_number_chars(std::size_t rows) noexcept {
  std::size_t total = min_label_chars * rows;
  for (std::size_t threshold = 100'000'000; threshold < rows; threshold *= 10) {
    total += rows - threshold;
    if (threshold > std::numeric_limits<std::size_t>::max() / 10) break;
  }
  return total;
}

// The widest "%08x: " label of `rows` rows from `first`.
std::size_t offset_label_chars(std::uint64_t first, std::size_t rows) noexcept {
  const std::uint64_t span = std::uint64_t{row_bytes} * (rows == 0 ? 0 : rows - 1);
  const std::uint64_t last = span > ~first ? ~std::uint64_t{0} : first + span;
  const auto hex_digits = static_cast<std::size_t>((std::bit_width(last) + 3) / 4);
  return std::max(min_number_width, hex_digits) + 2;
}

// The dump's length: exact for plain layouts, an upper bound with squeeze or color.
std::size_t dump_size_bound(std::size_t digits, const dump_options& o) {
  // Any dump takes fewer than 3 characters per digit plus a row's worth, and color fewer than
  // 6 more per digit.
  if (digits > (std::string().max_size() - 64) / 9) {
    throw std::length_error("Mivo.hexdump_s: dump would be too long");
  }
  const std::size_t rows = row_count(digits);
  std::size_t size = rows * bare_row_chars;
  if (o.char_column) size += char_gap * rows + digits / 2;
  if (labelled(o)) {
    size +=
        hex_labels(o) ? rows * offset_label_chars(o.first_offset, rows) : row_number_chars(rows);
  }
  if (o.color) size += rows * max_row_color_chars;
  return size;
}

std::uint64_t first_word(const char* row) noexcept {
  std::uint64_t w = 0;
  std::memcpy(&w, row, sizeof w);
  return w;
}

// Whether two rows have the same 32 digits. Rows that differ nearly always differ in their
// first word, so that is looked at alone first.
bool same_row(const char* a, const char* b) noexcept {
  if (first_word(a) != first_word(b)) return false;
  return std::memcmp(a, b, row_digits) == 0;
}

// The first row from `from` (> 0) on that repeats the row before it, or `rows`. Four rows'
// first words are compared at a time without a branch between them: in data that does not
// repeat, this scan is all that squeezing costs.
std::size_t first_repeat(const char* digits, std::size_t from, std::size_t rows) noexcept {
  std::size_t r = from;
  for (; r + 4 <= rows; r += 4) {
    const char* p = digits + r * row_digits;
    const std::uint64_t before = first_word(p - row_digits);
    const std::uint64_t w0 = first_word(p);
    const std::uint64_t w1 = first_word(p + row_digits);
    const std::uint64_t w2 = first_word(p + 2 * row_digits);
    const std::uint64_t w3 = first_word(p + 3 * row_digits);
    if (static_cast<int>(w0 == before) + static_cast<int>(w1 == w0) + static_cast<int>(w2 == w1) +
            static_cast<int>(w3 == w2) !=
        0) {
      break;
    }
  }
  for (; r < rows; ++r) {
    if (same_row(digits + r * row_digits, digits + (r - 1) * row_digits)) return r;
  }
  return rows;
}

// Renders rows: labels, digits, the character column, squeezed runs and color. Full rows go
// through the kernel in chunks; a held row (a repeat that may turn out to be the last) waits
// until the next row or the end says what it is.
class row_engine {
 public:
  explicit row_engine(const dump_options& o)
      : options_(o), labelled_(labelled(o)), label_(label_at(0)) {}

  // The most one full row takes, with everything that may come before it.
  [[nodiscard]] static std::size_t max_row_chars(const dump_options& o) noexcept {
    return 2 + max_label_chars + row_chars + (o.color ? max_row_color_chars : 0) + row_slack;
  }

  // Renders `rows` full rows of `digits`; `bytes` are their bytes, or null to decode them here
  // when needed. Returns how many rows it rendered: fewer when one holds a non-digit, whose
  // pair index among these digits goes to `bad_pair`.
  std::size_t full_rows(const char* digits, const std::uint8_t* bytes, std::size_t rows, char*& out,
                        std::size_t& bad_pair) noexcept {
    for (std::size_t done = 0; done < rows; done += rows_per_chunk) {
      const std::size_t n = std::min(rows_per_chunk, rows - done);
      const char* d = digits + done * row_digits;
      const std::uint8_t* b = bytes != nullptr ? bytes + done * row_bytes : nullptr;
      std::size_t good = n;
      known_bytes_ = nullptr;
      if (options_.char_column || options_.color) {
        if (b == nullptr) {
          const std::size_t pairs = n * row_bytes;
          const std::size_t bad = k_.decode(d, pairs, bytes_.data());
          // Without the character column a bad pair is no failure: color finds it by itself.
          if (bad < pairs && options_.char_column) {
            good = bad / row_bytes;
            bad_pair = done * row_bytes + bad;
          }
          b = bad < pairs && !options_.char_column ? nullptr : bytes_.data();
        }
        known_bytes_ = b;
        if (options_.char_column) k_.dump_chars(b, good * row_bytes, chars_.data());
      }
      out = render(d, good, out);
      if (good < n) return done + good;
    }
    return rows;
  }

  // The last, partial row: n < 32 digits, with the bytes of its complete pairs.
  char* partial_row(const char* digits, std::size_t n, const std::uint8_t* bytes,
                    char* out) noexcept {
    if (n == 0) return out;
    out = release_held(out);
    if (options_.char_column) k_.dump_chars(bytes, n / 2, chars_.data());
    return put_row(digits, n, chars_.data(), out);
  }

  // The end of the dump: a held repeat is the last row, and shown.
  char* finish(char* out) noexcept {
    if (!held_) return out;
    held_ = false;
    std::swap(label_, held_label_);
    out = put_row(previous_.data(), row_digits, previous_chars_.data(), out);
    std::swap(label_, held_label_);
    return out;
  }

  // The dump stops at a bad pair: a held repeat before it is squeezed.
  char* abandon(char* out) noexcept { return release_held(out); }

  // Whether `count` more rows of zero bytes can be passed over as a squeezed run: the row
  // before is all zeros, and is held.
  [[nodiscard]] bool in_zero_run() const noexcept {
    return options_.squeeze && held_ &&
           std::all_of(previous_.begin(), previous_.end(), [](char c) { return c == '0'; });
  }

  // Passes over `count` repeats of the held row, as full_rows would, in constant time.
  char* skip_repeats(std::uint64_t count, char* out) noexcept {
    if (count == 0) return out;
    if (!starred_) {
      out = star(out);
      starred_ = true;
    }
    rows_done_ += count;
    held_label_ = label_at(rows_done_ - 1);
    label_ = label_at(rows_done_);
    return out;
  }

 private:
  [[nodiscard]] label_digits label_at(std::uint64_t row) const noexcept {
    if (!hex_labels(options_)) return {row, false};
    return {options_.first_offset + std::uint64_t{row_bytes} * row, true};
  }

  static char* star(char* out) noexcept {
    out[0] = '*';
    out[1] = '\n';
    return out + 2;
  }

  char* release_held(char* out) noexcept {
    if (held_ && !starred_) out = star(out);
    held_ = false;
    starred_ = false;
    return out;
  }

  [[nodiscard]] bool repeats(const char* row) const noexcept {
    return options_.squeeze && has_previous_ && same_row(row, previous_.data());
  }

  // Full rows whose characters are in chars_, squeezing repeats.
  char* render(const char* digits, std::size_t rows, char* out) noexcept {
    if (!options_.squeeze && !options_.color) return put_full_rows(digits, 0, rows, out);
    for (std::size_t r = 0; r < rows;) {
      if (repeats(digits + r * row_digits)) {
        if (held_ && !starred_) {
          out = star(out);
          starred_ = true;
        }
        held_ = true;
        held_label_ = label_;
        detail::advance_label_digits(label_);
        ++rows_done_;
        ++r;
        continue;
      }
      const std::size_t end = options_.squeeze ? first_repeat(digits, r + 1, rows) : rows;
      out = release_held(out);
      out = put_full_rows(digits + r * row_digits, r, end - r, out);
      has_previous_ = true;
      std::memcpy(previous_.data(), digits + (end - 1) * row_digits, row_digits);
      std::memcpy(previous_chars_.data(), chars_.data() + (end - 1) * row_bytes, row_bytes);
      r = end;
    }
    return out;
  }

  // Full rows of the chunk from its row `first`, whose digits start at `digits`.
  char* put_full_rows(const char* digits, std::size_t first, std::size_t rows, char* out) noexcept {
    const char* chars = chars_.data() + first * row_bytes;
    if (options_.color && known_bytes_ == nullptr) {  // text with a pair that is not hex
      for (std::size_t r = 0; r < rows; ++r) {
        out = put_row(digits + r * row_digits, row_digits, chars + r * row_bytes, out);
      }
      return out;
    }
    if (options_.color) {
      rows_done_ += rows;
      return k_.dump_color_rows(digits, known_bytes_ + first * row_bytes,
                                options_.char_column ? chars : nullptr, rows,
                                labelled_ ? &label_ : nullptr, out);
    }
    rows_done_ += rows;
    return k_.dump_rows(digits, options_.char_column ? chars : nullptr, rows,
                        labelled_ ? &label_ : nullptr, out);
  }

  // One row of n <= 32 digits, padded to the full digit columns, and its n/2 characters.
  char* put_row(const char* digits, std::size_t n, const char* chars, char* out,
                const std::uint8_t* bytes = nullptr) noexcept {
    if (labelled_) {
      out = detail::put_label_digits(label_, out);
      detail::advance_label_digits(label_);
    }
    ++rows_done_;
    if (options_.color) return put_color_row(digits, n, chars, bytes, out);
    for (std::size_t k = 0; k < n; ++k) {
      if (k != 0 && k % group_digits == 0) *out++ = ' ';
      *out++ = digits[k];
    }
    out = pad(n, out);
    if (options_.char_column) {
      std::memset(out, ' ', char_gap);
      std::memcpy(out + char_gap, chars, n / 2);
      out += char_gap + n / 2;
    }
    *out++ = '\n';
    return out;
  }

  static char* pad(std::size_t n, char* out) noexcept {
    const std::size_t missing = row_digits - n;
    const std::size_t padding = missing + missing / group_digits;
    std::memset(out, ' ', padding);
    return out + padding;
  }

  // Each pair's class from its digits; a pair that is not two digits, or a lone digit, is plain.
  static byte_class pair_class(const char* digits, std::size_t k, std::size_t n) noexcept {
    if (k + 1 >= n) return byte_class::plain;
    const int high = detail::digit_value[static_cast<unsigned char>(digits[k])];
    const int low = detail::digit_value[static_cast<unsigned char>(digits[k + 1])];
    const byte_class c = class_table[static_cast<unsigned>((high << 4) | low) & 0xffU];
    return (high | low) < 0 ? byte_class::plain : c;
  }

  // A row in color; `bytes` are those of its pairs when known, else the digits say.
  char* put_color_row(const char* digits, std::size_t n, const char* chars,
                      const std::uint8_t* bytes, char* out) const noexcept {
    std::array<byte_class, row_bytes> classes{};
    for (std::size_t k = 0; k + 1 < n; k += 2) {
      classes[k / 2] = bytes != nullptr ? class_table[bytes[k / 2]] : pair_class(digits, k, n);
    }
    return color::put_row(digits, n, classes.data(), options_.char_column ? chars : nullptr, out);
  }

  dump_options options_;
  bool labelled_;
  const detail::kernel& k_ = detail::active_kernel();
  label_digits label_;           // of the next row
  std::uint64_t rows_done_ = 0;  // rows rendered or passed over
  bool has_previous_ = false;    // the last full row shown, for squeezing
  std::array<char, row_digits> previous_{};
  std::array<char, row_bytes> previous_chars_{};
  bool held_ = false;     // a repeat of previous_, not yet known to be the last row
  bool starred_ = false;  // "*" is out for the current run
  label_digits held_label_;
  // Scratch, written before it is read: not zeroed, since a small dump would pay for it.
  std::array<std::uint8_t, chunk_bytes> bytes_;
  std::array<char, chunk_bytes> chars_;
  const std::uint8_t* known_bytes_ = nullptr;  // of the chunk in hand, when known
};

}  // namespace

std::string hexdump_s(const hex_text& h) { return hexdump_s(dump_layout::classic(), h); }

namespace {

std::string portable_hexdump_s(const dump_layout& layout, std::string_view digits) {
  std::string dump;
  dump.reserve(digits.size() * 2);
  detail::stream_block out(dump);
  detail::portable_dump engine(layout, out);
  engine.text(digits);
  engine.finish();
  out.flush();
  return dump;
}

}  // namespace

namespace detail {
std::string portable_dump_s(const dump_layout& layout, const hex_text& h) {
  check_room("Mivo.hexdump_s", 0, h.text.size(), max_digits(layout));
  return portable_hexdump_s(layout, h.text);
}
}  // namespace detail

std::string hexdump_s(const dump_layout& layout, const hex_text& h) {
  const std::string_view digits = h.text;
  check_room("Mivo.hexdump_s", 0, digits.size(), max_digits(layout));
  if (!detail::kernel_shape(layout)) return portable_hexdump_s(layout, digits);
  const dump_options options = classic_options(layout);
  row_engine engine(options);
  std::string dump;
  std::size_t bad_pair = 0;
  bool rendered = true;
  detail::overwrite_string_upto(
      dump, dump_size_bound(digits.size(), options) + detail::row_slack, [&](char* begin) noexcept {
        char* out = begin;
        const std::size_t rows = digits.size() / row_digits;
        const std::size_t done = engine.full_rows(digits.data(), nullptr, rows, out, bad_pair);
        rendered = done == rows;
        if (!rendered) return std::size_t{0};
        const std::size_t rest = rows * row_digits;
        std::array<std::uint8_t, row_bytes> last_bytes{};
        if (options.char_column) {
          const std::size_t pairs = (digits.size() - rest) / 2;
          const std::size_t bad =
              detail::decode_pairs(digits.substr(rest, 2 * pairs), last_bytes.data());
          if (bad < pairs) {
            rendered = false;
            bad_pair = rows * row_bytes + bad;
            return std::size_t{0};
          }
        }
        out =
            engine.partial_row(digits.data() + rest, digits.size() - rest, last_bytes.data(), out);
        out = engine.finish(out);
        return static_cast<std::size_t>(out - begin);
      });
  if (!rendered) detail::throw_bad_pair(digits.data() + 2 * bad_pair, 2 * bad_pair);
  return dump;
}

void hexdump(const hex_text& h) { hexdump(dump_layout::classic(), h); }

void hexdump(const dump_layout& layout, const hex_text& h) {
  const std::string dump = hexdump_s(layout, h);
  std::cout.write(dump.data(), static_cast<std::streamsize>(dump.size()));
}

namespace {

// The block rows are rendered into, asked for room by rows: a chunk of rows, and a held row,
// a star and the kernels' slack.
class block_sink {
 public:
  block_sink(std::ostream& out, std::size_t max_row_chars)
      : block_(out, "Mivo.dump_writer"), max_row_chars_(max_row_chars) {}

  char* room_for(std::size_t rows) { return block_.room((rows + 2) * max_row_chars_); }
  void commit(const char* end) noexcept { block_.commit(end); }
  void flush() { block_.flush(); }

 private:
  detail::stream_block block_;
  std::size_t max_row_chars_;
};

// The row in progress: its digits, and the bytes of its complete pairs, judged as they complete.
struct pending_row {
  std::array<char, row_digits> digits{};
  std::array<std::uint8_t, row_bytes> bytes{};
  std::size_t fill = 0;

  [[nodiscard]] bool full() const noexcept { return fill == row_digits; }
  [[nodiscard]] std::size_t room() const noexcept { return row_digits - fill; }
};

// A writer of the kernels' shape: its options, the engine, the block, the row in progress, where
// it is in the stream of digits, and whether it is still open.
struct classic_writer {
  classic_writer(const dump_layout& layout, std::ostream& s)
      : options(classic_options(layout)),
        digit_limit(max_digits(layout)),
        engine(options),
        sink(s, row_engine::max_row_chars(options)) {}

  dump_options options;
  const std::uint64_t digit_limit;
  row_engine engine;
  block_sink sink;
  pending_row row;
  std::uint64_t row_start = 0;  // position in the stream of digits of the row in progress
  const detail::kernel& k = detail::active_kernel();
  std::array<char, 2 * chunk_bytes> digits{};

  [[noreturn]] void fail_at(const char* pair, std::uint64_t position) {
    sink.commit(engine.abandon(sink.room_for(0)));
    sink.flush();
    detail::throw_bad_pair(pair, static_cast<std::size_t>(position));
  }

  // Whole rows of given digits, with their bytes when the caller has them.
  void put_rows(const char* d, std::size_t rows, const std::uint8_t* bytes) {
    for (std::size_t done = 0; done < rows; done += rows_per_chunk) {
      const std::size_t n = std::min(rows_per_chunk, rows - done);
      char* out = sink.room_for(n);
      std::size_t bad = 0;
      const char* chunk = d + done * row_digits;
      const std::size_t good = engine.full_rows(
          chunk, bytes != nullptr ? bytes + done * row_bytes : nullptr, n, out, bad);
      sink.commit(out);
      row_start += good * row_digits;
      if (good < n) fail_at(chunk + 2 * bad, row_start + 2 * bad - good * row_digits);
    }
  }

  void put_byte_rows(const std::uint8_t* b, std::size_t rows) {
    for (std::size_t done = 0; done < rows; done += rows_per_chunk) {
      const std::size_t n = std::min(rows_per_chunk, rows - done);
      const std::uint8_t* from = b + done * row_bytes;
      encode(from, n * row_bytes, digits.data());
      put_rows(digits.data(), n, from);
    }
  }

  void encode(const std::uint8_t* b, std::size_t n, char* out) const noexcept {
    (options.uppercase ? k.encode_upper : k.encode)(b, n, out);
  }

  void put_pending_row() {
    if (row.full()) {
      // The row's bytes are judged only for the character column; else the engine decodes.
      put_rows(row.digits.data(), 1, options.char_column ? row.bytes.data() : nullptr);
    } else {
      sink.commit(
          engine.partial_row(row.digits.data(), row.fill, row.bytes.data(), sink.room_for(1)));
      row_start += row.fill;
    }
    row.fill = 0;
  }

  // Adds digits to the row in progress, judging each pair as it completes; returns how many
  // it took.
  std::size_t add_to_row(const char* d, std::size_t n) {
    const std::size_t take = std::min(n, row.room());
    for (std::size_t i = 0; i < take; ++i) {
      row.digits[row.fill] = d[i];
      if (row.fill % 2 == 1 && options.char_column) {
        const char* pair = row.digits.data() + row.fill - 1;
        const int high = detail::digit_value[static_cast<unsigned char>(pair[0])];
        const int low = detail::digit_value[static_cast<unsigned char>(pair[1])];
        if ((high | low) < 0) fail_at(pair, row_start + row.fill - 1);
        row.bytes[row.fill / 2] = static_cast<std::uint8_t>((high << 4) | low);
      }
      ++row.fill;
    }
    if (row.full()) put_pending_row();
    return take;
  }

  std::size_t add_bytes_to_row(std::span<const std::uint8_t> b) {
    const std::size_t take = std::min(b.size(), row.room() / 2);
    if (take == 0) return 0;
    encode(b.data(), take, row.digits.data() + row.fill);
    std::memcpy(row.bytes.data() + row.fill / 2, b.data(), take);
    row.fill += 2 * take;
    if (row.full()) put_pending_row();
    return take;
  }

  void text(std::string_view d) {
    std::size_t i = row.fill > 0 ? add_to_row(d.data(), d.size()) : 0;
    const std::size_t rows = (d.size() - i) / row_digits;
    put_rows(d.data() + i, rows, nullptr);
    i += rows * row_digits;
    add_to_row(d.data() + i, d.size() - i);
  }

  void raw(std::span<const std::uint8_t> b) {
    if (row.fill % 2 != 0) {  // every pair straddles two given bytes: go through the digits
      for (std::size_t i = 0; i < b.size(); i += chunk_bytes) {
        const std::size_t n = std::min(chunk_bytes, b.size() - i);
        encode(b.data() + i, n, digits.data());
        text({digits.data(), 2 * n});
      }
      return;
    }
    std::size_t i = row.fill > 0 ? add_bytes_to_row(b) : 0;
    const std::size_t rows = (b.size() - i) / row_bytes;
    put_byte_rows(b.data() + i, rows);
    i += rows * row_bytes;
    add_bytes_to_row(b.subspan(i));
  }

  void zeros(std::uint64_t count) {
    static constexpr std::array<std::uint8_t, chunk_bytes> zero_block{};
    while (count > 0) {
      // Once the engine holds a zero row, whole rows of zeros are a squeezed run: pass them.
      if (row.fill == 0 && count >= 2 * row_bytes && engine.in_zero_run()) {
        const std::uint64_t rows = count / row_bytes - 1;  // the last may end the input
        sink.commit(engine.skip_repeats(rows, sink.room_for(0)));
        row_start += rows * row_digits;
        count -= rows * row_bytes;
      }
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, zero_block.size()));
      raw({zero_block.data(), n});
      count -= n;
    }
  }

  void finish_rows() {
    if (row.fill > 0) put_pending_row();
    sink.commit(engine.finish(sink.room_for(1)));
  }

  [[nodiscard]] std::uint64_t digits_done() const noexcept { return row_start + row.fill; }
  void flush() { sink.flush(); }
};

// A writer of any other layout, through the portable formatter.
struct portable_writer {
  portable_writer(const dump_layout& layout, std::ostream& s)
      : digit_limit(max_digits(layout)), out(s, "Mivo.dump_writer"), engine(layout, out) {}

  const std::uint64_t digit_limit;
  detail::stream_block out;
  detail::portable_dump engine;

  void text(std::string_view d) { engine.text(d); }
  void raw(std::span<const std::uint8_t> b) { engine.bytes(b); }
  void zeros(std::uint64_t count) { engine.zeros(count); }
  void finish_rows() { engine.finish(); }
  [[nodiscard]] std::uint64_t digits_done() const noexcept { return engine.digits_done(); }
  void flush() { out.flush(); }
};

}  // namespace

// A writer's state: one of the two engines, and whether it is still open.
struct dump_writer::renderer {
  renderer(const dump_layout& layout, std::ostream& s) {
    if (detail::kernel_shape(layout)) {
      classic = std::make_unique<classic_writer>(layout, s);
    } else {
      portable = std::make_unique<portable_writer>(layout, s);
    }
  }

  std::unique_ptr<classic_writer> classic;
  std::unique_ptr<portable_writer> portable;
  detail::writer_life life{"Mivo.dump_writer"};

  // One call of the writer: checked, run on its engine, and its rows handed to the stream.
  // `step` takes the engine; `digits` are the digits it will add, checked against the limit.
  template <class Step>
  void call(std::uint64_t digits, Step step) {
    life.check_writable();
    life.run([&] {
      if (classic) {
        run(*classic, digits, step);
      } else {
        run(*portable, digits, step);
      }
    });
  }

  template <class Writer, class Step>
  static void run(Writer& w, std::uint64_t digits, Step step) {
    check_room("Mivo.dump_writer", w.digits_done(), digits, w.digit_limit);
    step(w);
    w.flush();
  }
};

dump_writer::dump_writer(std::ostream& out) : dump_writer(dump_layout::classic(), out) {}

dump_writer::dump_writer(const dump_layout& layout, std::ostream& out)
    : renderer_(std::make_unique<renderer>(layout, out)) {}

dump_writer::~dump_writer() {
  renderer_->life.finish_quietly([this] { finish(); });
}

namespace {
std::uint64_t digits_of(std::uint64_t bytes) noexcept {
  return bytes > UINT64_MAX / 2 ? UINT64_MAX : 2 * bytes;
}
}  // namespace

// An empty piece changes nothing; its data pointer may be null, so it never reaches memcpy.
void dump_writer::write_text(std::string_view digits) {
  renderer_->call(digits.size(), [&](auto& w) {
    if (!digits.empty()) w.text(digits);
  });
}

void dump_writer::write_bytes(std::span<const std::uint8_t> bytes) {
  renderer_->call(digits_of(bytes.size()), [&](auto& w) {
    if (!bytes.empty()) w.raw(bytes);
  });
}

void dump_writer::write_zeros(std::uint64_t count) {
  renderer_->call(digits_of(count), [&](auto& w) {
    if (count != 0) w.zeros(count);
  });
}

void dump_writer::finish() {
  renderer_->life.finish_once([&] { renderer_->call(0, [](auto& w) { w.finish_rows(); }); });
}

}  // namespace mivo
