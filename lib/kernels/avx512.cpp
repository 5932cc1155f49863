// x86-64 AVX-512 kernel (F, BW, VBMI): 64 bytes per encode step, 128 digits per decode step,
// tails by masked loads and stores. VBMI's byte permutes interleave the digits and look up all
// 128 ASCII values at once. This file is compiled with -mavx512f -mavx512bw -mavx512vbmi and runs
// only where dispatch found them and OS support for the ZMM register state.
#include <immintrin.h>

#include <array>
#include <cstdint>

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

}  // namespace

const kernel avx512_kernel = {
    .name = "avx512",
    .encode = encode_avx512<false>,
    .encode_upper = encode_avx512<true>,
    .decode = decode_avx512,
    .dump_chars = dump_chars_avx512,
    .dump_rows = x86::dump_rows,
    .count_kept = count_kept_avx512,
    .encode_kept = encode_kept_avx512,
    .encode_secret = encode_avx512<false>,
    .decode_secret = decode_secret_avx512,
    .read_rows = x86::read_rows,
    .keep_bytes = keep_bytes_avx512,
};

}  // namespace mivo::detail
