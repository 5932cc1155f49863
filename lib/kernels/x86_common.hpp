// 128-bit building blocks shared by the x86 kernels. Included only by files compiled for
// SSSE3 or better; everything here has internal linkage so no copy built for one instruction
// set can stand in for another's.
#ifndef MIVO_KERNELS_X86_COMMON_HPP
#define MIVO_KERNELS_X86_COMMON_HPP

#include <immintrin.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "dump_color.hpp"
#include "kernels.hpp"

namespace mivo::detail::x86 {
namespace {

// The sixteen digits, a-f or with `upper` A-F.
template <bool upper = false>
inline __m128i digit_lut128() {
  constexpr char a = upper ? 'A' : 'a';
  return _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', a, a + 1, a + 2, a + 3,
                       a + 4, a + 5);
}

// The 32 digits of 16 bytes: the first 8 bytes' digits in `first`, the rest in `second`.
template <bool upper = false>
inline void encode16(__m128i bytes, __m128i& first, __m128i& second) {
  const __m128i low_nibble = _mm_set1_epi8(0x0f);
  const __m128i lut = digit_lut128<upper>();
  const __m128i high = _mm_shuffle_epi8(lut, _mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble));
  const __m128i low = _mm_shuffle_epi8(lut, _mm_and_si128(bytes, low_nibble));
  first = _mm_unpacklo_epi8(high, low);
  second = _mm_unpackhi_epi8(high, low);
}

// What decoding adds to a digit character, by its class. Bit 4 is set only in the first (a
// decimal digit), bit 0 in both others (a letter); class_of_low() marks the low nibbles each
// class allows with the same bits.
inline constexpr char add_decimal = -'0';     // 0xd0
inline constexpr char add_upper = -'A' + 10;  // 0xc9
inline constexpr char add_lower = -'a' + 10;  // 0xa9
static_assert((add_decimal & 0x11) == 0x10 && (add_upper & 0x11) == 0x01 &&
              (add_lower & 0x11) == 0x01);

inline __m128i class_of_low() {
  return _mm_setr_epi8(0x10, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x10, 0x10, 0x10, 0, 0, 0, 0, 0,
                       0);
}

// Digit values 0-15 of 16 characters by nibble lookups, as digit_values32 in the AVX2 kernel
// explains. `valid` is zero in each lane whose character is not a digit.
inline __m128i digit_values16(__m128i chars, __m128i& valid) {
  const __m128i add_of_high =
      _mm_setr_epi8(0, 0, 0, add_decimal, add_upper, 0, add_lower, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(chars, 4), _mm_set1_epi8(0x0f));
  const __m128i add = _mm_shuffle_epi8(add_of_high, high);
  valid = _mm_and_si128(add, _mm_shuffle_epi8(class_of_low(), chars));
  return _mm_add_epi8(chars, add);
}

// The bytes of the 16 pairs of 32 digit characters, whatever they hold; `valid` is zero in each
// lane where either block holds a non-digit.
inline __m128i pack_digits(__m128i first_chars, __m128i second_chars, __m128i& valid) {
  __m128i valid_first;
  __m128i valid_second;
  const __m128i first = digit_values16(first_chars, valid_first);
  const __m128i second = digit_values16(second_chars, valid_second);
  valid = _mm_min_epu8(valid_first, valid_second);
  const __m128i weights = _mm_set1_epi16(0x0110);  // high digit * 16 + low digit
  return _mm_packus_epi16(_mm_maddubs_epi16(first, weights), _mm_maddubs_epi16(second, weights));
}

// The same for the 16 pairs of in[0..32).
inline __m128i pack32(const char* in, __m128i& valid) {
  return pack_digits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), valid);
}

// Decodes the 16 pairs of in[0..32) into `bytes`; false if any character is not a digit.
inline bool decode32(const char* in, __m128i& bytes) {
  __m128i valid;
  const __m128i packed = pack32(in, valid);
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(valid, _mm_setzero_si128())) != 0) return false;
  bytes = packed;
  return true;
}

// Whether no lane of `valid` is zero, without a branch.
inline bool none_zero(__m128i valid) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(valid, _mm_setzero_si128())) == 0;
}

// Units of three characters, two digits and a separator, 16 at a time: 48 characters in three
// blocks. In each block the separators stand at these lanes, and PSHUFB gathers the digits
// (-1: a lane the other block fills).
inline constexpr std::array<int, 3> separator_lanes = {0x4924, 0x2492, 0x9249};

inline __m128i separators_in(int block, char separator) {
  alignas(16) std::array<char, 16> lanes{};
  for (int i = 0; i < 16; ++i) {
    lanes[static_cast<std::size_t>(i)] =
        ((separator_lanes[static_cast<std::size_t>(block)] >> i) & 1) != 0 ? separator : '\0';
  }
  return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes.data()));
}

// The PSHUFB indices that gather the first and the second 16 digits of 16 units from their
// three blocks.
inline __m128i first_of_0() {
  return _mm_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, 12, 13, 15, -1, -1, -1, -1, -1);
}
inline __m128i first_of_1() {
  return _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 2, 3, 5, 6);
}
inline __m128i second_of_1() {
  return _mm_setr_epi8(8, 9, 11, 12, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
}
inline __m128i second_of_2() {
  return _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 1, 2, 4, 5, 7, 8, 10, 11, 13, 14);
}

inline std::size_t decode_separated(const char* in, std::size_t units, char separator,
                                    std::uint8_t* out) noexcept {
  // Each block with its digits masked off equals its separators alone.
  const __m128i sep0 = separators_in(0, separator);
  const __m128i sep1 = separators_in(1, separator);
  const __m128i sep2 = separators_in(2, separator);
  const __m128i lanes0 = separators_in(0, -1);
  const __m128i lanes1 = separators_in(1, -1);
  const __m128i lanes2 = separators_in(2, -1);
  const __m128i zero = _mm_setzero_si128();
  std::size_t k = 0;
  for (; k + 16 <= units; k += 16) {
    const char* p = in + 3 * k;
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i separated =
        _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(v0, lanes0), sep0),
                                    _mm_cmpeq_epi8(_mm_and_si128(v1, lanes1), sep1)),
                      _mm_cmpeq_epi8(_mm_and_si128(v2, lanes2), sep2));
    const __m128i first =
        _mm_or_si128(_mm_shuffle_epi8(v0, first_of_0()), _mm_shuffle_epi8(v1, first_of_1()));
    const __m128i second =
        _mm_or_si128(_mm_shuffle_epi8(v1, second_of_1()), _mm_shuffle_epi8(v2, second_of_2()));
    __m128i valid;
    const __m128i bytes = pack_digits(first, second, valid);
    const __m128i bad = _mm_or_si128(_mm_cmpeq_epi8(valid, zero), _mm_cmpeq_epi8(separated, zero));
    if (_mm_movemask_epi8(bad) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), bytes);
  }
  return k + decode_separated_scalar(in + 3 * k, units - k, separator, out + k);
}

template <bool upper>
void encode_separated_as(const std::uint8_t* in, std::size_t n, char separator,
                         char* out) noexcept {
  const __m128i to_0 = _mm_setr_epi8(0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9, -1, 10);
  const __m128i first_to_1 =
      _mm_setr_epi8(11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i second_to_1 =
      _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, -1, 2, 3, -1, 4, 5);
  const __m128i to_2 = _mm_setr_epi8(-1, 6, 7, -1, 8, 9, -1, 10, 11, -1, 12, 13, -1, 14, 15, -1);
  const __m128i sep0 = separators_in(0, separator);
  const __m128i sep1 = separators_in(1, separator);
  const __m128i sep2 = separators_in(2, separator);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i first;
    __m128i second;
    encode16<upper>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), first, second);
    char* p = out + 3 * i;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_or_si128(_mm_shuffle_epi8(first, to_0), sep0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16),
                     _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(first, first_to_1),
                                               _mm_shuffle_epi8(second, second_to_1)),
                                  sep1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32),
                     _mm_or_si128(_mm_shuffle_epi8(second, to_2), sep2));
  }
  encode_separated_scalar(in + i, n - i, separator, upper, out + 3 * i);
}

inline void encode_separated(const std::uint8_t* in, std::size_t n, char separator, bool upper,
                             char* out) noexcept {
  if (upper) return encode_separated_as<true>(in, n, separator, out);
  encode_separated_as<false>(in, n, separator, out);
}

// The dump's characters for 16 bytes: each byte from 32 to 126 itself, every other one '.'.
inline __m128i dump_chars16(__m128i bytes) {
  const __m128i above_space = _mm_sub_epi8(bytes, _mm_set1_epi8(32));
  const __m128i printable =
      _mm_cmpeq_epi8(_mm_min_epu8(above_space, _mm_set1_epi8(126 - 32)), above_space);
  return _mm_or_si128(_mm_and_si128(printable, bytes),
                      _mm_andnot_si128(printable, _mm_set1_epi8('.')));
}

// Skip-list testers: listed(v) is 0xff in each lane whose byte the list holds. With few values
// they are compared directly; any set at all is looked up by nibbles: the low nibble picks a
// row of the table for its half of the byte range (PSHUFB gives 0 where bit 7 of the index is
// set, which selects the half), the high nibble the bit within that row.
struct few_values16 {
  __m128i v0, v1, v2, v3;
  explicit few_values16(const skip_tables& t)
      : v0(_mm_set1_epi8(static_cast<char>(t.values[0]))),
        v1(_mm_set1_epi8(static_cast<char>(t.values[1]))),
        v2(_mm_set1_epi8(static_cast<char>(t.values[2]))),
        v3(_mm_set1_epi8(static_cast<char>(t.values[3]))) {}
  [[nodiscard]] __m128i listed(__m128i b) const {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, v0), _mm_cmpeq_epi8(b, v1)),
                        _mm_or_si128(_mm_cmpeq_epi8(b, v2), _mm_cmpeq_epi8(b, v3)));
  }
};

inline __m128i row_bits128() {
  return _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
}

struct any_values16 {
  __m128i low_rows;
  __m128i high_rows;
  explicit any_values16(const skip_tables& t)
      : low_rows(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.low_rows.data()))),
        high_rows(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.high_rows.data()))) {}
  [[nodiscard]] __m128i listed(__m128i b) const {
    const __m128i rows =
        _mm_or_si128(_mm_shuffle_epi8(low_rows, b),
                     _mm_shuffle_epi8(high_rows, _mm_xor_si128(b, _mm_set1_epi8(-128))));
    const __m128i bit =
        _mm_shuffle_epi8(row_bits128(), _mm_and_si128(_mm_srli_epi16(b, 4), _mm_set1_epi8(0x0f)));
    return _mm_cmpeq_epi8(_mm_and_si128(rows, bit), bit);
  }
};

// Runs f with the tester that suits the list.
template <class F>
auto with_tester16(const skip_tables& t, F f) {
  const bool few = t.distinct > 0 && t.distinct <= skip_tables::few;  // none: nothing matches
  return few ? f(few_values16(t)) : f(any_values16(t));
}

// The digits of the bytes of in[0..8) whose bits are set in `keep`, stored at out as 16 bytes;
// returns the end of the digits.
inline char* encode_kept8(const std::uint8_t* in, unsigned keep, char* out) {
  const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
  const __m128i kept =
      _mm_shuffle_epi8(bytes, _mm_cvtsi64_si128(static_cast<long long>(compaction_indices[keep])));
  __m128i first;
  __m128i second;
  encode16(kept, first, second);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
  return out + std::ptrdiff_t{2} * std::popcount(keep);
}

// Stores the bytes of the low 8 lanes whose bits are set in `keep` at out, as 8 bytes; returns
// the end of the kept ones.
inline char* keep8(__m128i bytes, unsigned keep, char* out) {
  const __m128i kept =
      _mm_shuffle_epi8(bytes, _mm_cvtsi64_si128(static_cast<long long>(compaction_indices[keep])));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), kept);
  return out + std::popcount(keep);
}

// The digits of a `width`-byte block without the bytes whose bits are set in `listed`. With few
// of them, and `width` more bytes readable past the block, the block is encoded whole by
// encode_block(from, to) and once more from just after each listed byte, each time over the
// digits that follow; else the bytes are compacted 8 at a time. Writes up to 4 * width digits
// from out.
template <std::size_t width, class EncodeBlock>
char* encode_without(const std::uint8_t* block, unsigned listed, bool can_read_past, char* out,
                     EncodeBlock encode_block) {
  if (can_read_past && std::popcount(listed) <= 2) {
    encode_block(block, out);
    unsigned removed = 0;
    for (unsigned rest = listed; rest != 0; rest &= rest - 1) {
      const auto p = static_cast<unsigned>(std::countr_zero(rest));
      ++removed;
      encode_block(block + p + 1, out + std::size_t{2} * (p + 1 - removed));
    }
    return out + std::size_t{2} * (width - removed);
  }
  for (unsigned g = 0; g < width / 8; ++g) {
    out = encode_kept8(block + std::size_t{8} * g, ~(listed >> (8 * g)) & 0xffU, out);
  }
  return out;
}

inline void encode16_to(const std::uint8_t* in, char* out) {
  __m128i first;
  __m128i second;
  encode16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), first, second);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), second);
}

// Color, for dump_color_rows. A class is told by the y of its sequence ESC [ x y m, so the
// lanes whose class changes are one compare of the row's y with itself shifted by one lane.
namespace color_rows {
using color::byte_class;
constexpr char sgr_char(byte_class c, std::size_t i) noexcept {
  return color::class_sgr[static_cast<std::size_t>(c)][i];
}
constexpr char common_x = sgr_char(byte_class::printable, 2);
static_assert(sgr_char(byte_class::whitespace, 2) == common_x &&
                  sgr_char(byte_class::other_ascii, 2) == common_x &&
                  sgr_char(byte_class::high, 2) == common_x,
              "only NUL's sequence differs in x");

// The y and x of each byte's class.
inline void class_codes(__m128i bytes, __m128i& x, __m128i& y) {
  const auto y_of = [](byte_class c) { return sgr_char(c, 3); };
  const char other = y_of(byte_class::other_ascii);
  const __m128i zero = _mm_setzero_si128();
  const __m128i null = _mm_cmpeq_epi8(bytes, zero);
  const __m128i high = _mm_cmpgt_epi8(zero, bytes);
  const __m128i printable = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(31)),
                                          _mm_cmpgt_epi8(_mm_set1_epi8(127), bytes));
  const __m128i space = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(8)),
                                      _mm_cmpgt_epi8(_mm_set1_epi8(14), bytes));
  // The masks are disjoint, so each flips y from other_ascii's to its own class's.
  const auto flip = [&](__m128i mask, byte_class c) {
    return _mm_and_si128(mask, _mm_set1_epi8(static_cast<char>(other ^ y_of(c))));
  };
  y = _mm_xor_si128(
      _mm_set1_epi8(other),
      _mm_xor_si128(_mm_xor_si128(flip(null, byte_class::null), flip(high, byte_class::high)),
                    _mm_xor_si128(flip(printable, byte_class::printable),
                                  flip(space, byte_class::whitespace))));
  x = _mm_xor_si128(
      _mm_set1_epi8(common_x),
      _mm_and_si128(null,
                    _mm_set1_epi8(static_cast<char>(common_x ^ sgr_char(byte_class::null, 2)))));
}

// 0xff in each lane whose class differs from the lane before; the first lane follows plain.
inline __m128i class_changes(__m128i y) {
  const __m128i y_before = _mm_alignr_epi8(y, _mm_set1_epi8(sgr_char(byte_class::plain, 3)), 15);
  return _mm_xor_si128(_mm_cmpeq_epi8(y, y_before), _mm_set1_epi8(-1));
}

// The x and y of each of a row's 16 bytes; returns a bit for each byte that starts a class.
inline unsigned row_classes(const std::uint8_t* bytes, __m128i& x, __m128i& y) {
  class_codes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), x, y);
  return static_cast<unsigned>(_mm_movemask_epi8(class_changes(y)));
}

// Tokens of two bytes each, a PSHUFB of the bytes' material: for the digit part their four
// digits, x y of both and ESC [ m and the space after the group; for the character column
// their x y and characters and ESC [ m. Which of the two bytes start a class picks one of four
// orders.
struct token_orders {
  std::array<std::array<std::int8_t, 16>, 4> order{};
  std::array<std::uint8_t, 4> length{};
};

// Where the material sits in a token's source.
enum material : std::int8_t { esc = 8, bracket = 9, em = 10, space = 11 };

constexpr token_orders make_token_orders(bool digit_part) {
  token_orders t;
  for (unsigned starts = 0; starts < 4; ++starts) {
    std::size_t to = 0;
    const auto pick = [&](int from) { t.order[starts][to++] = static_cast<std::int8_t>(from); };
    for (int byte = 0; byte < 2; ++byte) {
      // Digit part: digits at 0-3, x y at 4-7. Character column: x y at 0-3, characters at 4-5.
      const int x = digit_part ? 4 + 2 * byte : 2 * byte;
      if ((starts >> byte & 1U) != 0) {
        for (const int from : {int{esc}, int{bracket}, x, x + 1, int{em}}) pick(from);
      }
      if (digit_part) {
        pick(2 * byte);
        pick(2 * byte + 1);
      } else {
        pick(4 + byte);
      }
    }
    if (digit_part) pick(space);
    t.length[starts] = static_cast<std::uint8_t>(to);
    for (; to < 16; ++to) t.order[starts][to] = -1;
  }
  return t;
}
inline constexpr token_orders digit_orders = make_token_orders(true);
inline constexpr token_orders char_orders = make_token_orders(false);

// Stores the tokens of the two halves of `source`, each 8 bytes of two bytes' material, one
// after the other; takes the bits of the bytes that start a class from `starts`. Returns the
// end.
inline char* put_tokens(const token_orders& t, __m128i source, unsigned& starts, char* out) {
  const __m128i fixed =
      _mm_setr_epi8(0x1b, '[', 'm', ' ', 0, 0, 0, 0, 0x1b, '[', 'm', ' ', 0, 0, 0, 0);
  const auto put = [&](__m128i half) {
    const unsigned two = starts & 3U;
    starts >>= 2U;
    const __m128i order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.order[two].data()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(half, order));
    out += t.length[two];
  };
  put(_mm_unpacklo_epi64(source, fixed));
  put(_mm_unpackhi_epi64(source, fixed));
  return out;
}
}  // namespace color_rows

inline char* dump_color_rows(const char* digits, const std::uint8_t* bytes, const char* chars,
                             std::size_t rows, label_digits* number, char* out) noexcept {
  using namespace layout;
  using namespace color_rows;
  const auto load = [](const void* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  for (std::size_t r = 0; r < rows; ++r, digits += row_digits, bytes += row_bytes) {
    if (number != nullptr) {
      out = put_label_digits(*number, out);
      advance_label_digits(*number);
    }
    __m128i x;
    __m128i y;
    const unsigned starts = row_classes(bytes, x, y);
    const __m128i xy_low = _mm_unpacklo_epi8(x, y);
    const __m128i xy_high = _mm_unpackhi_epi8(x, y);
    const __m128i d0 = load(digits);
    const __m128i d1 = load(digits + 16);
    unsigned digit_starts = starts;
    out = put_tokens(digit_orders, _mm_unpacklo_epi32(d0, xy_low), digit_starts, out);
    out = put_tokens(digit_orders, _mm_unpackhi_epi32(d0, xy_low), digit_starts, out);
    out = put_tokens(digit_orders, _mm_unpacklo_epi32(d1, xy_high), digit_starts, out);
    out = put_tokens(digit_orders, _mm_unpackhi_epi32(d1, xy_high), digit_starts, out);
    --out;  // the tokens end with the space after the last group, which is not the row's
    out = color::end_digit_part(chars != nullptr, out);
    if (chars == nullptr) continue;
    const __m128i c = load(chars);
    const __m128i c_low = _mm_unpacklo_epi16(c, _mm_setzero_si128());
    const __m128i c_high = _mm_unpackhi_epi16(c, _mm_setzero_si128());
    unsigned char_starts = starts;
    out = put_tokens(char_orders, _mm_unpacklo_epi32(xy_low, c_low), char_starts, out);
    out = put_tokens(char_orders, _mm_unpackhi_epi32(xy_low, c_low), char_starts, out);
    out = put_tokens(char_orders, _mm_unpacklo_epi32(xy_high, c_high), char_starts, out);
    out = put_tokens(char_orders, _mm_unpackhi_epi32(xy_high, c_high), char_starts, out);
    out = color::end_char_part(out);
    chars += row_bytes;
  }
  return out;
}

// Full dump rows with PSHUFB: three shuffles place the 32 digits in their 39 columns, and the
// shuffles' zero lanes are filled with the separators.
inline char* dump_rows(const char* digits, const char* chars, std::size_t rows,
                       label_digits* number, char* out) noexcept {
  const __m128i first = _mm_setr_epi8(0, 1, 2, 3, -1, 4, 5, 6, 7, -1, 8, 9, 10, 11, -1, 12);
  const __m128i first_gaps = _mm_setr_epi8(0, 0, 0, 0, ' ', 0, 0, 0, 0, ' ', 0, 0, 0, 0, ' ', 0);
  const __m128i middle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, 6, -1, 7, 8, 9, 10, -1, 11, 12);
  const __m128i middle_gaps = _mm_setr_epi8(0, 0, 0, ' ', 0, 0, 0, 0, ' ', 0, 0, 0, 0, ' ', 0, 0);
  const __m128i last =
      _mm_setr_epi8(10, 11, -1, 12, 13, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i last_gaps =
      chars != nullptr ? _mm_setr_epi8(0, 0, ' ', 0, 0, 0, 0, ' ', ' ', 0, 0, 0, 0, 0, 0, 0)
                       : _mm_setr_epi8(0, 0, ' ', 0, 0, 0, 0, '\n', 0, 0, 0, 0, 0, 0, 0, 0);
  using namespace layout;
  static_assert(row_digits == 32 && chars_start == 41, "the shuffles above place 32 digits in 39");
  for (std::size_t r = 0; r < rows; ++r, digits += row_digits) {
    if (number != nullptr) {
      out = put_label_digits(*number, out);
      advance_label_digits(*number);
    }
    const auto load = [](const char* p) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    const auto store = [](char* p, __m128i v) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    };
    store(out, _mm_or_si128(_mm_shuffle_epi8(load(digits), first), first_gaps));
    store(out + 16, _mm_or_si128(_mm_shuffle_epi8(load(digits + 13), middle), middle_gaps));
    store(out + 32, _mm_or_si128(_mm_shuffle_epi8(load(digits + 16), last), last_gaps));
    if (chars != nullptr) {
      store(out + chars_start, load(chars + row_bytes * r));
      out[row_chars - 1] = '\n';
      out += row_chars;
    } else {
      out += bare_row_chars;
    }
  }
  return out;
}

// Dump rows read back: three shuffles gather a row's 32 digits from its 39 columns (the inverse
// of dump_rows), and byte compares find the spaces and line feeds where they must be.
inline std::size_t read_rows(const char* text, const char* end, label_digits* number,
                             std::size_t max_rows, char* digits, const char** row_ends) noexcept {
  using namespace layout;
  static_assert(row_digits == 32 && digit_columns == 39 && row_chars == 58,
                "the shuffles and masks below read 32 digits from 39 columns");
  const __m128i first = _mm_setr_epi8(0, 1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 15, -1, -1, -1);
  const __m128i middle = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 7, 9, 10, 11, 12, 14, 15, -1, -1, -1);
  const __m128i last = _mm_setr_epi8(0, 1, 3, 4, 5, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  constexpr unsigned group_spaces = 1U << 4 | 1U << 9 | 1U << 14 | 1U << 19 | 1U << 24 | 1U << 29;
  constexpr unsigned last_group_space = 1U << (34 - 32);
  const __m128i spaces = _mm_set1_epi8(' ');
  const __m128i feeds = _mm_set1_epi8('\n');
  const auto load = [](const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  const auto lanes_equal = [](__m128i v, __m128i c) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, c)));
  };
  std::size_t count = 0;
  for (; count < max_rows; ++count) {
    const char* t = row_after_label(text, end, number);
    if (t == nullptr) break;
    const __m128i a = load(t);
    const __m128i b = load(t + 16);
    const __m128i c = load(t + 32);
    const unsigned low_spaces = lanes_equal(a, spaces) | lanes_equal(b, spaces) << 16U;
    if ((low_spaces & group_spaces) != group_spaces ||
        (lanes_equal(c, spaces) & last_group_space) == 0) {
      break;
    }
    std::size_t length = 0;
    if (t[digit_columns] == '\n') {
      length = bare_row_chars;
    } else if (t[digit_columns] == ' ' && t[digit_columns + 1] == ' ' &&
               lanes_equal(load(t + chars_start), feeds) == 0 && t[row_chars - 1] == '\n') {
      length = row_chars;
    } else {
      break;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(digits), _mm_shuffle_epi8(a, first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 13), _mm_shuffle_epi8(b, middle));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 26), _mm_shuffle_epi8(c, last));
    digits += row_digits;
    text = t + length;
    row_ends[count] = text;
    if (number != nullptr) advance_label_digits(*number);
  }
  return count;
}

// PSHUFB turns the fill lanes' 0x80 into 0, so the fill bytes are simply or-ed in.
struct place_step16 {
  struct lanes {
    __m128i index;
    __m128i fill;
  };
  static lanes prepare(const std::uint8_t* l) noexcept {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(l)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(l + 16))};
  }
  static void apply(const lanes& l, const char* in, char* out) noexcept {
    const __m128i from = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_or_si128(_mm_shuffle_epi8(from, l.index), l.fill));
  }
};

// A line's check, 16 characters at a time.
struct line_block16 {
  static constexpr std::size_t width = 16;
  using vec = __m128i;
  using mask = __m128i;
  static vec load(const void* p) noexcept {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
  }
  static mask to_mask(const std::uint8_t* bytes) noexcept { return load(bytes); }
  static vec none() noexcept { return _mm_setzero_si128(); }
  static vec with_label(vec low, const char* label, mask m) noexcept {
    return _mm_or_si128(_mm_and_si128(m, load(label)), _mm_andnot_si128(m, low));
  }
  static vec excess(vec v, vec low, vec span) noexcept {
    return _mm_subs_epu8(_mm_sub_epi8(v, low), span);
  }
  static vec merge(vec a, vec b) noexcept { return _mm_or_si128(a, b); }
  static bool any(vec a) noexcept {
    return _mm_movemask_epi8(_mm_cmpeq_epi8(a, _mm_setzero_si128())) != 0xffff;
  }
};

}  // namespace
}  // namespace mivo::detail::x86

#endif  // MIVO_KERNELS_X86_COMMON_HPP
