// Reading a hex dump back into bytes: a per-character state machine that takes every layout and
// edit, and a fast path for runs of rows laid out exactly as the dump writes them.
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "codec.hpp"
#include "dump_geometry.hpp"
#include "kernels/kernels.hpp"
#include "layout_reader.hpp"
#include "page_buffer.hpp"
#include "row_places.hpp"
#include "tables.hpp"
#include "writer_life.hpp"

namespace mivo {

dump_error::dump_error(const std::string& reason, std::uint64_t line, std::uint64_t column,
                       std::size_t position)
    : decode_error(
          "line " + std::to_string(line) + ": column " + std::to_string(column) + ": " + reason,
          position),
      line_(line),
      column_(column),
      reason_start_(std::char_traits<char>::length(what()) - reason.size()) {}

dump_error::~dump_error() = default;

const char* dump_error::reason() const noexcept { return what() + reason_start_; }

namespace {

namespace layout = detail::layout;

// Rows the fast path gathers before decoding them in one call.
constexpr std::size_t batch_rows = 512;
constexpr char escape = '\x1b';

constexpr const char* bad_label = "invalid row label";
constexpr const char* label_range = "row label out of range";
constexpr const char* bad_escape = "invalid escape sequence";

// Where in its line the next character falls.
enum class part : std::uint8_t {
  line_start,
  label,        // digits of the label, up to ':'
  after_colon,  // the space after "N:"
  digits,
  after_space,  // one space after digits: more digits, or a second space
  char_column,  // the rest of the line, ignored
  star,         // after a line's '*'
};

enum class escape_part : std::uint8_t { none, bracket, params };

// The options of the classic reader for a layout of the kernels' shape.
dump_options classic_options(const dump_layout& l) noexcept {
  return {.row_numbers = l.labelled(),
          .label = l.labelled() ? l.label() : row_label::row_number,
          .first_offset = l.first_offset()};
}

// The reader of the kernels' shape: a per-character state machine, and whole rows through the
// kernel.
struct classic_reader : detail::row_places {
  classic_reader(const dump_options& layout, dump_reader::sink to, dump_reader::repeat_sink repeats,
                 bool forward)
      : row_places(std::move(to), std::move(repeats), forward),
        labelled(layout.row_numbers && layout.label != row_label::none),
        hex_labels(layout.label == row_label::byte_offset),
        next_unlabelled(layout.first_offset),
        digits(std::make_unique_for_overwrite<char[]>(batch_rows * layout::row_digits +
                                                      detail::read_slack)) {}

  const bool labelled;
  const bool hex_labels;
  std::uint64_t next_unlabelled;  // where an unlabelled row goes
  const detail::kernel& k = detail::active_kernel();

  // Where the next character stands.
  std::uint64_t line = 1;
  std::uint64_t column = 1;
  std::uint64_t position = 0;

  part where = part::line_start;
  escape_part in_escape = escape_part::none;
  std::uint64_t label_value = 0;
  std::uint64_t label_column = 0;
  bool label_has_digits = false;
  int high_digit = -1;      // a row's digit waiting for its pair
  bool cr_pending = false;  // a piece ended in '\r': a line end if '\n' comes next
  std::uint64_t high_column = 0;

  std::unique_ptr<char[]> digits;  // the fast path's gathered digits
  std::array<const char*, batch_rows + 1> row_starts{};

  // Hands on the rows before this line, then throws.
  [[noreturn]] void fail(const char* reason, std::uint64_t at_column) {
    flush();
    const std::uint64_t back = column - at_column;
    throw dump_error(reason, line, at_column, static_cast<std::size_t>(position - back));
  }

  // A row begins at `place`; its label, if any, starts at label_column.
  void place_row(std::uint64_t place) {
    if (star_pending) repeat_last_row(place);
    if (forward_only && place < end_so_far) {
      fail("row placed before the end of the rows before it", label_column);
    }
    row_place = place;
    row_size = 0;
    high_digit = -1;
  }

  void end_row() {
    if (high_digit >= 0) fail(detail::odd_length_message, high_column);
    row_places::end_row();
    if (!labelled) next_unlabelled = last_end;
  }

  void digit(char c) {
    const int value = detail::digit_value[static_cast<unsigned char>(c)];
    if (value < 0) fail(detail::invalid_char_message(c).c_str(), column);
    if (high_digit < 0) {
      high_digit = value;
      high_column = column;
      return;
    }
    if (row_size == max_row_bytes) fail("row holds more than 65536 bytes", column);
    if (row_place + row_size == UINT64_MAX) fail(label_range, column);
    row[row_size++] = static_cast<std::uint8_t>((high_digit << 4) | value);
    high_digit = -1;
  }

  void label_digit(char c) {
    const int value = detail::digit_value[static_cast<unsigned char>(c)];
    const unsigned base = hex_labels ? 16 : 10;
    if (value < 0 || static_cast<unsigned>(value) >= base) fail(bad_label, column);
    // A row number n goes to 16n, which must fit as well.
    const std::uint64_t limit = hex_labels ? UINT64_MAX : UINT64_MAX / layout::row_bytes;
    if (label_value > (limit - static_cast<unsigned>(value)) / base) fail(label_range, column);
    label_value = label_value * base + static_cast<unsigned>(value);
    label_has_digits = true;
  }

  void end_label() {
    if (!label_has_digits) fail(bad_label, column);
    place_row(hex_labels ? label_value : label_value * layout::row_bytes);
    where = part::after_colon;
  }

  void begin_line(char c) {
    if (c == '*') {
      if (!labelled) fail("a '*' line needs row labels", column);
      if (!have_row) fail("a '*' line with no row before it", column);
      where = part::star;
      return;
    }
    if (labelled) {
      label_value = 0;
      label_has_digits = false;
      label_column = column;
      where = part::label;
      label_digit(c);
      return;
    }
    label_column = column;
    place_row(next_unlabelled);
    where = part::digits;
    digit(c);
  }

  void end_line() {
    switch (where) {
      case part::line_start:
        break;
      case part::label:
        fail(bad_label, column);
      case part::star:
        star_pending = true;
        break;
      default:
        end_row();
    }
    where = part::line_start;
  }

  void escape_char(char c) {
    if (in_escape == escape_part::bracket) {
      if (c != '[') fail(bad_escape, column);
      in_escape = escape_part::params;
    } else if (c == 'm') {
      in_escape = escape_part::none;
    } else if ((c < '0' || c > '9') && c != ';') {
      fail(bad_escape, column);
    }
  }

  // One character of the slow path; `column` is its own.
  void step(char c) {
    if (in_escape != escape_part::none) return escape_char(c);
    if (c == '\n') return end_line();
    if (c == escape && where != part::char_column) {
      in_escape = escape_part::bracket;
      return;
    }
    switch (where) {
      case part::line_start:
        return begin_line(c);
      case part::label:
        return c == ':' ? end_label() : label_digit(c);
      case part::after_colon:
        if (c != ' ') fail(bad_label, column);
        where = part::digits;
        return;
      case part::digits:
        if (c == ' ') {
          where = part::after_space;
          return;
        }
        return digit(c);
      case part::after_space:
        if (c == ' ') {
          where = part::char_column;
          return;
        }
        where = part::digits;
        return digit(c);
      case part::char_column:
        return;
      case part::star:
        fail("a '*' line holds nothing else", column);
    }
  }

  // The slow path up to the end of the line that p is in, or of the text. A '\r' right before
  // a '\n' belongs to the line end, so dumps with CRLF line ends read as they are.
  const char* slow_line(const char* p, const char* end) {
    const auto* line_feed = static_cast<const char*>(std::memchr(p, '\n', end - p));
    const char* stop = line_feed != nullptr ? line_feed + 1 : end;
    for (; p != stop; ++p) {
      if (*p == '\r' && p + 1 == end) {
        cr_pending = true;
      } else if (*p != '\r' || p[1] != '\n') {
        step(*p);
      }
      ++position;
      ++column;
    }
    if (line_feed != nullptr) {
      ++line;
      column = 1;
    }
    return p;
  }

  std::uint64_t next_place() const noexcept { return labelled ? last_end : next_unlabelled; }

  // Rows exactly as the dump writes them, each at the end of the one before: read a batch at a
  // time. Returns where the first other line starts.
  const char* fast_rows(const char* p, const char* end) {
    if (labelled && (!have_row || (!hex_labels && last_end % layout::row_bytes != 0))) return p;
    const std::uint64_t first = next_place();
    detail::label_digits label(hex_labels ? first : first / layout::row_bytes, hex_labels);
    for (;;) {
      const std::uint64_t place = next_place();
      if (used > 0 && block_offset + used != place) flush();
      const std::size_t rows = gather_rows(p, end, label, rows_that_fit(place));
      if (rows == 0) return p;
      const std::size_t good = decode_rows(rows, place);
      p = row_starts[good];
      if (good < rows || rows < batch_rows) return p;
    }
  }

  // Gathers the digits of up to a batch of rows from p on; row_starts[i] is where row i starts,
  // and row_starts[count] where the rest does.
  std::size_t gather_rows(const char* p, const char* end, detail::label_digits& label,
                          std::size_t max_rows) {
    if (used > 0 && block_bytes - used < batch_rows * layout::row_bytes) flush();
    row_starts[0] = p;
    return k.read_rows(p, end, labelled ? &label : nullptr, max_rows, digits.get(),
                       row_starts.data() + 1);
  }

  // Full rows from `place` on whose bytes all have a place below 2^64 - 1, as digit() demands:
  // the row that would pass it is left to the slow path, which fails it.
  static std::size_t rows_that_fit(std::uint64_t place) noexcept {
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(batch_rows, (UINT64_MAX - place) / layout::row_bytes));
  }

  // Decodes the gathered rows into the block; returns how many were whole and valid.
  std::size_t decode_rows(std::size_t rows, std::uint64_t place) {
    const std::size_t pairs = rows * layout::row_bytes;
    const std::size_t good = k.decode(digits.get(), pairs, block.get() + used) / layout::row_bytes;
    if (good == 0) return 0;
    if (used == 0) block_offset = place;
    const std::size_t bytes = good * layout::row_bytes;
    std::memcpy(row.get(), block.get() + used + bytes - layout::row_bytes, layout::row_bytes);
    row_size = layout::row_bytes;
    used += bytes;
    have_row = true;
    last_end = block_offset + used;
    end_so_far = std::max(end_so_far, last_end);
    next_unlabelled = last_end;
    line += good;
    position += static_cast<std::uint64_t>(row_starts[good] - row_starts[0]);
    if (used == block_bytes) flush();
    return good;
  }

  // A '\r' that ended the last piece is an ordinary character unless a '\n' follows it.
  void settle_cr(bool line_feed_next) {
    if (!cr_pending) return;
    cr_pending = false;
    if (line_feed_next) return;
    --column;
    --position;
    step('\r');
    ++column;
    ++position;
  }

  void text(std::string_view piece) {
    settle_cr(piece.front() == '\n');
    const char* p = piece.data();
    const char* const end = p + piece.size();
    while (p != end) {
      if (where == part::line_start && in_escape == escape_part::none && !star_pending &&
          !cr_pending) {
        p = fast_rows(p, end);
        if (p == end) break;
      }
      p = slow_line(p, end);
    }
  }

  void finish() {
    settle_cr(false);
    if (in_escape != escape_part::none) fail(bad_escape, column);
    end_line();
    flush();
  }
};

}  // namespace

// A reader's state: the classic reader for the kernels' shape, the layout reader otherwise.
struct dump_reader::parser {
  parser(const dump_layout& layout, sink to, repeat_sink repeats, bool forward) {
    if (detail::kernel_shape(layout)) {
      classic = std::make_unique<classic_reader>(classic_options(layout), std::move(to),
                                                 std::move(repeats), forward);
    } else {
      general = std::make_unique<detail::layout_reader>(layout, std::move(to), std::move(repeats),
                                                        forward);
    }
  }

  std::unique_ptr<classic_reader> classic;
  std::unique_ptr<detail::layout_reader> general;
  detail::writer_life life{"Mivo.dump_reader"};

  template <class Step>
  void call(Step step) {
    life.check_writable();
    life.run([&] {
      if (classic) {
        step(*classic);
        classic->flush();
      } else {
        step(*general);
        general->flush();
      }
    });
  }
};

dump_reader::dump_reader(const dump_layout& layout, sink to, bool forward_only)
    : dump_reader(layout, std::move(to), repeat_sink(), forward_only) {}

dump_reader::dump_reader(const dump_layout& layout, sink to, repeat_sink repeats, bool forward_only)
    : parser_(std::make_unique<parser>(layout, std::move(to), std::move(repeats), forward_only)) {}

dump_reader::~dump_reader() {
  parser_->life.finish_quietly([this] { finish(); });
}

void dump_reader::write_text(std::string_view text) {
  parser_->call([&](auto& r) {
    if (!text.empty()) r.text(text);
  });
}

void dump_reader::finish() {
  parser_->life.finish_once([&] { parser_->call([](auto& r) { r.finish(); }); });
}

std::uint64_t dump_reader::line() const noexcept {
  return parser_->classic ? parser_->classic->line : parser_->general->line();
}
std::uint64_t dump_reader::column() const noexcept {
  return parser_->classic ? parser_->classic->column : parser_->general->column();
}

}  // namespace mivo
