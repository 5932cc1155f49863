// x86-64 SSSE3 kernel: 16 bytes per step, nibbles looked up with PSHUFB.
// This file is compiled with -mssse3 and runs only where dispatch found SSSE3.
#include <immintrin.h>

#include <array>
#include <bit>
#include <cstring>

#include "kernels.hpp"
#include "x86_common.hpp"

namespace mivo::detail {
namespace {

template <bool upper, bool secret = false>
void encode_ssse3(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    __m128i first;
    __m128i second;
    x86::encode16<upper>(bytes, first, second);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), second);
  }
  const auto tail = secret  ? scalar_kernel.encode_secret
                    : upper ? scalar_kernel.encode_upper
                            : scalar_kernel.encode;
  tail(in + i, n - i, out + 2 * i);
}

bool decode_secret_ssse3(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  __m128i valid = _mm_set1_epi8(-1);
  std::size_t k = 0;
  for (; k + 16 <= pairs; k += 16) {
    __m128i block_valid;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), x86::pack32(in + 2 * k, block_valid));
    valid = _mm_min_epu8(valid, block_valid);
  }
  const bool tail = scalar_kernel.decode_secret(in + 2 * k, pairs - k, out + k);
  return x86::none_zero(valid) & tail;
}

std::size_t decode_ssse3(const char* in, std::size_t pairs, std::uint8_t* out) noexcept {
  std::size_t k = 0;
  for (; k + 16 <= pairs; k += 16) {
    __m128i bytes;
    if (!x86::decode32(in + 2 * k, bytes)) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), bytes);
  }
  if (k == pairs) return pairs;
  // A bad block, or the tail: the scalar loop finds the exact pair.
  return k + scalar_kernel.decode(in + 2 * k, pairs - k, out + k);
}

void dump_chars_ssse3(const std::uint8_t* in, std::size_t n, char* out) noexcept {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), x86::dump_chars16(bytes));
  }
  scalar_kernel.dump_chars(in + i, n - i, out + i);
}

std::size_t count_kept_ssse3(const std::uint8_t* in, std::size_t n,
                             const skip_tables& skip) noexcept {
  std::size_t i = 0;
  const std::size_t kept = x86::with_tester16(skip, [&](const auto& tester) {
    std::size_t count = 0;
    for (; i + 16 <= n; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      count += 16 - static_cast<std::size_t>(std::popcount(
                        static_cast<unsigned>(_mm_movemask_epi8(tester.listed(bytes)))));
    }
    return count;
  });
  return kept + scalar_kernel.count_kept(in + i, n - i, skip);
}

char* encode_kept_ssse3(const std::uint8_t* in, std::size_t n, const skip_tables& skip, char* out,
                        char* out_end) noexcept {
  std::size_t i = 0;
  out = x86::with_tester16(skip, [&](const auto& tester) {
    for (; i + 16 <= n && out_end - out >= 64; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      const auto listed = static_cast<unsigned>(_mm_movemask_epi8(tester.listed(bytes)));
      if (listed == 0) {
        x86::encode16_to(in + i, out);
        out += 32;
      } else {
        out = x86::encode_without<16>(
            in + i, listed, i + 32 <= n, out,
            [](const std::uint8_t* from, char* to) { x86::encode16_to(from, to); });
      }
    }
    // The last few bytes, from a copy, with the lanes past them counted as listed.
    if (i < n && n - i < 16 && out_end - out >= 32) {
      std::array<std::uint8_t, 16> rest{};
      std::memcpy(rest.data(), in + i, n - i);
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rest.data()));
      const unsigned listed = static_cast<unsigned>(_mm_movemask_epi8(tester.listed(bytes))) |
                              (0xffffU << (n - i) & 0xffffU);
      out = x86::encode_without<16>(rest.data(), listed, false, out, x86::encode16_to);
      i = n;
    }
    return out;
  });
  return scalar_kernel.encode_kept(in + i, n - i, skip, out, out_end);
}

char* keep_bytes_ssse3(const char* in, std::size_t n, const skip_tables& skip, char* out) noexcept {
  std::size_t i = 0;
  out = x86::with_tester16(skip, [&](const auto& tester) {
    for (; i + 16 <= n; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      const auto listed = static_cast<unsigned>(_mm_movemask_epi8(tester.listed(bytes)));
      if (listed == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
        out += 16;
        continue;
      }
      out = x86::keep8(bytes, ~listed & 0xffU, out);
      out = x86::keep8(_mm_srli_si128(bytes, 8), ~(listed >> 8) & 0xffU, out);
    }
    return out;
  });
  return scalar_kernel.keep_bytes(in + i, n - i, skip, out);
}

}  // namespace

const kernel ssse3_kernel = {
    .name = "ssse3",
    .needs = cpu::ssse3,
    .encode = encode_ssse3<false>,
    .encode_upper = encode_ssse3<true>,
    .decode = decode_ssse3,
    .dump_chars = dump_chars_ssse3,
    .dump_rows = x86::dump_rows,
    .dump_color_rows = x86::dump_color_rows,
    .count_kept = count_kept_ssse3,
    .encode_kept = encode_kept_ssse3,
    .encode_lines = encode_lines_in_chunks<encode_ssse3<false>>,
    .encode_secret = encode_ssse3<false, true>,
    .decode_secret = decode_secret_ssse3,
    .read_rows = x86::read_rows,
    .keep_bytes = keep_bytes_ssse3,
    .decode_separated = x86::decode_separated,
    .encode_separated = x86::encode_separated,
    .encode_bits = encode_bits_scalar,
    .decode_bits = decode_bits_scalar,
    .place_width = 16,
    .place = placing_by<x86::place_step16>::place,
    .place_rows = placing_by<x86::place_step16>::rows,
    .place_many = placing_by<x86::place_step16>::many,
    .read_lines = read_lines_with<x86::place_step16, x86::line_block16>,
};

}  // namespace mivo::detail
