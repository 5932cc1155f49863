// Fixed-size data at compile time: encode_array, decode_array and the _hex literal.
#ifndef MIVO_MIVO_LITERALS_HPP
#define MIVO_MIVO_LITERALS_HPP

#include <array>
#include <cstddef>
#include <cstdint>

#include "codec.hpp"

namespace mivo {

// Fixed-size data at compile time. encode_array gives the lowercase digits of N bytes;
// decode_array the bytes of 2N digits (0-9, a-f, A-F), judged as to_string judges them: at run
// time a bad digit throws decode_error, in a constant expression it does not compile.
namespace detail {

inline constexpr std::array<char, 16> constexpr_digits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                          '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};

// The value of a digit character, or -1.
constexpr int digit_of(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The index of the first character to_string would reject (the second of a pair first), or
// `size` when every complete pair is valid.
constexpr std::size_t first_rejected(const char* text, std::size_t size) noexcept {
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    if (digit_of(text[i + 1]) < 0) return i + 1;
    if (digit_of(text[i]) < 0) return i;
  }
  return size;
}

[[noreturn]] MIVO_API void throw_invalid_char(char c, std::size_t position);

}  // namespace detail

template <std::size_t N>
[[nodiscard]] constexpr std::array<char, 2 * N> encode_array(
    const std::array<std::uint8_t, N>& bytes) noexcept {
  std::array<char, 2 * N> digits{};
  for (std::size_t i = 0; i < N; ++i) {
    digits[2 * i] = detail::constexpr_digits[bytes[i] >> 4];
    digits[2 * i + 1] = detail::constexpr_digits[bytes[i] & 15U];
  }
  return digits;
}

template <std::size_t N>
requires(N % 2 == 0) [[nodiscard]] constexpr std::array<std::uint8_t, N / 2> decode_array(
    const std::array<char, N>& digits) {
  const std::size_t bad = detail::first_rejected(digits.data(), N);
  if (bad < N) detail::throw_invalid_char(digits[bad], bad);
  std::array<std::uint8_t, N / 2> bytes{};
  for (std::size_t i = 0; i < N / 2; ++i) {
    bytes[i] = static_cast<std::uint8_t>(detail::digit_of(digits[2 * i]) << 4 |
                                         detail::digit_of(digits[2 * i + 1]));
  }
  return bytes;
}

// Hex literals, checked while compiling: `using namespace mivo::literals;` then
// `constexpr auto key = "000102ff"_hex;` is a std::array<std::uint8_t, 4>. A bad digit or an odd
// length does not compile, and the error says which, with the library's message.
namespace detail {

template <std::size_t N>
struct hex_literal {
  static constexpr std::size_t size = N - 1;  // without the terminating NUL
  std::array<char, N> chars{};
  consteval hex_literal(const char (&text)[N]) {
    for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
  }
};

template <char Rejected>
consteval void reject_char() {
  static_assert(Rejected != Rejected, "Mivo.to_char: the _hex literal holds an invalid char");
}

}  // namespace detail

namespace literals {

template <detail::hex_literal Text>
consteval std::array<std::uint8_t, decltype(Text)::size / 2> operator""_hex() {
  constexpr std::size_t size = decltype(Text)::size;
  constexpr std::size_t bad = detail::first_rejected(Text.chars.data(), size);
  if constexpr (bad < size) {
    detail::reject_char<Text.chars[bad]>();
    return {};
  } else if constexpr (size % 2 != 0) {
    static_assert(size % 2 == 0,
                  "Hex conversion: Hex string cannot have an odd number of characters.");
    return {};
  } else {
    std::array<char, size> digits{};
    for (std::size_t i = 0; i < size; ++i) digits[i] = Text.chars[i];
    return decode_array(digits);
  }
}

}  // namespace literals

}  // namespace mivo

#endif  // MIVO_MIVO_LITERALS_HPP
