#include "layout_reader.hpp"

#include <algorithm>
#include <cstring>

#include "codec.hpp"
#include "kernels/kernels.hpp"
#include "tables.hpp"

namespace mivo::detail {
namespace {

constexpr const char* bad_label = "invalid row label";
constexpr const char* label_range = "row label out of range";
constexpr const char* bad_escape = "invalid escape sequence";
constexpr char escape = '\x1b';
constexpr std::size_t run_digits = 16384;  // the digits of a run of rows read at once

// A plan that gathers the characters at `places` side by side.
place_plan gather_plan(const std::vector<int>& places, std::size_t width) {
  return make_place_plan(places, std::vector<char>(places.size(), ' '), width);
}

// How far past a row's start a plan may read.
std::size_t reach_of(const place_plan& plan) noexcept {
  std::size_t reach = 0;
  for (const place_step s : plan.steps) reach = std::max(reach, std::size_t{s.from} + plan.width);
  return reach;
}

bool label_digit(char c, unsigned base, unsigned& value) noexcept {
  const int v = digit_value[static_cast<unsigned char>(c)];
  if (v < 0 || static_cast<unsigned>(v) >= base) return false;
  value = static_cast<unsigned>(v);
  return true;
}

}  // namespace

layout_reader::layout_reader(const dump_layout& layout, dump_reader::sink to,
                             dump_reader::repeat_sink repeats, bool forward_only)
    : row_places(std::move(to), std::move(repeats), forward_only),
      layout_(layout),
      g_(geometry_of(layout)),
      offset_labels_(layout.offset_labels()),
      next_unlabelled_(layout.first_offset()),
      row_tail_(g_.row_chars(layout.char_column()) - g_.digit_columns) {
  std::vector<bool> digit(g_.digit_columns, false);
  for (std::size_t i = 0; i < g_.columns; ++i) {
    std::fill_n(digit.begin() + g_.byte_at[i], g_.unit, true);
  }
  for (std::size_t p = 0; p < g_.digit_columns; ++p) {
    if (!digit[p]) gaps_.push_back(static_cast<std::uint16_t>(p));
  }
  std::vector<int> digit_places;
  for (std::size_t b = 0; b < g_.columns; ++b) {
    for (std::size_t d = 0; d < g_.unit; ++d) {
      digit_places.push_back(static_cast<int>(g_.byte_at[b] + d));
    }
  }
  digit_plan_ = gather_plan(digit_places, k_.place_width);
  reach_ = reach_of(digit_plan_);
  const std::size_t row_digits = g_.columns * g_.unit;
  run_rows_ = std::max<std::size_t>(1, run_digits / row_digits);
  run_labels_.resize(run_rows_ * placed_rows::label_stride + max_place_width);
  run_digits_.resize(run_rows_ * row_digits + max_place_width);
  run_bytes_.resize(run_rows_ * g_.columns);
}

// The label the row after a full row at `last_end` would have, when it has one.
void layout_reader::expect_after_row() noexcept {
  expecting_ = false;
  if (!layout_.labelled() || row_size != g_.columns) return;
  std::uint64_t value = 0;
  if (offset_labels_) {
    if (__builtin_add_overflow(last_end, layout_.displacement(), &value)) return;
  } else {
    if (last_end % g_.columns != 0) return;
    value = last_end / g_.columns;
  }
  expected_ = label_text(value, g_.label_base, g_.label_step, g_.label_end);
  expecting_ = true;
}

// Whole lines that are full rows exactly as the writer lays them out, each following the row
// before it: read in place, a run at a time. Returns where it stopped: at the first line that
// is anything else, which the line by line reading then judges.
const char* layout_reader::read_rows(const char* p, const char* end) {
  const bool labelled = layout_.labelled();
  const std::size_t row_digits = g_.columns * g_.unit;
  while (!star_pending && (expecting_ || !labelled)) {
    const std::uint64_t place = labelled ? last_end : next_unlabelled_;
    if (forward_only && place < end_so_far) return p;
    const line_shape& shape = shape_for(labelled ? expected_.size() : 0);
    const std::uint64_t first_value = expected_.value();
    std::size_t n = rows_that_fit(static_cast<std::size_t>(end - p), shape, place);
    if (n == 0) return p;
    if (labelled) n = labels_for(n);
    const std::size_t good = decoded_rows(k_.read_lines(shape, digit_plan_, p, run_labels_.data(),
                                                        n, run_digits_.data(), row_digits));
    if (good > 0) hand_on(place, good);
    position_ += good * shape.size();
    line_ += good;
    p += good * shape.size();
    if (good < n) {
      if (labelled) {
        expected_.set(first_value + good * g_.label_step);
        expecting_ = true;
      }
      return p;
    }
  }
  return p;
}

// A full line's shape when its label has `label` characters.
const line_shape& layout_reader::shape_for(std::size_t label) {
  const std::size_t size = label + g_.digit_columns + row_tail_;
  if (shape_.size() == size) return shape_;
  shape_ = line_shape(size, label);
  for (const std::uint16_t gap : gaps_) shape_.fix(label + gap, ' ');
  shape_.fix(size - 1, '\n');
  shape_.let_printable(label + g_.digit_columns, size - 1);
  return shape_;
}

// How many lines of `shape` a run may take from text with `left` characters, the first placed
// at `first`: each is read as far as its check or its digits' plan reaches, and none may place
// a byte past the last place there is.
std::size_t layout_reader::rows_that_fit(std::size_t left, const line_shape& shape,
                                         std::uint64_t first) const noexcept {
  const std::size_t reach = std::max(shape.label_size() + reach_, shape.reach());
  if (left < reach || first > UINT64_MAX - 1 - g_.columns) return 0;
  const std::uint64_t placeable = (UINT64_MAX - 1 - g_.columns - first) / g_.columns + 1;
  return std::min({run_rows_, (left - reach) / shape.size() + 1,
                   static_cast<std::size_t>(std::min<std::uint64_t>(placeable, run_rows_))});
}

// Writes the labels the next rows must hold, up to n of them, while they are as wide as the
// first; returns how many. Expects none after them when the last is the last label there is.
std::size_t layout_reader::labels_for(std::size_t n) {
  const std::uint64_t after_first = (UINT64_MAX - expected_.value()) / g_.label_step;
  const bool to_the_last = after_first < n;
  if (to_the_last) n = static_cast<std::size_t>(after_first) + 1;
  std::size_t size = 0;
  const std::size_t written =
      expected_.put_run(run_labels_.data(), placed_rows::label_stride, n, size);
  if (to_the_last && written == n) expecting_ = false;
  return written;
}

// Decodes the gathered digits of n rows into run_bytes_; returns how many lead that are good.
std::size_t layout_reader::decoded_rows(std::size_t n) noexcept {
  const std::size_t row_digits = g_.columns * g_.unit;
  const char* digits = run_digits_.data();
  std::uint8_t* out = run_bytes_.data();
  switch (layout_.base()) {
    case dump_base::hex:
      return k_.decode(digits, n * g_.columns, out) / g_.columns;
    case dump_base::binary:
      if (k_.decode_bits(digits, n * g_.columns, out)) return n;
      for (std::size_t r = 0; r < n; ++r) {
        if (!k_.decode_bits(digits + r * row_digits, g_.columns, out + r * g_.columns)) return r;
      }
      return n;
    default:
      break;
  }
  const unsigned radix = layout_.base() == dump_base::octal ? 8 : 10;
  for (std::size_t i = 0; i < n * g_.columns; ++i) {
    unsigned value = 0;
    for (std::size_t j = 0; j < g_.unit; ++j) {
      const unsigned d = static_cast<unsigned char>(digits[i * g_.unit + j]) - unsigned{'0'};
      value = d >= radix ? 256 : value * radix + d;
    }
    if (value > 255) return i / g_.columns;
    out[i] = static_cast<std::uint8_t>(value);
  }
  return n;
}

// n decoded rows from `place` on, handed on as end_row hands on each.
void layout_reader::hand_on(std::uint64_t place, std::size_t n) {
  const std::size_t bytes = n * g_.columns;
  put(place, run_bytes_.data(), bytes);
  std::memcpy(row.get(), run_bytes_.data() + bytes - g_.columns, g_.columns);
  row_place = place + bytes - g_.columns;
  row_size = g_.columns;
  have_row = true;
  last_end = place + bytes;
  end_so_far = std::max(end_so_far, last_end);
  next_unlabelled_ = last_end;
}

void layout_reader::fail(const std::string& reason, std::size_t at) const {
  fail(reason.c_str(), at);
}

// Hands on the rows before this line, then throws for the character at `at` of the line read.
void layout_reader::fail(const char* reason, std::size_t at) const {
  auto& self = const_cast<layout_reader&>(*this);  // the rows before are handed on first
  self.row_places::flush();
  std::uint64_t col = at;
  if (mapped_ && !plain_columns_.empty()) {
    col = at < plain_columns_.size() ? plain_columns_[at] : plain_columns_.back() + 1;
  }
  throw dump_error(reason, line_, col + 1, static_cast<std::size_t>(position_ + col));
}

void layout_reader::text(std::string_view piece) {
  const char* p = piece.data();
  const char* const end = p + piece.size();
  while (p != end) {
    if (pending_.empty()) {
      p = read_rows(p, end);
      if (p == end) return;
    }
    const auto* nl =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (nl == nullptr) {
      if (pending_.size() + static_cast<std::size_t>(end - p) > max_line) {
        fail("line longer than 1 MiB", pending_.size());
      }
      pending_.append(p, end);
      return;
    }
    auto length = static_cast<std::size_t>(nl - p);
    if (!pending_.empty()) {
      pending_.append(p, nl);
      length = pending_.size();
      read_line(pending_);
      pending_.clear();
    } else {
      read_line({p, static_cast<std::size_t>(nl - p)});
    }
    position_ += length + 1;
    ++line_;
    p = nl + 1;
  }
}

void layout_reader::finish() {
  if (!pending_.empty()) {
    read_line(pending_);
    position_ += pending_.size();
    pending_.clear();
  }
  row_places::flush();
}

std::string_view layout_reader::strip_escapes(std::string_view s) {
  plain_.clear();
  plain_columns_.clear();
  mapped_ = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != escape) {
      plain_.push_back(s[i]);
      plain_columns_.push_back(static_cast<std::uint32_t>(i));
      continue;
    }
    std::size_t j = i + 1;
    if (j == s.size() || s[j] != '[') fail(bad_escape, j);
    for (++j; j < s.size() && s[j] != 'm'; ++j) {
      if ((s[j] < '0' || s[j] > '9') && s[j] != ';') fail(bad_escape, j);
    }
    if (j == s.size()) fail(bad_escape, j);
    i = j;
  }
  mapped_ = true;
  return plain_;
}

void layout_reader::read_line(std::string_view s) {
  mapped_ = false;
  if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
  if (s.find(escape) != std::string_view::npos) s = strip_escapes(s);
  if (s.empty()) return;
  if (s[0] == '*') {
    if (!layout_.labelled()) fail("a '*' line needs row labels", 0);
    if (!have_row) fail("a '*' line with no row before it", 0);
    if (s.size() > 1) fail("a '*' line holds nothing else", 1);
    star_pending = true;
    return;
  }
  std::size_t at = 0;
  if (layout_.labelled()) {
    bool closing = false;
    at = read_label(s, closing);
    if (closing) return;
  } else {
    place_row(next_unlabelled_, 0);
  }
  read_groups(s, at);
  end_row();
  if (!layout_.labelled()) next_unlabelled_ = last_end;
  expect_after_row();
}

// Reads the label and places the row; returns where the digits start. A label alone, where the
// layout ends with one, is the closing line: `closing`, and a '*' before it repeats up to it.
std::size_t layout_reader::read_label(std::string_view s, bool& closing) {
  const unsigned base = g_.label_base;
  const bool offsets = offset_labels_;
  std::uint64_t value = 0;
  std::size_t i = 0;
  for (unsigned d = 0; i < s.size() && label_digit(s[i], base, d); ++i) {
    if (__builtin_mul_overflow(value, base, &value) || __builtin_add_overflow(value, d, &value)) {
      fail(label_range, i);
    }
  }
  if (i == 0) fail(bad_label, 0);
  std::uint64_t place = value;
  if (!offsets && __builtin_mul_overflow(value, std::uint64_t{g_.columns}, &place)) {
    fail(label_range, 0);
  }
  if (offsets) {
    if (value < layout_.displacement()) fail(label_range, 0);
    place = value - layout_.displacement();
  }
  if (i == s.size() && g_.closing_line) {
    if (star_pending) repeat_last_row(place);
    closing = true;
    return i;
  }
  if (s.substr(i, g_.label_end.size()) != g_.label_end) fail(bad_label, i);
  place_row(place, 0);
  return i + g_.label_end.size();
}

void layout_reader::place_row(std::uint64_t place, std::size_t label_at) {
  if (star_pending) repeat_last_row(place);
  if (forward_only && place < end_so_far) {
    fail("row placed before the end of the rows before it", label_at);
  }
  row_place = place;
  row_size = 0;
}

// The groups of the digit part, each from its own columns. A group short of bytes ends the row:
// the groups after it must be blank.
void layout_reader::read_groups(std::string_view s, std::size_t from) {
  const std::string_view digits = s.substr(from);
  bool ended = false;
  std::size_t gap = 0;  // where the spaces before the next group start
  for (std::size_t k = 0; k < g_.group_count(); ++k) {
    const std::size_t start = g_.group_start(k);
    // The spaces between groups belong to the layout: a digit there is out of place.
    const std::size_t stray = digits.substr(0, start).find_first_not_of(' ', gap);
    if (stray != std::string_view::npos) fail("misplaced digits", from + stray);
    gap = start + g_.group_bytes(k) * g_.unit;
    if (start >= digits.size()) return;
    const std::string_view field = digits.substr(start, g_.group_bytes(k) * g_.unit);
    const std::size_t at = from + start;
    if (ended) {
      const std::size_t stray = field.find_first_not_of(' ');
      if (stray != std::string_view::npos) fail("bytes after a short group", at + stray);
      continue;
    }
    ended = read_field(field, k, at) < g_.group_bytes(k);
  }
}

// One group's bytes: left-aligned units in order, or with little-endian words right-aligned
// units last byte first. Returns how many bytes it held.
std::size_t layout_reader::read_field(std::string_view field, std::size_t group, std::size_t at) {
  const std::size_t size = g_.group_bytes(group);
  const std::size_t width = size * g_.unit;
  std::size_t first = 0;
  std::size_t last = field.size();
  if (g_.little) {
    first = std::min(field.find_first_not_of(' '), field.size());
    if (first != field.size() && field.size() < width) fail("group cut short", at + field.size());
  } else {
    last = std::min(field.find(' '), field.size());
    const std::size_t stray = field.find_first_not_of(' ', last);
    if (stray != std::string_view::npos) fail("misplaced digits", at + stray);
  }
  const std::size_t chars = last - first;
  const std::size_t inner_space = field.substr(first, chars).find(' ');
  if (inner_space != std::string_view::npos) fail("misplaced digits", at + first + inner_space);
  if (chars % g_.unit != 0) {
    fail(layout_.base() == dump_base::hex ? odd_length_message : "incomplete byte",
         at + last - chars % g_.unit);
  }
  const std::size_t n = chars / g_.unit;
  for (std::size_t j = 0; j < n; ++j) {
    const std::size_t slot = g_.little ? size - 1 - j : j;
    const std::size_t unit_at = slot * g_.unit;
    if (row_place + row_size == UINT64_MAX) fail(label_range, at + unit_at);
    row[row_size++] = read_unit(field.data() + unit_at, at + unit_at);
  }
  return n;
}

std::uint8_t layout_reader::read_unit(const char* unit, std::size_t at) const {
  const dump_base base = layout_.base();
  if (base == dump_base::hex) {
    const int high = digit_value[static_cast<unsigned char>(unit[0])];
    const int low = digit_value[static_cast<unsigned char>(unit[1])];
    if (low < 0) fail(invalid_char_message(unit[1]), at + 1);
    if (high < 0) fail(invalid_char_message(unit[0]), at);
    return static_cast<std::uint8_t>((high << 4) | low);
  }
  const unsigned radix = base == dump_base::binary ? 2 : base == dump_base::octal ? 8 : 10;
  const char* what = base == dump_base::binary  ? "invalid binary digit"
                     : base == dump_base::octal ? "invalid octal digit"
                                                : "invalid decimal digit";
  unsigned value = 0;
  for (std::size_t i = 0; i < g_.unit; ++i) {
    const unsigned d = static_cast<unsigned char>(unit[i]) - static_cast<unsigned>('0');
    if (d >= radix) fail(what, at + i);
    value = value * radix + d;
  }
  if (value > 255) fail("byte value out of range", at);
  return static_cast<std::uint8_t>(value);
}

}  // namespace mivo::detail
