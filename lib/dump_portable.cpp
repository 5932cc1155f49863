// One formatter for every layout: a row is a blank template with each byte's digits stored at
// the place the geometry gives it, then its characters; labels advance in place.
#include "dump_portable.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>

#include "codec.hpp"
#include "kernels/dump_color.hpp"
#include "tables.hpp"

namespace mivo::detail {
namespace {

using color::byte_class;
using color::class_table;

constexpr std::size_t color_slack = 8;  // switch_class stores a whole word

// The characters of n bytes, eight to a store.
char* put_chars(const std::uint8_t* bytes, std::size_t n, const char* table, char* out) noexcept {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word = 0;
    for (std::size_t j = 0; j < 8; ++j) {
      word |= std::uint64_t{static_cast<unsigned char>(table[bytes[i + j]])}
              << (std::endian::native == std::endian::little ? 8 * j : 56 - 8 * j);
    }
    std::memcpy(out + i, &word, 8);
  }
  for (; i < n; ++i) out[i] = table[bytes[i]];
  return out + n;
}

// The digits of n bytes in a base other than hex, unit after unit; writes up to 1 past them.
void put_units(const kernel& k, dump_base base, const std::uint8_t* b, std::size_t n,
               char* out) noexcept {
  if (base == dump_base::binary) {
    k.encode_bits(b, n, out);
    return;
  }
  const auto& table = base == dump_base::octal ? units.octal : units.decimal;
  for (std::size_t i = 0; i < n; ++i) std::memcpy(out + 3 * i, table[b[i]].data(), 4);
}

// The plan of a full plain row after its label: each byte's digits at their place with spaces
// between, then the gap and the opening frame of the characters.
place_plan row_plan(const dump_geometry& g, bool chars, std::size_t width) {
  const std::size_t size = g.digit_columns + (chars ? g.char_gap + (g.framed ? 1 : 0) : 0);
  std::vector<int> source(size, -1);
  std::vector<char> fill(size, ' ');
  for (std::size_t i = 0; i < g.columns; ++i) {
    for (std::size_t d = 0; d < g.unit; ++d) {
      source[g.byte_at[i] + d] = static_cast<int>(i * g.unit + d);
    }
  }
  if (chars && g.framed) fill[size - 1] = '|';
  return make_place_plan(source, fill, width);
}

byte_class pair_class(const char* pair) noexcept {
  const int high = digit_value[static_cast<unsigned char>(pair[0])];
  const int low = digit_value[static_cast<unsigned char>(pair[1])];
  if ((high | low) < 0) return byte_class::plain;
  return class_table[static_cast<unsigned>((high << 4) | low)];
}

}  // namespace

portable_dump::portable_dump(const dump_layout& layout, stream_block& out)
    : layout_(layout),
      g_(geometry_of(layout)),
      out_(out),
      chars_(chars_of(layout.table())),
      labelled_(layout.labelled()),
      char_column_(layout.char_column()),
      color_(layout.color()),
      base_(layout.base()),
      strict_(layout.char_column() || layout.base() != dump_base::hex),
      need_bytes_(strict_ || layout.color()),
      need_digits_(layout.base() == dump_base::hex || layout.squeeze()),
      row_digits_(2 * g_.columns),
      slot_order_(g_.columns),
      plan_(row_plan(g_, layout.char_column(), k_.place_width)),
      unit_stride_(g_.columns * g_.unit),
      label_(layout.offset_labels() ? layout.first_offset() + layout.displacement() : 0,
             g_.label_base, g_.label_step, g_.label_end),
      digits_(row_digits_),
      row_bytes_(g_.columns),
      previous_(row_digits_),
      previous_bytes_(g_.columns),
      scratch_digits_(chunk_rows * row_digits_),
      scratch_chars_(chunk_rows * g_.columns + 32),
      scratch_bytes_(chunk_rows * g_.columns),
      scratch_units_(base_ == dump_base::hex ? 0 : chunk_rows * unit_stride_ + 1),
      scratch_labels_((chunk_rows + 1) * placed_rows::label_stride),
      padded_row_(unit_stride_ + max_place_width) {
  std::iota(slot_order_.begin(), slot_order_.end(), 0);
  std::sort(slot_order_.begin(), slot_order_.end(),
            [&](std::uint16_t a, std::uint16_t b) { return g_.byte_at[a] < g_.byte_at[b]; });
  const std::size_t color = layout.color() ? 2 * g_.columns * color::sgr_chars + 16 : 0;
  // The spaces a plain row starts from: its digit part and the gap before the characters.
  plain_row_spaces_ = g_.digit_columns + (layout.char_column() ? g_.char_gap : 0);
  max_row_chars_ =
      label_text::max_chars + g_.row_chars(true) + color + color_slack + max_place_width;
  rows_per_room_ = std::max<std::size_t>(1, stream_block::block_size / 4 / max_row_chars_);
}

void portable_dump::encode(const std::uint8_t* b, std::size_t n, char* out) const noexcept {
  (layout_.uppercase() ? k_.encode_upper : k_.encode)(b, n, out);
}

// The digit part and characters in color, places in order: each byte's digits led by the
// sequence of its class where the class changes, as the kernels color the classic shape.
char* portable_dump::put_color_units(const char* digits, const std::uint8_t* bytes, std::size_t n,
                                     char* out) const noexcept {
  const std::size_t whole = n / 2;
  const bool lone = n % 2 != 0;
  const auto class_of = [&](std::size_t i) {
    if (i >= whole) return byte_class::plain;
    return bytes != nullptr ? class_table[bytes[i]] : pair_class(digits + 2 * i);
  };
  byte_class now = byte_class::plain;
  std::size_t column = 0;
  for (const std::uint16_t i : slot_order_) {
    if (i > whole || (i == whole && !lone)) continue;
    const std::size_t at = g_.byte_at[i];
    std::memset(out, ' ', at - column);
    out += at - column;
    out = color::switch_class(now, class_of(i), out);
    const std::size_t width = i == whole ? 1 : g_.unit;
    if (layout_.base() == dump_base::hex) {
      std::memcpy(out, digits + std::size_t{2} * i, width);
    } else if (layout_.base() == dump_base::binary) {
      std::memcpy(out, units.binary[bytes[i]].data(), width);
    } else {
      const auto& table = layout_.base() == dump_base::octal ? units.octal : units.decimal;
      std::memcpy(out, table[bytes[i]].data(), width);
    }
    out += width;
    column = at + width;
  }
  out = color::switch_class(now, byte_class::plain, out);
  std::memset(out, ' ', g_.digit_columns - column);
  out += g_.digit_columns - column;
  if (layout_.char_column()) {
    std::memset(out, ' ', g_.char_gap);
    out += g_.char_gap;
    if (g_.framed) *out++ = '|';
    for (std::size_t i = 0; i < whole; ++i) {
      out = color::switch_class(now, class_of(i), out);
      *out++ = chars_[bytes[i]];
    }
    out = color::switch_class(now, byte_class::plain, out);
    if (g_.framed) *out++ = '|';
  }
  return out;
}

// One row of n digits (bytes: those of its whole pairs, or null when not needed or not all
// valid), after its label. Writes up to max_row_chars_.
char* portable_dump::put_row(const char* digits, const std::uint8_t* bytes, std::size_t n,
                             const label_text& label, char* out, const char* chars) const noexcept {
  if (labelled_) out = label.put(out);
  if (color_) {
    out = put_color_units(digits, bytes, n, out);
    *out++ = '\n';
    return out;
  }
  put_spaces(out, plain_row_spaces_);
  const std::size_t whole = n / 2;
  const std::uint16_t* const at = g_.byte_at.data();
  switch (base_) {
    case dump_base::hex:
      for (std::size_t i = 0; i < whole; ++i) std::memcpy(out + at[i], digits + 2 * i, 2);
      if (n % 2 != 0) out[at[whole]] = digits[n - 1];
      break;
    case dump_base::binary:
      for (std::size_t i = 0; i < whole; ++i) {
        std::memcpy(out + at[i], units.binary[bytes[i]].data(), 8);
      }
      break;
    case dump_base::octal:
      for (std::size_t i = 0; i < whole; ++i) {
        std::memcpy(out + at[i], units.octal[bytes[i]].data(), 3);
      }
      break;
    case dump_base::decimal:
      for (std::size_t i = 0; i < whole; ++i) {
        std::memcpy(out + at[i], units.decimal[bytes[i]].data(), 3);
      }
      break;
  }
  out += g_.digit_columns;
  if (char_column_) {
    out += g_.char_gap;
    if (g_.framed) *out++ = '|';
    if (chars != nullptr) {  // made for the whole chunk: copied 32 at a time, into the slack
      for (std::size_t k = 0; k < whole; k += 32) std::memcpy(out + k, chars + k, 32);
      out += whole;
    } else {
      out = put_chars(bytes, whole, chars_.data(), out);
    }
    if (g_.framed) *out++ = '|';
  }
  *out++ = '\n';
  return out;
}

char* portable_dump::star(char* out) const noexcept {
  out[0] = '*';
  out[1] = '\n';
  return out + 2;
}

void portable_dump::release_held() {
  if (held_ && !starred_) out_.commit(star(out_.room(2)));
  held_ = false;
  starred_ = false;
}

void portable_dump::emit_full(const char* digits, const std::uint8_t* bytes) {
  if (layout_.squeeze() && has_previous_ &&
      std::memcmp(digits, previous_.data(), row_digits_) == 0) {
    if (held_ && !starred_) {
      out_.commit(star(out_.room(2)));
      starred_ = true;
    }
    held_ = true;
    held_label_ = label_;
    label_.advance();
    return;
  }
  release_held();
  out_.commit(put_row(digits, bytes, row_digits_, label_, out_.room(max_row_chars_)));
  label_.advance();
  if (layout_.squeeze()) {
    has_previous_ = true;
    std::memcpy(previous_.data(), digits, row_digits_);
    previous_valid_ = bytes != nullptr;
    if (bytes != nullptr) std::memcpy(previous_bytes_.data(), bytes, g_.columns);
  }
}

void portable_dump::fail_at(const char* pair, std::uint64_t position) {
  release_held();
  out_.flush();
  throw_bad_pair(pair, static_cast<std::size_t>(position));
}

// Full rows: squeezed or colored one by one, else rendered straight into the block, as many
// at a time as fit one request.
void portable_dump::emit_rows(const char* digits, const std::uint8_t* bytes, std::size_t rows) {
  const auto bytes_of = [&](std::size_t r) {
    return bytes != nullptr ? bytes + r * g_.columns : nullptr;
  };
  if (layout_.squeeze() || layout_.color()) {
    for (std::size_t r = 0; r < rows; ++r) emit_full(digits + r * row_digits_, bytes_of(r));
  } else if (bytes != nullptr || (base_ == dump_base::hex && !char_column_)) {
    place_rows(digits, bytes, rows);
  } else {
    for (std::size_t done = 0; done < rows; done += rows_per_room_) {
      const std::size_t n = std::min(rows_per_room_, rows - done);
      const char* chars = chunk_chars(bytes, done, n);
      char* out = out_.room(n * max_row_chars_);
      for (std::size_t r = done; r < done + n; ++r) {
        const char* row_chars = chars != nullptr ? chars + (r - done) * g_.columns : nullptr;
        out = put_row(digits + r * row_digits_, bytes_of(r), row_digits_, label_, out, row_chars);
        label_.advance();
      }
      out_.commit(out);
    }
  }
  row_start_ += rows * row_digits_;
}

// Full plain rows through the kernel's placement: each row's label, its digits placed by the
// plan, its characters. Labels are made first for a run of rows, so the kernel only copies.
void portable_dump::place_rows(const char* digits, const std::uint8_t* bytes, std::size_t rows) {
  const char* source = digits;
  if (base_ != dump_base::hex) {
    put_units(k_, base_, bytes, rows * g_.columns, scratch_units_.data());
    source = scratch_units_.data();
  }
  placed_rows p;
  p.labels = scratch_labels_.data();
  p.digit_stride = unit_stride_;
  p.char_count = char_column_ ? g_.columns : 0;
  p.ending_size = char_column_ && g_.framed ? 2 : 1;
  p.ending = p.ending_size == 2 ? std::array<char, 2>{'|', '\n'} : std::array<char, 2>{'\n'};
  // The plan may read a load's width past a row's digits: the last rows go through a copy.
  const std::size_t reach = (plan_.width + unit_stride_ - 1) / unit_stride_;
  const std::size_t safe = rows > reach ? rows - reach : 0;
  for (std::size_t done = 0; done < rows; done += rows_per_room_) {
    const std::size_t end = done + std::min(rows_per_room_, rows - done);
    const char* chars = chunk_chars(bytes, done, end - done);
    char* out = out_.room((end - done) * max_row_chars_);
    for (std::size_t r = done; r < end; r += p.rows) {
      const bool in_place = r < safe;
      p.rows = make_labels(in_place ? std::min(end, safe) - r : 1, p.label_size);
      p.digits = in_place ? source + r * unit_stride_ : row_source(source, r);
      p.chars = chars != nullptr ? chars + (r - done) * g_.columns : nullptr;
      out = k_.place_rows(plan_, p, out);
    }
    out_.commit(out);
  }
}

// The labels of up to n rows into scratch_labels_, as long as they are as wide as the first;
// returns how many (at least one) and their size.
std::size_t portable_dump::make_labels(std::size_t n, std::size_t& size) noexcept {
  size = 0;
  if (!labelled_) return n;
  return label_.put_run(scratch_labels_.data(), placed_rows::label_stride, n, size);
}

// Row r of the digits from `base`, copied so the plan can read past it.
const char* portable_dump::row_source(const char* base, std::size_t r) noexcept {
  std::memcpy(padded_row_.data(), base + r * unit_stride_, unit_stride_);
  return padded_row_.data();
}

// The characters of rows [first, first + n) made at once, through the kernel for ASCII; null
// when the rows show none.
const char* portable_dump::chunk_chars(const std::uint8_t* bytes, std::size_t first,
                                       std::size_t n) noexcept {
  if (!char_column_ || bytes == nullptr || n > chunk_rows) return nullptr;
  const std::uint8_t* from = bytes + first * g_.columns;
  if (layout_.table() == char_table::ascii) {
    k_.dump_chars(from, n * g_.columns, scratch_chars_.data());
  } else {
    put_chars(from, n * g_.columns, chars_.data(), scratch_chars_.data());
  }
  return scratch_chars_.data();
}

// Whole rows of given digits, their bytes decoded where the layout needs them.
void portable_dump::text_rows(const char* d, std::size_t rows) {
  for (std::size_t done = 0; done < rows; done += chunk_rows) {
    const std::size_t n = std::min(chunk_rows, rows - done);
    const char* chunk = d + done * row_digits_;
    if (!need_bytes_) {
      emit_rows(chunk, nullptr, n);
      continue;
    }
    const std::size_t bad = k_.decode(chunk, n * g_.columns, scratch_bytes_.data());
    const std::size_t good = bad / g_.columns;
    emit_rows(chunk, scratch_bytes_.data(), good);
    if (good == n) continue;
    if (strict_) fail_at(chunk + 2 * bad, row_start_ + 2 * (bad - good * g_.columns));
    emit_rows(chunk + good * row_digits_, nullptr, n - good);  // color alone: classes by digits
  }
}

void portable_dump::byte_rows(const std::uint8_t* b, std::size_t rows) {
  for (std::size_t done = 0; done < rows; done += chunk_rows) {
    const std::size_t n = std::min(chunk_rows, rows - done);
    const std::uint8_t* from = b + done * g_.columns;
    if (need_digits_) encode(from, n * g_.columns, scratch_digits_.data());
    emit_rows(scratch_digits_.data(), from, n);
  }
}

void portable_dump::emit_pending() {
  emit_rows(digits_.data(), row_valid_ && need_bytes_ ? row_bytes_.data() : nullptr, 1);
  fill_ = 0;
  row_valid_ = true;
}

// Adds digits to the row in progress, judging pairs as they complete; returns how many it took.
std::size_t portable_dump::add_text(const char* d, std::size_t n) {
  const std::size_t take = std::min(n, row_digits_ - fill_);
  for (std::size_t i = 0; i < take; ++i) {
    digits_[fill_] = d[i];
    if (fill_ % 2 == 1 && need_bytes_) {
      const char* pair = digits_.data() + fill_ - 1;
      const int high = digit_value[static_cast<unsigned char>(pair[0])];
      const int low = digit_value[static_cast<unsigned char>(pair[1])];
      if ((high | low) < 0) {
        if (strict_) fail_at(pair, row_start_ + fill_ - 1);
        row_valid_ = false;
      }
      row_bytes_[fill_ / 2] = static_cast<std::uint8_t>((high << 4) | (low & 15));
    }
    ++fill_;
  }
  if (fill_ == row_digits_) emit_pending();
  return take;
}

std::size_t portable_dump::add_bytes(std::span<const std::uint8_t> b) {
  const std::size_t take = std::min(b.size(), (row_digits_ - fill_) / 2);
  if (take == 0) return 0;
  if (need_digits_) encode(b.data(), take, digits_.data() + fill_);
  std::memcpy(row_bytes_.data() + fill_ / 2, b.data(), take);
  fill_ += 2 * take;
  if (fill_ == row_digits_) emit_pending();
  return take;
}

void portable_dump::text(std::string_view d) {
  std::size_t i = fill_ > 0 ? add_text(d.data(), d.size()) : 0;
  const std::size_t rows = (d.size() - i) / row_digits_;
  text_rows(d.data() + i, rows);
  i += rows * row_digits_;
  add_text(d.data() + i, d.size() - i);
}

void portable_dump::bytes(std::span<const std::uint8_t> b) {
  if (fill_ % 2 != 0) {  // every pair straddles two given bytes: go through the digits
    for (std::size_t i = 0; i < b.size(); i += scratch_bytes_.size()) {
      const std::size_t n = std::min(scratch_bytes_.size(), b.size() - i);
      encode(b.data() + i, n, scratch_digits_.data());
      text({scratch_digits_.data(), 2 * n});
    }
    return;
  }
  std::size_t i = fill_ > 0 ? add_bytes(b) : 0;
  const std::size_t rows = (b.size() - i) / g_.columns;
  byte_rows(b.data() + i, rows);
  i += rows * g_.columns;
  add_bytes(b.subspan(i));
}

bool portable_dump::in_zero_run() const noexcept {
  return layout_.squeeze() && held_ && previous_valid_ &&
         std::all_of(previous_bytes_.begin(), previous_bytes_.end(),
                     [](std::uint8_t b) { return b == 0; });
}

void portable_dump::skip_repeats(std::uint64_t rows) {
  if (rows == 0) return;
  if (!starred_) {
    out_.commit(star(out_.room(2)));
    starred_ = true;
  }
  held_label_ = label_;
  held_label_.advance((rows - 1) * g_.label_step);
  label_.advance(rows * g_.label_step);
  row_start_ += rows * row_digits_;
}

void portable_dump::zeros(std::uint64_t count) {
  static constexpr std::array<std::uint8_t, 4096> zero_block{};
  while (count > 0) {
    if (fill_ == 0 && count >= 2 * g_.columns && in_zero_run()) {
      const std::uint64_t rows = count / g_.columns - 1;  // the last may end the input
      skip_repeats(rows);
      count -= rows * g_.columns;
    }
    // Up to the end of the row in progress first, so that later rows start whole.
    const std::size_t room = fill_ != 0 ? (row_digits_ - fill_) / 2 : zero_block.size();
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, room));
    bytes({zero_block.data(), n});
    count -= n;
  }
}

void portable_dump::finish() {
  if (fill_ > 0) {
    if (fill_ % 2 != 0 && layout_.base() != dump_base::hex) {
      throw decode_error(odd_length_message, static_cast<std::size_t>(row_start_ + fill_ - 1));
    }
    release_held();
    const std::uint8_t* b = row_valid_ && need_bytes_ ? row_bytes_.data() : nullptr;
    out_.commit(put_row(digits_.data(), b, fill_, label_, out_.room(max_row_chars_)));
    row_start_ += fill_;
    fill_ = 0;
  } else if (held_ && g_.closing_line) {
    release_held();
  } else if (held_) {
    held_ = false;
    const std::uint8_t* b = previous_valid_ ? previous_bytes_.data() : nullptr;
    out_.commit(put_row(previous_.data(), b, row_digits_, held_label_, out_.room(max_row_chars_)));
  }
  if (g_.closing_line && row_start_ > 0) {
    const label_text end(layout_.first_offset() + layout_.displacement() + (row_start_ + 1) / 2,
                         g_.label_base, 0, "\n");
    out_.commit(end.put(out_.room(label_text::max_chars)));
  }
}

}  // namespace mivo::detail
