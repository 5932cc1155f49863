// x86-64 AVX2 kernel: 32 bytes per encode step, 64 digits per decode step.
// This file is compiled with -mavx2 and runs only where dispatch found AVX2 and OS support for
// the AVX register state.
#include <immintrin.h>

#include <bit>

#include "kernels.hpp"
#include "x86_common.hpp"

namespace mivo::detail {
namespace {

// The 64 digits of in[0..32).
template <bool upper = false>
inline void encode32(const std::uint8_t* in, char* out) {
  const __m256i lut = _mm256_broadcastsi128_si256(x86::digit_lut128<upper>());
  const __m256i low_nibble = _mm256_set1_epi8(0x0f);
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
  const __m256i high =
      _mm256_shuffle_epi8(lut, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), low_nibble));
  const __m256i low = _mm256_shuffle_epi8(lut, _mm256_and_si256(bytes, low_nibble));
  // Unpacking works within 128-bit lanes: a = bytes 0-7 | 16-23, b = bytes 8-15 | 24-31.
  const __m256i a = _mm256_unpacklo_epi8(high, low);
  const __m256i b = _mm256_unpackhi_epi8(high, low);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(a, b, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(a, b, 0x31));
}

template <bool upper, bool secret = false>
void encode_avx2(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) encode32<upper>(in + i, out + 2 * i);
  if constexpr (secret) {
    ssse3_kernel.encode_secret(in + i, n - i, out + 2 * i);
    return;
  }
  if (i + 16 <= n) {
    __m128i first;
    __m128i second;
    x86::encode16<upper>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), first, second);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), second);
    i += 16;
  }
  (upper ? scalar_kernel.encode_upper : scalar_kernel.encode)(in + i, n - i, out + 2 * i);
}

// Digit values by nibble lookups. One table, by the high nibble, gives what to add to the
// character (-'0', -'A' + 10 or -'a' + 10, and 0 for any other high nibble); its bits also tell
// the class, a decimal digit (bit 4) or a letter (bit 0), which the table by the low nibble
// must share. PSHUFB looks at the low nibble of its index by itself and gives 0 for a byte from
// 0x80 up. `valid` is zero in each lane whose character is not a digit.
__m256i digit_values32(__m256i chars, __m256i& valid) {
  // One line per 128-bit lane.
  // clang-format off
  const __m256i add_of_high = _mm256_setr_epi8(
      0, 0, 0, x86::add_decimal, x86::add_upper, 0, x86::add_lower, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, x86::add_decimal, x86::add_upper, 0, x86::add_lower, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  // clang-format on
  const __m256i class_of_low = _mm256_broadcastsi128_si256(x86::class_of_low());
  const __m256i high = _mm256_and_si256(_mm256_srli_epi16(chars, 4), _mm256_set1_epi8(0x0f));
  const __m256i add = _mm256_shuffle_epi8(add_of_high, high);
  valid = _mm256_and_si256(add, _mm256_shuffle_epi8(class_of_low, chars));
  return _mm256_add_epi8(chars, add);
}

// The bytes of the 32 pairs of in[0..64); `valid` is zero in a lane where either block holds a
// non-digit.
__m256i pack64(const char* in, __m256i& valid) {
  __m256i valid_first;
  __m256i valid_second;
  const __m256i first =
      digit_values32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)), valid_first);
  const __m256i second =
      digit_values32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32)), valid_second);
  valid = _mm256_min_epu8(valid_first, valid_second);
  const __m256i weights = _mm256_set1_epi16(0x0110);  // high digit * 16 + low digit
  const __m256i packed = _mm256_packus_epi16(_mm256_maddubs_epi16(first, weights),
                                             _mm256_maddubs_epi16(second, weights));
  // Packing works within lanes too: restore the order of the four 8-byte quarters.
  return _mm256_permute4x64_epi64(packed, 0xd8);
}

bool all_valid(__m256i valid) {
  const __m256i bad = _mm256_cmpeq_epi8(valid, _mm256_setzero_si256());
  return _mm256_testz_si256(bad, bad) != 0;
}

bool decode_secret_avx2(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  __m256i valid = _mm256_set1_epi8(-1);
  std::size_t k = 0;
  for (; k + 32 <= pairs; k += 32) {
    __m256i block_valid;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), pack64(in + 2 * k, block_valid));
    valid = _mm256_min_epu8(valid, block_valid);
  }
  const __m128i halves =
      _mm_min_epu8(_mm256_castsi256_si128(valid), _mm256_extracti128_si256(valid, 1));
  const bool tail = ssse3_kernel.decode_secret(in + 2 * k, pairs - k, out + k);
  return x86::none_zero(halves) & tail;
}

std::size_t decode_avx2(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  std::size_t k = 0;
  // 128 digits a step, stored only when all are valid.
  for (; k + 64 <= pairs; k += 64) {
    __m256i valid_first;
    __m256i valid_second;
    const __m256i first = pack64(in + 2 * k, valid_first);
    const __m256i second = pack64(in + 2 * k + 64, valid_second);
    if (!all_valid(_mm256_min_epu8(valid_first, valid_second))) break;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), first);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k + 32), second);
  }
  for (; k + 32 <= pairs; k += 32) {
    __m256i valid;
    const __m256i bytes = pack64(in + 2 * k, valid);
    if (!all_valid(valid)) break;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), bytes);
  }
  if (k + 32 > pairs && k + 16 <= pairs) {
    __m128i bytes;
    if (x86::decode32(in + 2 * k, bytes)) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), bytes);
      k += 16;
    }
  }
  if (k == pairs) return pairs;
  // A bad block, or the tail: the scalar loop finds the exact pair.
  return k + scalar_kernel.decode(in + 2 * k, pairs - k, out + k);
}

void dump_chars_avx2(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i above_space = _mm256_sub_epi8(bytes, _mm256_set1_epi8(32));
    const __m256i printable =
        _mm256_cmpeq_epi8(_mm256_min_epu8(above_space, _mm256_set1_epi8(126 - 32)), above_space);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_blendv_epi8(_mm256_set1_epi8('.'), bytes, printable));
  }
  for (; i + 16 <= n; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), x86::dump_chars16(bytes));
  }
  scalar_kernel.dump_chars(in + i, n - i, out + i);
}

// The skip-list testers of x86_common.hpp, 32 lanes at a time.
struct few_values32 {
  __m256i v0, v1, v2, v3;
  explicit few_values32(const x86::few_values16& t)
      : v0(_mm256_broadcastsi128_si256(t.v0)),
        v1(_mm256_broadcastsi128_si256(t.v1)),
        v2(_mm256_broadcastsi128_si256(t.v2)),
        v3(_mm256_broadcastsi128_si256(t.v3)) {}
  [[nodiscard]] unsigned listed(__m256i b) const {
    const __m256i hits =
        _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(b, v0), _mm256_cmpeq_epi8(b, v1)),
                        _mm256_or_si256(_mm256_cmpeq_epi8(b, v2), _mm256_cmpeq_epi8(b, v3)));
    return static_cast<unsigned>(_mm256_movemask_epi8(hits));
  }
};

struct any_values32 {
  __m256i low_rows;
  __m256i high_rows;
  explicit any_values32(const x86::any_values16& t)
      : low_rows(_mm256_broadcastsi128_si256(t.low_rows)),
        high_rows(_mm256_broadcastsi128_si256(t.high_rows)) {}
  [[nodiscard]] unsigned listed(__m256i b) const {
    const __m256i rows = _mm256_or_si256(
        _mm256_shuffle_epi8(low_rows, b),
        _mm256_shuffle_epi8(high_rows, _mm256_xor_si256(b, _mm256_set1_epi8(-128))));
    const __m256i bit =
        _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(x86::row_bits128()),
                            _mm256_and_si256(_mm256_srli_epi16(b, 4), _mm256_set1_epi8(0x0f)));
    return static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(rows, bit), bit)));
  }
};

template <class F>
auto with_tester32(const skip_tables& t, F f) {
  const bool few = t.distinct > 0 && t.distinct <= skip_tables::few;  // none: nothing matches
  return few ? f(few_values32(x86::few_values16(t))) : f(any_values32(x86::any_values16(t)));
}

std::size_t count_kept_avx2(const std::uint8_t* in, std::size_t n,
                            const skip_tables& skip) noexcept {
  std::size_t i = 0;
  const std::size_t kept = with_tester32(skip, [&](const auto& tester) {
    std::size_t count = 0;
    for (; i + 32 <= n; i += 32) {
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
      count += 32 - static_cast<std::size_t>(std::popcount(tester.listed(bytes)));
    }
    return count;
  });
  return kept + ssse3_kernel.count_kept(in + i, n - i, skip);
}

char* encode_kept_avx2(const std::uint8_t* in, std::size_t n, const skip_tables& skip, char* out,
                       char* out_end) noexcept {
  std::size_t i = 0;
  out = with_tester32(skip, [&](const auto& tester) {
    for (; i + 32 <= n && out_end - out >= 128; i += 32) {
      const unsigned listed =
          tester.listed(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)));
      if (listed == 0) {
        encode32(in + i, out);
        out += 64;
      } else {
        out =
            x86::encode_without<32>(in + i, listed, i + 64 <= n, out,
                                    [](const std::uint8_t* from, char* to) { encode32(from, to); });
      }
    }
    return out;
  });
  return ssse3_kernel.encode_kept(in + i, n - i, skip, out, out_end);
}

char* keep_bytes_avx2(const char* in, std::size_t n, const skip_tables& skip, char* out) noexcept {
  std::size_t i = 0;
  out = with_tester32(skip, [&](const auto& tester) {
    for (; i + 32 <= n; i += 32) {
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
      const unsigned listed = tester.listed(bytes);
      if (listed == 0) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
        out += 32;
        continue;
      }
      const __m128i low = _mm256_castsi256_si128(bytes);
      const __m128i high = _mm256_extracti128_si256(bytes, 1);
      out = x86::keep8(low, ~listed & 0xffU, out);
      out = x86::keep8(_mm_srli_si128(low, 8), ~(listed >> 8) & 0xffU, out);
      out = x86::keep8(high, ~(listed >> 16) & 0xffU, out);
      out = x86::keep8(_mm_srli_si128(high, 8), ~(listed >> 24) & 0xffU, out);
    }
    return out;
  });
  return ssse3_kernel.keep_bytes(in + i, n - i, skip, out);
}

// Four bytes a step: each spread over eight lanes, one bit tested per lane.
void encode_bits_avx2(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                          2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
  const __m256i bits = _mm256_set1_epi64x(0x0102040810204080);
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    std::int32_t word = 0;
    std::memcpy(&word, in + i, 4);
    const __m256i set =
        _mm256_and_si256(_mm256_shuffle_epi8(_mm256_set1_epi32(word), spread), bits);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * i),
                        _mm256_sub_epi8(_mm256_set1_epi8('0'), _mm256_cmpeq_epi8(set, bits)));
  }
  encode_bits_scalar(in + i, n - i, out + 8 * i);
}

// 32 digits a step: each byte's digits reversed, so a byte's bits come out of the mask in order.
bool decode_bits_avx2(const char* in, std::size_t n, std::uint8_t* out) noexcept {
  const __m256i reverse = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,  //
                                           7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
  const __m256i one = _mm256_set1_epi8('1');
  __m256i valid = _mm256_set1_epi8(-1);
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256i digits = _mm256_shuffle_epi8(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 8 * i)), reverse);
    valid = _mm256_and_si256(valid,
                             _mm256_cmpeq_epi8(_mm256_or_si256(digits, _mm256_set1_epi8(1)), one));
    const auto bits =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(digits, one)));
    std::memcpy(out + i, &bits, 4);
  }
  const bool tail = decode_bits_scalar(in + 8 * i, n - i, out + i);
  return tail && _mm256_movemask_epi8(valid) == -1;
}

// A line's check, 32 characters at a time.
struct line_block_avx2 {
  static constexpr std::size_t width = 32;
  using vec = __m256i;
  using mask = __m256i;
  static vec load(const void* p) noexcept {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
  }
  static mask to_mask(const std::uint8_t* bytes) noexcept { return load(bytes); }
  static vec none() noexcept { return _mm256_setzero_si256(); }
  static vec with_label(vec low, const char* label, mask m) noexcept {
    return _mm256_blendv_epi8(low, load(label), m);
  }
  static vec excess(vec v, vec low, vec span) noexcept {
    return _mm256_subs_epu8(_mm256_sub_epi8(v, low), span);
  }
  static vec merge(vec a, vec b) noexcept { return _mm256_or_si256(a, b); }
  static bool any(vec a) noexcept { return _mm256_testz_si256(a, a) == 0; }
};

}  // namespace

// 32 units (96 characters) a step: two groups of 16, one in each 128-bit lane, gathered,
// checked and packed lane by lane as the SSSE3 form does one group.
std::size_t decode_separated_avx2(const char* in, std::size_t units, char separator,
                                  std::uint8_t* out) noexcept {
  const auto both = [](__m128i x) { return _mm256_broadcastsi128_si256(x); };
  const __m256i first_of_0 = both(x86::first_of_0());
  const __m256i first_of_1 = both(x86::first_of_1());
  const __m256i second_of_1 = both(x86::second_of_1());
  const __m256i second_of_2 = both(x86::second_of_2());
  const __m256i weights = _mm256_set1_epi16(0x0110);  // high digit * 16 + low digit
  const __m256i zero = _mm256_setzero_si256();
  // Block b of two groups, 48 characters apart; whether its separators are in place.
  const auto block = [&](const char* p, std::ptrdiff_t b) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * b));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48 + 16 * b));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
  };
  const __m256i lanes0 = both(x86::separators_in(0, -1));
  const __m256i lanes1 = both(x86::separators_in(1, -1));
  const __m256i lanes2 = both(x86::separators_in(2, -1));
  const __m256i sep0 = both(x86::separators_in(0, separator));
  const __m256i sep1 = both(x86::separators_in(1, separator));
  const __m256i sep2 = both(x86::separators_in(2, separator));
  const auto separated = [](__m256i v, __m256i lanes, __m256i separators) {
    return _mm256_cmpeq_epi8(_mm256_and_si256(v, lanes), separators);
  };
  std::size_t k = 0;
  for (; k + 32 <= units; k += 32) {
    const char* p = in + 3 * k;
    const __m256i v0 = block(p, 0);
    const __m256i v1 = block(p, 1);
    const __m256i v2 = block(p, 2);
    const __m256i in_place =
        _mm256_and_si256(_mm256_and_si256(separated(v0, lanes0, sep0), separated(v1, lanes1, sep1)),
                         separated(v2, lanes2, sep2));
    const __m256i first =
        _mm256_or_si256(_mm256_shuffle_epi8(v0, first_of_0), _mm256_shuffle_epi8(v1, first_of_1));
    const __m256i second =
        _mm256_or_si256(_mm256_shuffle_epi8(v1, second_of_1), _mm256_shuffle_epi8(v2, second_of_2));
    __m256i valid_first;
    __m256i valid_second;
    const __m256i high_low = digit_values32(first, valid_first);
    const __m256i low_high = digit_values32(second, valid_second);
    const __m256i bytes = _mm256_packus_epi16(_mm256_maddubs_epi16(high_low, weights),
                                              _mm256_maddubs_epi16(low_high, weights));
    const __m256i bad =
        _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(valid_first, valid_second), zero),
                        _mm256_cmpeq_epi8(in_place, zero));
    if (_mm256_movemask_epi8(bad) != 0) break;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), bytes);
  }
  return k + x86::decode_separated(in + 3 * k, units - k, separator, out + k);
}

const kernel avx2_kernel = {
    .name = "avx2",
    .needs = cpu::ssse3 | cpu::avx2,
    .encode = encode_avx2<false>,
    .encode_upper = encode_avx2<true>,
    .decode = decode_avx2,
    .dump_chars = dump_chars_avx2,
    .dump_rows = x86::dump_rows,
    .dump_color_rows = x86::dump_color_rows,
    .count_kept = count_kept_avx2,
    .encode_kept = encode_kept_avx2,
    .encode_lines = encode_lines_in_chunks<encode_avx2<false>>,
    .encode_secret = encode_avx2<false, true>,
    .decode_secret = decode_secret_avx2,
    .read_rows = x86::read_rows,
    .keep_bytes = keep_bytes_avx2,
    .decode_separated = decode_separated_avx2,
    .encode_separated = x86::encode_separated,
    .encode_bits = encode_bits_avx2,
    .decode_bits = decode_bits_avx2,
    .place_width = 16,
    .place = placing_by<x86::place_step16>::place,
    .place_rows = placing_by<x86::place_step16>::rows,
    .place_many = placing_by<x86::place_step16>::many,
    .read_lines = read_lines_with<x86::place_step16, line_block_avx2>,
};

}  // namespace mivo::detail
