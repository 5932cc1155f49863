// The dump layout value, its presets and checks, and the row arithmetic computed from it.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "dump_geometry.hpp"

namespace mivo {

struct dump_layout::fields {
  std::size_t columns = 16;
  std::size_t group = 2;
  byte_order order = byte_order::big;
  dump_base base = dump_base::hex;
  row_label label = row_label::row_number;
  std::uint64_t first_offset = 0;
  std::uint64_t displacement = 0;
  bool char_column = true;
  char_table table = char_table::ascii;
  dump_style style = dump_style::classic;
  bool uppercase = false;
  bool squeeze = false;
  bool color = false;

  friend bool operator==(const fields&, const fields&) = default;
};

namespace {

[[noreturn]] void bad_field(const char* what) {
  throw std::invalid_argument(std::string("Mivo.dump_layout: ") + what);
}

}  // namespace

dump_layout::dump_layout(std::shared_ptr<const fields> f) noexcept : fields_(std::move(f)) {}

dump_layout::dump_layout(const dump_options& o) {
  fields f;
  f.label = o.row_numbers ? o.label : row_label::none;
  f.first_offset = o.first_offset;
  f.char_column = o.char_column;
  f.uppercase = o.uppercase;
  f.squeeze = o.squeeze;
  f.color = o.color;
  if (f.squeeze && f.label == row_label::none) {
    throw std::invalid_argument("Mivo.dump: squeezing needs row labels to place the rows");
  }
  fields_ = std::make_shared<const fields>(f);
}

dump_layout dump_layout::classic() { return dump_layout(std::make_shared<const fields>()); }

dump_layout dump_layout::xxd() { return builder().label(row_label::byte_offset).build(); }

dump_layout dump_layout::canonical() {
  return builder().label(row_label::byte_offset).group(1).style(dump_style::canonical).build();
}

std::size_t dump_layout::columns() const noexcept { return fields_->columns; }
std::size_t dump_layout::group() const noexcept { return fields_->group; }
byte_order dump_layout::order() const noexcept { return fields_->order; }
dump_base dump_layout::base() const noexcept { return fields_->base; }
row_label dump_layout::label() const noexcept { return fields_->label; }
std::uint64_t dump_layout::first_offset() const noexcept { return fields_->first_offset; }
std::uint64_t dump_layout::displacement() const noexcept { return fields_->displacement; }
bool dump_layout::char_column() const noexcept { return fields_->char_column; }
char_table dump_layout::table() const noexcept { return fields_->table; }
dump_style dump_layout::style() const noexcept { return fields_->style; }
bool dump_layout::uppercase() const noexcept { return fields_->uppercase; }
bool dump_layout::squeeze() const noexcept { return fields_->squeeze; }
bool dump_layout::color() const noexcept { return fields_->color; }

bool dump_layout::labelled() const noexcept { return fields_->label != row_label::none; }
bool dump_layout::offset_labels() const noexcept {
  return fields_->label == row_label::byte_offset || fields_->label == row_label::decimal_offset;
}

std::size_t dump_layout::digit_place(std::size_t i) const noexcept {
  return detail::geometry_of(*this).byte_at[i];
}

std::size_t dump_layout::char_place(std::size_t i) const noexcept {
  const detail::dump_geometry g = detail::geometry_of(*this);
  return g.digit_columns + g.char_gap + (g.framed ? 1 : 0) + i;
}

std::size_t dump_layout::digit_width() const noexcept { return detail::unit_width(base()); }

bool operator==(const dump_layout& a, const dump_layout& b) noexcept {
  return *a.fields_ == *b.fields_;
}

dump_layout::builder::builder() : fields_(std::make_unique<fields>()) {}
dump_layout::builder::builder(const dump_layout& from)
    : fields_(std::make_unique<fields>(*from.fields_)) {}
dump_layout::builder::builder(const builder& other)
    : fields_(std::make_unique<fields>(*other.fields_)) {}
dump_layout::builder& dump_layout::builder::operator=(const builder& other) {
  *fields_ = *other.fields_;
  return *this;
}
dump_layout::builder::~builder() = default;

#define MIVO_LAYOUT_SETTER(name, type)                           \
  dump_layout::builder& dump_layout::builder::name(type value) { \
    fields_->name = value;                                       \
    return *this;                                                \
  }
MIVO_LAYOUT_SETTER(columns, std::size_t)
MIVO_LAYOUT_SETTER(group, std::size_t)
MIVO_LAYOUT_SETTER(order, byte_order)
MIVO_LAYOUT_SETTER(base, dump_base)
MIVO_LAYOUT_SETTER(label, row_label)
MIVO_LAYOUT_SETTER(first_offset, std::uint64_t)
MIVO_LAYOUT_SETTER(displacement, std::uint64_t)
MIVO_LAYOUT_SETTER(char_column, bool)
MIVO_LAYOUT_SETTER(table, char_table)
MIVO_LAYOUT_SETTER(style, dump_style)
MIVO_LAYOUT_SETTER(uppercase, bool)
MIVO_LAYOUT_SETTER(squeeze, bool)
MIVO_LAYOUT_SETTER(color, bool)
#undef MIVO_LAYOUT_SETTER

dump_layout dump_layout::builder::build() const {
  const fields& f = *fields_;
  if (f.columns < 1 || f.columns > detail::max_columns) bad_field("columns must be 1-256");
  if (f.group > f.columns) bad_field("group must be 0 (one group) up to columns");
  if (f.squeeze && f.label == row_label::none) {
    bad_field("squeeze needs row labels to place the rows");
  }
  if (f.displacement > UINT64_MAX - f.first_offset) {
    bad_field("first_offset plus displacement passes 2^64 - 1");
  }
  return dump_layout(std::make_shared<const fields>(f));
}

namespace detail {

dump_geometry geometry_of(const dump_layout& layout) noexcept {
  dump_geometry g;
  g.columns = layout.columns();
  g.group = layout.group() == 0 ? g.columns : layout.group();
  g.unit = unit_width(layout.base());
  g.little = layout.order() == byte_order::little;
  const bool canonical = layout.style() == dump_style::canonical;
  g.panel = canonical ? canonical_panel : 0;
  for (std::size_t i = 0; i < g.columns; ++i) {
    const std::size_t k = i / g.group;
    const std::size_t j = i % g.group;
    const std::size_t slot = g.little ? g.group_bytes(k) - 1 - j : j;
    g.byte_at[i] = static_cast<std::uint16_t>(g.group_start(k) + slot * g.unit);
  }
  const std::size_t last = g.group_count() - 1;
  g.digit_columns = g.group_start(last) + g.group_bytes(last) * g.unit;
  g.framed = canonical;
  g.label_end = canonical ? std::string_view("  ") : std::string_view(": ");
  g.label_base = layout.label() == row_label::byte_offset ? 16 : 10;
  g.label_step = layout.offset_labels() ? g.columns : 1;
  g.closing_line = canonical && layout.offset_labels();
  return g;
}

bool kernel_shape(const dump_layout& l) noexcept {
  return l.columns() == 16 && l.group() == 2 && l.order() == byte_order::big &&
         l.base() == dump_base::hex && l.table() == char_table::ascii &&
         l.style() == dump_style::classic && l.displacement() == 0 &&
         l.label() != row_label::decimal_offset;
}

const unit_tables units = [] {
  unit_tables t{};
  for (unsigned b = 0; b < 256; ++b) {
    for (unsigned bit = 0; bit < 8; ++bit) t.binary[b][bit] = (b >> (7 - bit) & 1U) ? '1' : '0';
    t.octal[b] = {static_cast<char>('0' + (b >> 6)), static_cast<char>('0' + (b >> 3 & 7U)),
                  static_cast<char>('0' + (b & 7U)), ' '};
    t.decimal[b] = {static_cast<char>('0' + b / 100), static_cast<char>('0' + b / 10 % 10),
                    static_cast<char>('0' + b % 10), ' '};
  }
  return t;
}();

// EBCDIC as xxd -E shows it: letters, digits and the punctuation it maps, "." elsewhere.
const std::array<char, 256> ebcdic_chars = [] {
  constexpr std::string_view shown =
      "................................................................"
      " ...........<(+|&.........!$*);~-/.........,%_>?.........`:#@'=\""
      ".abcdefghi.......jklmnopqr^.......stuvwxyz...[...............].."
      "{ABCDEFGHI......}JKLMNOPQR......\\.STUVWXYZ......0123456789......";
  static_assert(shown.size() == 256);
  std::array<char, 256> t{};
  std::copy(shown.begin(), shown.end(), t.begin());
  return t;
}();

namespace {
const std::array<char, 256> ascii_chars = [] {
  std::array<char, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = (c >= 32 && c <= 126) ? static_cast<char>(c) : '.';
  return t;
}();
}  // namespace

const std::array<char, 256>& chars_of(char_table t) noexcept {
  return t == char_table::ebcdic ? ebcdic_chars : ascii_chars;
}

namespace {
constexpr std::string_view label_digits = "0123456789abcdef";

}  // namespace

label_text::label_text(std::uint64_t value, unsigned base, std::uint64_t step,
                       std::string_view end) noexcept
    : step_(step), end_size_(end.size()), base_(base) {
  text_.fill(' ');
  std::array<char, sizeof end_> end_chars{};
  std::memcpy(end_chars.data(), end.data(), std::min(end.size(), end_chars.size()));
  std::memcpy(&end_, end_chars.data(), sizeof end_);
  for (; step != 0; step /= base)
    step_digits_[step_size_++] = static_cast<std::uint8_t>(step % base);
  set(value);
}

void label_text::set(std::uint64_t value) noexcept {
  value_ = value;
  std::fill(text_.begin() + digits_end - max_digits, text_.begin() + digits_end, '0');
  std::size_t i = digits_end;
  for (; value != 0; value /= base_) text_[--i] = label_digits[value % base_];
  width_ = std::max(min_label_digits, digits_end - i);
  load_words();
}

void label_text::store_tail() noexcept {
  std::memcpy(text_.data() + digits_end - min_label_digits, &tail_, sizeof tail_);
}

void label_text::load_words() noexcept {
  std::memcpy(head_.data(), text_.data() + head_start, head_digits);
  std::memcpy(&tail_, text_.data() + digits_end - min_label_digits, sizeof tail_);
}

// Adds d to the digit at `at`, carrying to the left.
void label_text::add_digit(std::size_t at, unsigned d) noexcept {
  for (; d != 0 && at > digits_end - max_digits; --at) {
    char& c = text_[at - 1];
    unsigned v = static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10) + d;
    d = 0;
    if (v >= base_) {
      v -= base_;
      d = 1;
    }
    c = label_digits[v];
    if (digits_end - (at - 1) > width_ && c != '0') width_ = digits_end - (at - 1);
  }
}

void label_text::advance() noexcept {
  if (rows_before_carry() > 1) {
    advance_within(step_);
  } else {
    carry();
  }
}

std::uint64_t label_text::rows_before_carry() const noexcept {
  std::uint64_t low = 0;
  std::uint64_t quad = 0;
  if (base_ == 16) {
    quad = 0x10000;
    low = value_ & 0xffffU;
  } else if (base_ == 10) {
    quad = 10000;
    low = value_ % 10000;
  } else {
    return 1;
  }
  return (quad - 1 - low) / step_ + 1;
}

// put(row, tail) for n rows from this one on, none of them carrying past the last four digits.
template <class Put>
void label_text::put_stretch(std::size_t n, Put put) const noexcept {
  const std::uint64_t first = tail_ & first_four;
  const std::uint64_t step = step_;
  const auto rows = [&]<unsigned base>(std::uint64_t low) {
    for (std::size_t r = 0; r < n; ++r, low += step) put(r, first | last_four<base>(low));
  };
  if (base_ == 16) {
    rows.template operator()<16>(value_ & 0xffffU);
  } else if (base_ == 10) {
    rows.template operator()<10>(value_ % 10000);
  } else {
    put(0, tail_);
  }
}

std::size_t label_text::put_run(char* out, std::size_t stride, std::size_t n,
                                std::size_t& size) noexcept {
  size = width_ + end_size_;
  // Locals, as every store through `out` could otherwise change the members.
  const std::size_t width = width_;
  const std::size_t head = width - min_label_digits;
  const std::uint64_t end = end_;
  std::array<char, head_digits> head_text{};
  std::size_t r = 0;
  while (r < n) {
    std::memcpy(head_text.data(), head_.data() + head_digits - head, head_digits);
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(n - r, rows_before_carry()));
    char* const at = out + r * stride;
    put_stretch(count, [&](std::size_t k, std::uint64_t tail) {
      char* row = at + k * stride;
      if (head != 0) std::memcpy(row, head_text.data(), head_digits);
      std::memcpy(row + head, &tail, sizeof tail);
      std::memcpy(row + width, &end, sizeof end);
    });
    r += count;
    // On to the last of them, then one step past it, which may carry or widen the label.
    if (count > 1) advance_within((count - 1) * step_);
    advance();
    if (width_ != width) break;
  }
  return r;
}

// By a step that carries past none of the last four digits.
void label_text::advance_within(std::uint64_t step) noexcept {
  const std::uint64_t next = value_ + step;
  if (base_ == 16) {
    tail_ = (tail_ & first_four) | last_four<16>(next & 0xffffU);
  } else {
    tail_ = (tail_ & first_four) | last_four<10>(next % 10000);
  }
  value_ = next;
}

void label_text::carry() noexcept {
  value_ += step_;
  store_tail();
  for (std::size_t k = 0; k < step_size_; ++k) add_digit(digits_end - k, step_digits_[k]);
  load_words();
}

void label_text::advance(std::uint64_t step) noexcept {
  value_ += step;
  store_tail();
  for (std::size_t at = digits_end; step != 0; --at, step /= base_) {
    add_digit(at, static_cast<unsigned>(step % base_));
  }
  load_words();
}

}  // namespace detail
}  // namespace mivo
