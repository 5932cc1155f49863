// The digest path of encode_into and decode_into: short inputs through SSE2 in the caller's code.
#ifndef MIVO_MIVO_DETAIL_SSE2_HPP
#define MIVO_MIVO_DETAIL_SSE2_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(MIVO_CHECK_CONSTANT_TIME)  // the library's own constant-time test, under valgrind
#include <valgrind/memcheck.h>
#endif

#include "../config.hpp"

// Digests and keys (16, 32, 48 or 64 bytes) are encoded and decoded right here, without a call
// into the library or its kernel dispatch: SSE2 is part of every x86-64. Anything else, and any
// text with a non-digit, goes to the library, which judges it.
namespace mivo::detail {

MIVO_API std::size_t encode_into_library(std::span<char> out, std::span<const std::uint8_t> in);
MIVO_API std::size_t decode_into_library(std::span<std::uint8_t> out, std::string_view text);

// The one place where a value computed from secret bytes is made public: whether a text was
// valid, which decides between returning and throwing. Under the constant-time test it tells
// valgrind so; otherwise it is nothing.
inline bool declassify(bool secret) noexcept {
#if defined(MIVO_CHECK_CONSTANT_TIME)
  VALGRIND_MAKE_MEM_DEFINED(&secret, sizeof secret);
#endif
  return secret;
}

inline constexpr std::size_t inline_block = 16;  // bytes
inline constexpr std::size_t inline_max = 64;

#if defined(__SSE2__)
// The digits of a nibble in each byte lane: '0' + v, and 39 more from 10 up.
inline __m128i sse2_digits(__m128i nibbles) noexcept {
  const __m128i letters =
      _mm_and_si128(_mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9)), _mm_set1_epi8('a' - '0' - 10));
  return _mm_add_epi8(_mm_add_epi8(nibbles, _mm_set1_epi8('0')), letters);
}

inline void sse2_encode16(const std::uint8_t* in, char* out) noexcept {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i low_nibble = _mm_set1_epi8(0x0f);
  const __m128i high = sse2_digits(_mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble));
  const __m128i low = sse2_digits(_mm_and_si128(bytes, low_nibble));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(high, low));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(high, low));
}

// The values of 16 digit characters, and in `valid` all ones where a character is a digit.
inline __m128i sse2_values(__m128i chars, __m128i& valid) noexcept {
  const __m128i decimal = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
  const __m128i letter = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i is_decimal = _mm_cmpeq_epi8(_mm_min_epu8(decimal, _mm_set1_epi8(9)), decimal);
  const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
  valid = _mm_or_si128(is_decimal, is_letter);
  return _mm_or_si128(_mm_and_si128(is_decimal, decimal),
                      _mm_and_si128(is_letter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
}

// The 16 bytes of 32 digits into out; false if any is not a digit.
inline bool sse2_decode32(const char* in, std::uint8_t* out) noexcept {
  __m128i valid_first;
  __m128i valid_second;
  const __m128i first =
      sse2_values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), valid_first);
  const __m128i second =
      sse2_values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), valid_second);
  // Each 16-bit lane holds a pair, its high digit in the low byte.
  const auto pack = [](__m128i pairs) {
    const __m128i high = _mm_slli_epi16(_mm_and_si128(pairs, _mm_set1_epi16(0x00ff)), 4);
    return _mm_or_si128(high, _mm_srli_epi16(pairs, 8));
  };
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(pack(first), pack(second)));
  return _mm_movemask_epi8(_mm_and_si128(valid_first, valid_second)) == 0xffff;
}
#endif

}  // namespace mivo::detail

#endif  // MIVO_MIVO_DETAIL_SSE2_HPP
