// 128-bit building blocks shared by the x86 kernels. Included only by files compiled for
// SSSE3 or better; everything here has internal linkage so no copy built for one instruction
// set can stand in for another's.
#ifndef MIVO_KERNELS_X86_COMMON_HPP
#define MIVO_KERNELS_X86_COMMON_HPP

#include <immintrin.h>

#include "kernels.hpp"

namespace mivo::detail::x86 {
namespace {

inline __m128i digit_lut128() {
  return _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e',
                       'f');
}

// The 32 digits of 16 bytes: the first 8 bytes' digits in `first`, the rest in `second`.
inline void encode16(__m128i bytes, __m128i& first, __m128i& second) {
  const __m128i low_nibble = _mm_set1_epi8(0x0f);
  const __m128i high = _mm_shuffle_epi8(
      digit_lut128(), _mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble));
  const __m128i low = _mm_shuffle_epi8(digit_lut128(), _mm_and_si128(bytes, low_nibble));
  first = _mm_unpacklo_epi8(high, low);
  second = _mm_unpackhi_epi8(high, low);
}

// Digit values 0-15 of 16 characters; `valid` is all-ones where the character is a digit.
inline __m128i digit_values16(__m128i chars, __m128i& valid) {
  const __m128i decimal = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
  const __m128i is_decimal = _mm_cmpeq_epi8(_mm_min_epu8(decimal, _mm_set1_epi8(9)), decimal);
  const __m128i letter = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
  valid = _mm_or_si128(is_decimal, is_letter);
  return _mm_or_si128(_mm_and_si128(is_decimal, decimal),
                      _mm_and_si128(is_letter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
}

// Decodes the 16 pairs of in[0..32) into `bytes`; false if any character is not a digit.
inline bool decode32(const char* in, __m128i& bytes) {
  __m128i valid_first;
  __m128i valid_second;
  const __m128i first =
      digit_values16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), valid_first);
  const __m128i second =
      digit_values16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), valid_second);
  if (_mm_movemask_epi8(_mm_and_si128(valid_first, valid_second)) != 0xffff) return false;
  const __m128i weights = _mm_set1_epi16(0x0110);  // high digit * 16 + low digit
  bytes = _mm_packus_epi16(_mm_maddubs_epi16(first, weights), _mm_maddubs_epi16(second, weights));
  return true;
}

// The dump's characters for 16 bytes: each byte from 32 to 126 itself, every other one '.'.
inline __m128i dump_chars16(__m128i bytes) {
  const __m128i above_space = _mm_sub_epi8(bytes, _mm_set1_epi8(32));
  const __m128i printable =
      _mm_cmpeq_epi8(_mm_min_epu8(above_space, _mm_set1_epi8(126 - 32)), above_space);
  return _mm_or_si128(_mm_and_si128(printable, bytes),
                      _mm_andnot_si128(printable, _mm_set1_epi8('.')));
}

// Full dump rows with PSHUFB: three shuffles place the 32 digits in their 39 columns, and the
// shuffles' zero lanes are filled with the separators.
inline char* dump_rows(const char* digits, const char* chars, std::size_t rows,
                       row_number* number, char* out) noexcept {
  const __m128i first = _mm_setr_epi8(0, 1, 2, 3, -1, 4, 5, 6, 7, -1, 8, 9, 10, 11, -1, 12);
  const __m128i first_gaps = _mm_setr_epi8(0, 0, 0, 0, ' ', 0, 0, 0, 0, ' ', 0, 0, 0, 0, ' ', 0);
  const __m128i middle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, 6, -1, 7, 8, 9, 10, -1, 11, 12);
  const __m128i middle_gaps = _mm_setr_epi8(0, 0, 0, ' ', 0, 0, 0, 0, ' ', 0, 0, 0, 0, ' ', 0, 0);
  const __m128i last = _mm_setr_epi8(10, 11, -1, 12, 13, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1,
                                     -1);
  const __m128i last_gaps = chars != nullptr
      ? _mm_setr_epi8(0, 0, ' ', 0, 0, 0, 0, ' ', ' ', 0, 0, 0, 0, 0, 0, 0)
      : _mm_setr_epi8(0, 0, ' ', 0, 0, 0, 0, '\n', 0, 0, 0, 0, 0, 0, 0, 0);
  for (std::size_t r = 0; r < rows; ++r, digits += 32) {
    if (number != nullptr) {
      out = put_row_number(*number, out);
      advance_row_number(*number);
    }
    const auto load = [](const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    const auto store = [](char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); };
    store(out, _mm_or_si128(_mm_shuffle_epi8(load(digits), first), first_gaps));
    store(out + 16, _mm_or_si128(_mm_shuffle_epi8(load(digits + 13), middle), middle_gaps));
    store(out + 32, _mm_or_si128(_mm_shuffle_epi8(load(digits + 16), last), last_gaps));
    if (chars != nullptr) {
      store(out + 41, load(chars + 16 * r));
      out[57] = '\n';
      out += 58;
    } else {
      out += 40;
    }
  }
  return out;
}

}  // namespace
}  // namespace mivo::detail::x86

#endif  // MIVO_KERNELS_X86_COMMON_HPP
