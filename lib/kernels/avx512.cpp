// x86-64 AVX-512 kernel (F, BW, VBMI): 64 bytes per encode step, 128 digits per decode step,
// tails by masked loads and stores. VBMI's byte permutes interleave the digits and look up all
// 128 ASCII values at once. This file is compiled with -mavx512f -mavx512bw -mavx512vbmi and runs
// only where dispatch found them and OS support for the ZMM register state.
#include <immintrin.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "../tables.hpp"
#include "kernels.hpp"
#include "x86_common.hpp"

namespace mivo::detail {
namespace {

// Every lane: the zero-masked broadcast is used with it, as GCC 12 warns about the undefined
// vector its unmasked form starts from.
constexpr __mmask16 all16 = 0xffff;

// The lanes below n (n <= 64).
__mmask64 first_lanes(std::size_t n) { return n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1; }

// Where each digit of 64 bytes comes from in permutex2var(high, index, low): digit 2i is the
// high digit of byte i (lane i of `high`), digit 2i + 1 the low one (lane i of `low`, index
// 64 + i). The first 64 digits are of bytes 0-31, the second of bytes 32-63.
constexpr std::array<std::uint8_t, 64> interleave(unsigned first_byte) {
  std::array<std::uint8_t, 64> index{};
  for (unsigned d = 0; d < 64; ++d) {
    index[d] = static_cast<std::uint8_t>(first_byte + d / 2 + ((d & 1U) != 0 ? 64 : 0));
  }
  return index;
}
constexpr std::array<std::uint8_t, 64> first_digits = interleave(0);
constexpr std::array<std::uint8_t, 64> second_digits = interleave(32);

// A digit's value for each ASCII character, 0x80 for any other: two 64-lane tables.
constexpr std::array<std::uint8_t, 128> ascii_values = [] {
  std::array<std::uint8_t, 128> values{};
  for (unsigned c = 0; c < values.size(); ++c) {
    values[c] = digit_value[c] < 0 ? 0x80 : static_cast<std::uint8_t>(digit_value[c]);
  }
  return values;
}();

// The low byte of each 16-bit lane of two vectors, in order: lane 2i of the pair (index 64 up
// names the second vector).
constexpr std::array<std::uint8_t, 64> word_low_bytes = [] {
  std::array<std::uint8_t, 64> index{};
  for (unsigned i = 0; i < 64; ++i) index[i] = static_cast<std::uint8_t>(2 * i);
  return index;
}();

__m512i load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }

// The 128 digits of up to 64 bytes: those of the first n go to out, the rest are not stored.
template <bool upper>
void encode64(const std::uint8_t* in, std::size_t n, char* out) {
  const __m512i lut = _mm512_maskz_broadcast_i32x4(all16, x86::digit_lut128<upper>());
  const __m512i bytes = _mm512_maskz_loadu_epi8(first_lanes(n), in);
  const __m512i low_nibble = _mm512_set1_epi8(0x0f);
  const __m512i high =
      _mm512_shuffle_epi8(lut, _mm512_and_si512(_mm512_srli_epi16(bytes, 4), low_nibble));
  const __m512i low = _mm512_shuffle_epi8(lut, _mm512_and_si512(bytes, low_nibble));
  const __m512i first = _mm512_permutex2var_epi8(high, load(first_digits.data()), low);
  const __m512i second = _mm512_permutex2var_epi8(high, load(second_digits.data()), low);
  if (n == 64) {
    _mm512_storeu_si512(out, first);
    _mm512_storeu_si512(out + 64, second);
    return;
  }
  _mm512_mask_storeu_epi8(out, first_lanes(2 * n), first);
  _mm512_mask_storeu_epi8(out + 64, first_lanes(2 * n > 64 ? 2 * n - 64 : 0), second);
}

// Neither branches nor indexes on the bytes, tails included: it serves encode_secret too.
template <bool upper>
void encode_avx512(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) encode64<upper>(in + i, 64, out + 2 * i);
  if (i < n) encode64<upper>(in + i, n - i, out + 2 * i);
}

// Full rows read back, as x86::read_rows does, but a row (after its label) is one masked load:
// one compare each finds its spaces and line feeds, and one permute gathers its 32 digits.
std::size_t read_rows_avx512(const char* text, const char* end, label_digits* number,
                             std::size_t max_rows, char* digits, const char** row_ends) noexcept {
  using namespace layout;
  static_assert(row_digits == 32 && digit_columns == 39 && row_chars == 58 && chars_start == 41,
                "the masks below find 32 digits in 39 columns");
  constexpr std::uint64_t group_spaces =
      1U << 4 | 1U << 9 | 1U << 14 | 1U << 19 | 1U << 24 | 1U << 29 | std::uint64_t{1} << 34;
  constexpr std::uint64_t bare_end = std::uint64_t{1} << digit_columns;
  constexpr std::uint64_t char_gap_spaces = std::uint64_t{3} << digit_columns;
  constexpr std::uint64_t char_lanes = ((std::uint64_t{1} << row_bytes) - 1) << chars_start;
  constexpr std::uint64_t chars_end = std::uint64_t{1} << (row_chars - 1);
  constexpr auto digit_order = [] {
    std::array<std::uint8_t, 64> order{};
    for (unsigned d = 0; d < row_digits; ++d) order[d] = static_cast<std::uint8_t>(d + d / 4);
    return order;
  }();
  const __m512i order = load(digit_order.data());
  const __m512i spaces = _mm512_set1_epi8(' ');
  const __m512i feeds = _mm512_set1_epi8('\n');
  std::size_t count = 0;
  for (; count < max_rows; ++count) {
    const char* t = row_after_label(text, end, number);
    if (t == nullptr) break;
    const __m512i row = _mm512_maskz_loadu_epi8(first_lanes(row_chars), t);
    const std::uint64_t space = _mm512_cmpeq_epi8_mask(row, spaces);
    const std::uint64_t feed = _mm512_cmpeq_epi8_mask(row, feeds);
    if ((space & group_spaces) != group_spaces) break;
    std::size_t length = 0;
    if ((feed & bare_end) != 0) {
      length = bare_row_chars;
    } else if ((space & char_gap_spaces) == char_gap_spaces &&
               (feed & (char_lanes | chars_end)) == chars_end) {
      length = row_chars;
    } else {
      break;
    }
    _mm512_mask_storeu_epi8(digits, first_lanes(row_digits),
                            _mm512_maskz_permutexvar_epi8(first_lanes(64), order, row));
    digits += row_digits;
    text = t + length;
    row_ends[count] = text;
    if (number != nullptr) advance_label_digits(*number);
  }
  return count;
}

// Lines of up to 31 bytes take one masked load, one permute and one masked store, the line
// feed blended in; longer lines are encoded one at a time.
void encode_lines_avx512(const std::uint8_t* in, std::size_t lines, std::size_t line_bytes,
                         char* out) noexcept {
  const std::size_t width = 2 * line_bytes;
  if (line_bytes >= 32) {
    for (; lines > 0; --lines, in += line_bytes, out += width + 1) {
      encode_avx512<false>(in, line_bytes, out);
      out[width] = '\n';
    }
    return;
  }
  const __m512i lut = _mm512_maskz_broadcast_i32x4(all16, x86::digit_lut128());
  const __m512i low_nibble = _mm512_set1_epi8(0x0f);
  const __m512i order = load(first_digits.data());
  const __m512i line_feeds = _mm512_set1_epi8('\n');
  const __mmask64 line = first_lanes(line_bytes);
  const __mmask64 line_feed = __mmask64{1} << width;
  const __mmask64 line_and_feed = first_lanes(width + 1);
  for (; lines > 0; --lines, in += line_bytes, out += width + 1) {
    const __m512i bytes = _mm512_maskz_loadu_epi8(line, in);
    const __m512i high =
        _mm512_shuffle_epi8(lut, _mm512_and_si512(_mm512_srli_epi16(bytes, 4), low_nibble));
    const __m512i low = _mm512_shuffle_epi8(lut, _mm512_and_si512(bytes, low_nibble));
    const __m512i digits = _mm512_permutex2var_epi8(high, order, low);
    _mm512_mask_storeu_epi8(out, line_and_feed,
                            _mm512_mask_mov_epi8(digits, line_feed, line_feeds));
  }
}

// The bytes of 64 pairs whose 128 characters are `first` and `second`; `bad` gains bit 7 in
// each lane where either is not a digit (bit 7 set in the character or in its looked-up value).
__m512i pack128(__m512i first, __m512i second, __m512i& bad) {
  const __m512i low_table = load(ascii_values.data());
  const __m512i high_table = load(ascii_values.data() + 64);
  const __m512i first_values = _mm512_permutex2var_epi8(low_table, first, high_table);
  const __m512i second_values = _mm512_permutex2var_epi8(low_table, second, high_table);
  bad = _mm512_ternarylogic_epi64(bad, first_values, first, 0xfe);  // bad | values | chars
  bad = _mm512_ternarylogic_epi64(bad, second_values, second, 0xfe);
  const __m512i weights = _mm512_set1_epi16(0x0110);  // high digit * 16 + low digit
  return _mm512_permutex2var_epi8(_mm512_maddubs_epi16(first_values, weights),
                                  load(word_low_bytes.data()),
                                  _mm512_maddubs_epi16(second_values, weights));
}

__m512i pack128_at(const char* in, __m512i& bad) {
  return pack128(_mm512_loadu_si512(in), _mm512_loadu_si512(in + 64), bad);
}

// The last `pairs` (< 64) pairs: lanes past them read as '0'.
__m512i pack_tail(const char* in, std::size_t pairs, __m512i& bad) {
  const std::size_t chars = 2 * pairs;
  const __m512i zeros = _mm512_set1_epi8('0');
  return pack128(_mm512_mask_loadu_epi8(zeros, first_lanes(chars), in),
                 _mm512_mask_loadu_epi8(zeros, first_lanes(chars > 64 ? chars - 64 : 0), in + 64),
                 bad);
}

bool any_bad(__m512i bad) { return _mm512_movepi8_mask(bad) != 0; }

std::size_t decode_avx512(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  std::size_t k = 0;
  for (; k + 64 <= pairs; k += 64) {
    __m512i bad = _mm512_setzero_si512();
    const __m512i bytes = pack128_at(in + 2 * k, bad);
    if (any_bad(bad)) break;
    _mm512_storeu_si512(out + k, bytes);
  }
  if (k + 64 > pairs && k < pairs) {
    __m512i bad = _mm512_setzero_si512();
    const __m512i bytes = pack_tail(in + 2 * k, pairs - k, bad);
    if (!any_bad(bad)) {
      _mm512_mask_storeu_epi8(out + k, first_lanes(pairs - k), bytes);
      k = pairs;
    }
  }
  if (k == pairs) return pairs;
  // A bad block: the AVX2 kernel finds the exact pair.
  return k + avx2_kernel.decode(in + 2 * k, pairs - k, out + k);
}

bool decode_secret_avx512(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  __m512i bad = _mm512_setzero_si512();
  std::size_t k = 0;
  for (; k + 64 <= pairs; k += 64) _mm512_storeu_si512(out + k, pack128_at(in + 2 * k, bad));
  if (k < pairs) {
    _mm512_mask_storeu_epi8(out + k, first_lanes(pairs - k), pack_tail(in + 2 * k, pairs - k, bad));
  }
  return !any_bad(bad);
}

void dump_chars_avx512(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  for (std::size_t i = 0; i < n; i += 64) {
    const __mmask64 lanes = first_lanes(n - i);
    const __m512i bytes = _mm512_maskz_loadu_epi8(lanes, in + i);
    const __mmask64 printable = _mm512_cmple_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8(32)),
                                                       _mm512_set1_epi8(126 - 32));
    _mm512_mask_storeu_epi8(out + i, lanes,
                            _mm512_mask_blend_epi8(printable, _mm512_set1_epi8('.'), bytes));
  }
}

// The skip-list forms gain little from wider vectors: they are AVX2's.
std::size_t count_kept_avx512(const std::uint8_t* in, std::size_t n,
                              const skip_tables& skip) noexcept {
  return avx2_kernel.count_kept(in, n, skip);
}

char* encode_kept_avx512(const std::uint8_t* in, std::size_t n, const skip_tables& skip, char* out,
                         char* out_end) noexcept {
  return avx2_kernel.encode_kept(in, n, skip, out, out_end);
}

char* keep_bytes_avx512(const char* in, std::size_t n, const skip_tables& skip,
                        char* out) noexcept {
  return avx2_kernel.keep_bytes(in, n, skip, out);
}

// Color, four bytes to a token. Pool `a` holds each pair's two digits and its sequence's x
// and y, four lanes a pair; pool `b` (lanes 64 on) holds a filler and the sequence's ESC [ m
// likewise: the filler is the space between groups for the digit part and the byte's
// character for the character column. A token's permute picks from both by which of its four
// bytes start a class; a token four bytes on adds 16 to every lane it picks.
namespace color_tokens {
constexpr std::size_t bytes_per_token = 4;
enum lane : std::uint8_t { high_digit, low_digit, x, y, filler = 64, esc, bracket, em };

struct patterns {
  std::array<std::array<std::uint8_t, 64>, 16> order{};
  std::array<std::uint8_t, 16> length{};
};

constexpr patterns make_patterns(bool digit_part) {
  patterns p;
  for (unsigned starts = 0; starts < 16; ++starts) {
    std::size_t to = 0;
    const auto pick = [&](unsigned byte, lane l) {
      p.order[starts][to++] = static_cast<std::uint8_t>(4 * byte + l);
    };
    for (unsigned byte = 0; byte < bytes_per_token; ++byte) {
      if ((starts >> byte & 1U) != 0) {
        pick(byte, esc);
        pick(byte, bracket);
        pick(byte, x);
        pick(byte, y);
        pick(byte, em);
      }
      if (digit_part) {
        pick(byte, high_digit);
        pick(byte, low_digit);
        if (byte % 2 == 1) pick(byte, filler);
      } else {
        pick(byte, filler);
      }
    }
    p.length[starts] = static_cast<std::uint8_t>(to);
  }
  return p;
}
constexpr patterns digit_patterns = make_patterns(true);
constexpr patterns char_patterns = make_patterns(false);
static_assert(digit_patterns.length[15] == 30 && char_patterns.length[15] == 24,
              "a token fits one 32-byte store");

// Copies the four tokens of a row's part; returns the end of the last.
inline char* put_tokens(const patterns& p, unsigned starts, __m512i a, __m512i b, char* out) {
  for (unsigned t = 0; t < layout::row_bytes / bytes_per_token; ++t) {
    const unsigned token_starts = starts >> (bytes_per_token * t) & 15U;
    const __m512i order = _mm512_add_epi8(_mm512_loadu_si512(p.order[token_starts].data()),
                                          _mm512_set1_epi8(static_cast<char>(16 * t)));
    _mm512_mask_storeu_epi8(out, first_lanes(32), _mm512_permutex2var_epi8(a, order, b));
    out += p.length[token_starts];
  }
  return out;
}
}  // namespace color_tokens

char* dump_color_rows_avx512(const char* digits, const std::uint8_t* bytes, const char* chars,
                             std::size_t rows, label_digits* number, char* out) noexcept {
  using namespace layout;
  using namespace color_tokens;
  const auto lanes = [](char filler) {
    return _mm512_set1_epi32(static_cast<int>(static_cast<unsigned char>(filler) | 0x1bU << 8 |
                                              unsigned{'['} << 16 | unsigned{'m'} << 24));
  };
  const __m512i spaces = lanes(' ');
  const __m512i sequence = lanes(0);
  for (std::size_t r = 0; r < rows; ++r, digits += row_digits, bytes += row_bytes) {
    if (number != nullptr) {
      out = put_label_digits(*number, out);
      advance_label_digits(*number);
    }
    __m128i x;
    __m128i y;
    const unsigned starts = x86::color_rows::row_classes(bytes, x, y);
    const __m256i xy =
        _mm256_or_si256(_mm256_cvtepu8_epi16(x), _mm256_slli_epi16(_mm256_cvtepu8_epi16(y), 8));
    const __m512i a =
        _mm512_or_si512(_mm512_maskz_cvtepu16_epi32(
                            all16, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(digits))),
                        _mm512_maskz_slli_epi32(all16, _mm512_maskz_cvtepu16_epi32(all16, xy), 16));
    // The four tokens end with the space after the last group, which is not the row's.
    out = put_tokens(digit_patterns, starts, a, spaces, out) - 1;
    out = color::end_digit_part(chars != nullptr, out);
    if (chars == nullptr) continue;
    const __m512i b = _mm512_or_si512(
        sequence, _mm512_maskz_cvtepu8_epi32(
                      all16, _mm_loadu_si128(reinterpret_cast<const __m128i*>(chars))));
    out = put_tokens(char_patterns, starts, a, b, out);
    out = color::end_char_part(out);
    chars += row_bytes;
  }
  return out;
}

// A line's check, 64 characters at a time; the label is within the first 64.
struct line_block_avx512 {
  static constexpr std::size_t width = 64;
  using vec = __m512i;
  using mask = __mmask64;
  static vec load(const void* p) noexcept { return _mm512_loadu_si512(p); }
  static mask to_mask(const std::uint8_t* bytes) noexcept {
    return _mm512_movepi8_mask(load(bytes));
  }
  static vec none() noexcept { return _mm512_setzero_si512(); }
  static vec with_label(vec low, const char* label, mask m) noexcept {
    return _mm512_mask_loadu_epi8(low, m, label);
  }
  static vec excess(vec v, vec low, vec span) noexcept {
    return _mm512_subs_epu8(_mm512_sub_epi8(v, low), span);
  }
  static vec merge(vec a, vec b) noexcept { return _mm512_or_si512(a, b); }
  static bool any(vec a) noexcept { return _mm512_test_epi8_mask(a, a) != 0; }
};

// VBMI's permute reaches any of 64 bytes; lanes whose index has the top bit keep the fill.
struct place_step_avx512 {
  struct lanes {
    __m512i index;
    __m512i fill;
    __mmask64 taken;
  };
  static lanes prepare(const std::uint8_t* l) noexcept {
    const __m512i index = load(l);
    return {index, load(l + 64), static_cast<__mmask64>(~_mm512_movepi8_mask(index))};
  }
  static void apply(const lanes& l, const char* in, char* out) noexcept {
    _mm512_storeu_si512(
        out, _mm512_mask_permutexvar_epi8(l.fill, l.taken, l.index, _mm512_loadu_si512(in)));
  }
};

// Lane j of the k-th permute takes byte 8k + j / 8.
template <unsigned k>
constexpr std::array<std::uint8_t, 64> bit_spread = [] {
  std::array<std::uint8_t, 64> index{};
  for (unsigned j = 0; j < 64; ++j) index[j] = static_cast<std::uint8_t>(8 * k + j / 8);
  return index;
}();

template <unsigned k>
void put_bits(__m512i bytes, char* out) noexcept {
  const __m512i bits = _mm512_set1_epi64(0x0102040810204080);
  const __m512i spread =
      _mm512_maskz_permutexvar_epi8(~__mmask64{0}, load(bit_spread<k>.data()), bytes);
  const __mmask64 ones = _mm512_test_epi8_mask(spread, bits);
  _mm512_storeu_si512(out + std::size_t{64} * k,
                      _mm512_mask_blend_epi8(ones, _mm512_set1_epi8('0'), _mm512_set1_epi8('1')));
}

// 64 bytes a step, eight at a time spread over the 64 lanes, one bit tested per lane.
void encode_bits_avx512(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m512i bytes = load(in + i);
    char* at = out + 8 * i;
    put_bits<0>(bytes, at);
    put_bits<1>(bytes, at);
    put_bits<2>(bytes, at);
    put_bits<3>(bytes, at);
    put_bits<4>(bytes, at);
    put_bits<5>(bytes, at);
    put_bits<6>(bytes, at);
    put_bits<7>(bytes, at);
  }
  encode_bits_scalar(in + i, n - i, out + 8 * i);
}

// Each byte's digits reversed, so a byte's bits come out of the mask in order.
constexpr std::array<std::uint8_t, 64> reverse_in_bytes = [] {
  std::array<std::uint8_t, 64> index{};
  for (unsigned j = 0; j < 64; ++j)
    index[j] = static_cast<std::uint8_t>((j & ~7U) | (7 - (j & 7U)));
  return index;
}();

// 64 digits, eight bytes, a step.
bool decode_bits_avx512(const char* in, std::size_t n, std::uint8_t* out) noexcept {
  const __m512i reverse = load(reverse_in_bytes.data());
  const __m512i zero = _mm512_set1_epi8('0');
  const __m512i one = _mm512_set1_epi8('1');
  __mmask64 valid = ~__mmask64{0};
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m512i digits =
        _mm512_maskz_permutexvar_epi8(~__mmask64{0}, reverse, _mm512_loadu_si512(in + 8 * i));
    const __mmask64 ones = _mm512_cmpeq_epi8_mask(digits, one);
    valid &= ones | _mm512_cmpeq_epi8_mask(digits, zero);
    std::memcpy(out + i, &ones, 8);
  }
  const bool tail = decode_bits_scalar(in + 8 * i, n - i, out + i);
  return tail && valid == ~__mmask64{0};
}

}  // namespace

const kernel avx512_kernel = {
    .name = "avx512",
    .needs = cpu::ssse3 | cpu::avx2 | cpu::avx512f | cpu::avx512bw | cpu::avx512vbmi,
    .encode = encode_avx512<false>,
    .encode_upper = encode_avx512<true>,
    .decode = decode_avx512,
    .dump_chars = dump_chars_avx512,
    .dump_rows = x86::dump_rows,
    .dump_color_rows = dump_color_rows_avx512,
    .count_kept = count_kept_avx512,
    .encode_kept = encode_kept_avx512,
    .encode_lines = encode_lines_avx512,
    .encode_secret = encode_avx512<false>,
    .decode_secret = decode_secret_avx512,
    .read_rows = read_rows_avx512,
    .keep_bytes = keep_bytes_avx512,
    .decode_separated = decode_separated_avx2,
    .encode_separated = x86::encode_separated,
    .encode_bits = encode_bits_avx512,
    .decode_bits = decode_bits_avx512,
    .place_width = 64,
    .place = placing_by<place_step_avx512>::place,
    .place_rows = placing_by<place_step_avx512>::rows,
    .place_many = placing_by<place_step_avx512>::many,
    .read_lines = read_lines_with<place_step_avx512, line_block_avx512>,
};

}  // namespace mivo::detail
