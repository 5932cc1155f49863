// The portable kernel, built on every CPU: one table read per digit, no shifts or masks.
#include "../tables.hpp"
#include "dump_color.hpp"
#include "kernels.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace mivo::detail {
namespace {

template <const std::array<char, 256>& High, const std::array<char, 256>& Low>
void encode_scalar(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    out[2 * i] = High[in[i]];
    out[2 * i + 1] = Low[in[i]];
  }
}

std::size_t decode_scalar(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  for (std::size_t k = 0; k < pairs; ++k) {
    const int high = digit_value[static_cast<unsigned char>(in[2 * k])];
    const int low = digit_value[static_cast<unsigned char>(in[2 * k + 1])];
    if ((high | low) < 0) return k;
    out[k] = static_cast<std::uint8_t>((high << 4) | low);
  }
  return pairs;
}

// A nibble's digit by arithmetic: '0' + v, and 39 more from 10 up, where 9 - v wraps.
char digit_of(unsigned v) noexcept {
  return static_cast<char>('0' + v + (((9U - v) >> 8U) & unsigned{'a' - '0' - 10}));
}

void encode_secret_scalar(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    out[2 * i] = digit_of(in[i] >> 4U);
    out[2 * i + 1] = digit_of(in[i] & 15U);
  }
}

// 1 when x < limit, for x and limit below 2^31 or x wrapped from below 0, by the sign bit.
unsigned below(unsigned x, unsigned limit) noexcept { return ((x - limit) & ~x) >> 31U; }

// A digit's value by arithmetic; `valid` keeps 1 only while every character is a digit.
unsigned value_of(char c, unsigned& valid) noexcept {
  const unsigned byte = static_cast<unsigned char>(c);
  const unsigned decimal = byte - unsigned{'0'};
  const unsigned letter = (byte | 0x20U) - unsigned{'a'};
  const unsigned is_decimal = below(decimal, 10);
  const unsigned is_letter = below(letter, 6);
  valid &= is_decimal | is_letter;
  return ((0U - is_decimal) & decimal) | ((0U - is_letter) & (letter + 10U));
}

bool decode_secret_scalar(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  unsigned valid = 1;
  for (std::size_t k = 0; k < pairs; ++k) {
    const unsigned high = value_of(in[2 * k], valid);
    const unsigned low = value_of(in[2 * k + 1], valid);
    out[k] = static_cast<std::uint8_t>((high << 4U) | low);
  }
  return valid != 0;
}

void dump_chars_scalar(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) out[i] = dump_char[in[i]];
}

char* dump_rows_scalar(const char* digits, const char* chars, std::size_t rows,
                       label_digits* number, char* out) noexcept {
  using namespace layout;
  for (std::size_t r = 0; r < rows; ++r, digits += row_digits) {
    if (number != nullptr) {
      out = put_label_digits(*number, out);
      advance_label_digits(*number);
    }
    for (std::size_t g = 0; g < row_digits; g += group_digits) {
      std::memcpy(out, digits + g, group_digits);
      out[group_digits] = ' ';
      out += group_digits + 1;
    }
    --out;  // no space after the last group
    if (chars != nullptr) {
      std::memset(out, ' ', char_gap);
      std::memcpy(out + char_gap, chars + row_bytes * r, row_bytes);
      out += char_gap + row_bytes;
    }
    *out++ = '\n';
  }
  return out;
}

char* dump_color_rows_scalar(const char* digits, const std::uint8_t* bytes, const char* chars,
                             std::size_t rows, label_digits* number, char* out) noexcept {
  using namespace layout;
  std::array<color::byte_class, row_bytes> classes{};
  for (std::size_t r = 0; r < rows; ++r) {
    if (number != nullptr) {
      out = put_label_digits(*number, out);
      advance_label_digits(*number);
    }
    for (std::size_t k = 0; k < row_bytes; ++k) classes[k] = color::class_table[bytes[k]];
    out = color::put_row(digits, row_digits, classes.data(), chars, out);
    digits += row_digits;
    bytes += row_bytes;
    if (chars != nullptr) chars += row_bytes;
  }
  return out;
}

std::size_t count_kept_scalar(const std::uint8_t* in, std::size_t n,
                              const skip_tables& skip) noexcept {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) kept += skip.listed[in[i]] ? 0 : 1;
  return kept;
}

char* encode_kept_scalar(const std::uint8_t* in, std::size_t n, const skip_tables& skip, char* out,
                         char* /*out_end*/) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    if (skip.listed[in[i]]) continue;
    out[0] = high_digit_table[in[i]];
    out[1] = low_digit_table[in[i]];
    out += 2;
  }
  return out;
}

char* keep_bytes_scalar(const char* in, std::size_t n, const skip_tables& skip,
                        char* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    *out = in[i];
    out += skip.listed[static_cast<unsigned char>(in[i])] ? 0 : 1;
  }
  return out;
}

namespace rows {

// A byte in lane i of a word loaded from memory.
constexpr std::uint64_t in_lane(std::size_t i, unsigned char c) noexcept {
  const std::size_t shift = std::endian::native == std::endian::little ? 8 * i : 8 * (7 - i);
  return std::uint64_t{c} << shift;
}

// A row's digit part, 40 characters with what ends it, as five words: where the spaces between
// groups must be, and the last character (a line feed, or the first space before the
// characters), which the masks take in but `want` leaves out.
constexpr std::size_t row_words = 5;
static_assert(row_words * 8 == layout::digit_columns + 1);
struct space_lanes {
  std::array<std::uint64_t, row_words> mask{};
  std::array<std::uint64_t, row_words> want{};
};
constexpr space_lanes spaces = [] {
  space_lanes s;
  for (std::size_t g = 1; g < layout::groups; ++g) {
    const std::size_t at = g * (layout::group_digits + 1) - 1;
    s.mask[at / 8] |= in_lane(at % 8, 0xff);
    s.want[at / 8] |= in_lane(at % 8, ' ');
  }
  s.mask[row_words - 1] |= in_lane(7, 0xff);
  return s;
}();
constexpr std::uint64_t bare_end = in_lane(7, '\n');
constexpr std::uint64_t chars_end = in_lane(7, ' ');
// Whether any of the 16 bytes at p is a line feed.
bool holds_line_feed(const char* p) noexcept {
  constexpr std::uint64_t ones = 0x0101010101010101U;
  constexpr std::uint64_t highs = 0x8080808080808080U;
  std::array<std::uint64_t, 2> words{};
  std::memcpy(words.data(), p, sizeof words);
  std::uint64_t found = 0;
  for (const std::uint64_t w : words) {
    const std::uint64_t x = w ^ ('\n' * ones);
    found |= (x - ones) & ~x & highs;
  }
  return found != 0;
}

// The length of a full row's text after its label when it is laid out as the dump writes it
// (bare or with its character column), or 0. Its digits are not judged here.
std::size_t row_length(const char* t) noexcept {
  std::array<std::uint64_t, row_words> words{};
  std::memcpy(words.data(), t, sizeof words);
  std::uint64_t off = 0;
  for (std::size_t i = 0; i + 1 < row_words; ++i)
    off |= (words[i] & spaces.mask[i]) ^ spaces.want[i];
  const std::uint64_t last = words[row_words - 1] & spaces.mask[row_words - 1];
  if (off != 0) return 0;
  if (last == (spaces.want[row_words - 1] | bare_end)) return layout::bare_row_chars;
  const bool chars_row =
      last == (spaces.want[row_words - 1] | chars_end) && t[layout::digit_columns + 1] == ' ' &&
      !holds_line_feed(t + layout::chars_start) && t[layout::row_chars - 1] == '\n';
  return chars_row ? layout::row_chars : 0;
}

}  // namespace rows

std::size_t read_rows_scalar(const char* text, const char* end, label_digits* number,
                             std::size_t max_rows, char* digits, const char** row_ends) noexcept {
  using namespace layout;
  std::size_t count = 0;
  for (; count < max_rows; ++count) {
    const char* row_text = row_after_label(text, end, number);
    if (row_text == nullptr) break;
    const std::size_t length = rows::row_length(row_text);
    if (length == 0) break;
    for (std::size_t g = 0; g < groups; ++g) {
      std::memcpy(digits + g * group_digits, row_text + g * (group_digits + 1), group_digits);
    }
    digits += row_digits;
    text = row_text + length;
    row_ends[count] = text;
    if (number != nullptr) advance_label_digits(*number);
  }
  return count;
}

struct place_step_scalar {
  static constexpr std::size_t width = 16;
  static const std::uint8_t* prepare(const std::uint8_t* lanes) noexcept { return lanes; }
  static void apply(const std::uint8_t* lanes, const char* in, char* out) noexcept {
    for (std::size_t j = 0; j < width; ++j) {
      const std::uint8_t index = lanes[j];
      out[j] = index < width ? in[index] : static_cast<char>(lanes[width + j]);
    }
  }
};

// A line's check, 16 characters at a time, a byte at a time.
struct line_block_scalar {
  static constexpr std::size_t width = 16;
  using vec = std::array<std::uint8_t, width>;
  using mask = vec;
  static vec load(const void* p) noexcept {
    vec v;
    std::memcpy(v.data(), p, width);
    return v;
  }
  static mask to_mask(const std::uint8_t* bytes) noexcept { return load(bytes); }
  static vec none() noexcept { return {}; }
  static vec with_label(vec low, const char* label, const mask& m) noexcept {
    const vec text = load(label);
    for (std::size_t j = 0; j < width; ++j) low[j] = m[j] != 0 ? text[j] : low[j];
    return low;
  }
  static vec excess(vec v, const vec& low, const vec& span) noexcept {
    for (std::size_t j = 0; j < width; ++j) {
      v[j] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(v[j] - low[j]) > span[j]);
    }
    return v;
  }
  static vec merge(vec a, const vec& b) noexcept {
    for (std::size_t j = 0; j < width; ++j) a[j] = static_cast<std::uint8_t>(a[j] | b[j]);
    return a;
  }
  static bool any(const vec& a) noexcept {
    return std::any_of(a.begin(), a.end(), [](std::uint8_t x) { return x != 0; });
  }
};

}  // namespace

std::size_t decode_separated_scalar(const char* in, std::size_t units, char separator,
                                    std::uint8_t* out) noexcept {
  for (std::size_t k = 0; k < units; ++k, in += 3) {
    const int high = digit_value[static_cast<unsigned char>(in[0])];
    const int low = digit_value[static_cast<unsigned char>(in[1])];
    if ((high | low) < 0 || in[2] != separator) return k;
    out[k] = static_cast<std::uint8_t>((high << 4) | low);
  }
  return units;
}

void encode_separated_scalar(const std::uint8_t* in, std::size_t n, char separator, bool upper,
                             char* out) noexcept {
  const std::array<char, 256>& high = upper ? upper_high_digit_table : high_digit_table;
  const std::array<char, 256>& low = upper ? upper_low_digit_table : low_digit_table;
  for (std::size_t i = 0; i < n; ++i, out += 3) {
    out[0] = high[in[i]];
    out[1] = low[in[i]];
    out[2] = separator;
  }
}

void encode_bits_scalar(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t digits = 0x3030303030303030U;  // '0' in every byte
    for (unsigned bit = 0; bit < 8; ++bit) {
      const std::uint64_t one = (in[i] >> (7 - bit)) & 1U;
      digits |= one << (std::endian::native == std::endian::little ? 8 * bit : 56 - 8 * bit);
    }
    std::memcpy(out + 8 * i, &digits, 8);
  }
}

bool decode_bits_scalar(const char* in, std::size_t n, std::uint8_t* out) noexcept {
  constexpr std::uint64_t zeros = 0x3030303030303030U;
  // Each digit's bit moved to its place in the top byte; no two products meet.
  constexpr std::uint64_t gather =
      std::endian::native == std::endian::little ? 0x8040201008040201U : 0x0102040810204080U;
  std::uint64_t stray = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, in + 8 * i, 8);
    bits ^= zeros;
    stray |= bits;
    out[i] = static_cast<std::uint8_t>(((bits & 0x0101010101010101U) * gather) >> 56U);
  }
  return (stray & ~std::uint64_t{0x0101010101010101U}) == 0;
}

const kernel scalar_kernel = {
    .name = "scalar",
    .needs = cpu::none,
    .encode = encode_scalar<high_digit_table, low_digit_table>,
    .encode_upper = encode_scalar<upper_high_digit_table, upper_low_digit_table>,
    .decode = decode_scalar,
    .dump_chars = dump_chars_scalar,
    .dump_rows = dump_rows_scalar,
    .dump_color_rows = dump_color_rows_scalar,
    .count_kept = count_kept_scalar,
    .encode_kept = encode_kept_scalar,
    .encode_lines = encode_lines_in_chunks<encode_scalar<high_digit_table, low_digit_table>>,
    .encode_secret = encode_secret_scalar,
    .decode_secret = decode_secret_scalar,
    .read_rows = read_rows_scalar,
    .keep_bytes = keep_bytes_scalar,
    .decode_separated = decode_separated_scalar,
    .encode_separated = encode_separated_scalar,
    .encode_bits = encode_bits_scalar,
    .decode_bits = decode_bits_scalar,
    .place_width = 16,
    .place = placing_by<place_step_scalar>::place,
    .place_rows = placing_by<place_step_scalar>::rows,
    .place_many = placing_by<place_step_scalar>::many,
    .read_lines = read_lines_with<place_step_scalar, line_block_scalar>,
};

}  // namespace mivo::detail
