// Compile-time digit tables shared by every kernel.
#ifndef MIVO_TABLES_HPP
#define MIVO_TABLES_HPP

#include <array>
#include <cstdint>

namespace mivo::detail {

inline constexpr std::array<char, 16> hex_digits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                    '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};

inline constexpr std::array<char, 16> upper_hex_digits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                          '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

template <int Shift, const std::array<char, 16>& Digits = hex_digits>
constexpr std::array<char, 256> make_digit_table() {
  std::array<char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) table[b] = Digits[(b >> Shift) & 15U];
  return table;
}

// Entry b is the high (resp. low) digit of the byte b; the upper_ tables in A-F.
inline constexpr std::array<char, 256> high_digit_table = make_digit_table<4>();
inline constexpr std::array<char, 256> low_digit_table = make_digit_table<0>();
inline constexpr std::array<char, 256> upper_high_digit_table =
    make_digit_table<4, upper_hex_digits>();
inline constexpr std::array<char, 256> upper_low_digit_table =
    make_digit_table<0, upper_hex_digits>();

// Value 0-15 of each digit character, -1 for every other byte.
inline constexpr std::array<std::int8_t, 256> digit_value = [] {
  std::array<std::int8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    if (c >= '0' && c <= '9')
      table[c] = static_cast<std::int8_t>(c - '0');
    else if (c >= 'A' && c <= 'F')
      table[c] = static_cast<std::int8_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      table[c] = static_cast<std::int8_t>(c - 'a' + 10);
    else
      table[c] = -1;
  }
  return table;
}();

// How the dump's character column shows each byte: itself from space to tilde, else '.'.
inline constexpr std::array<char, 256> dump_char = [] {
  std::array<char, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = (c >= 32 && c <= 126) ? static_cast<char>(c) : '.';
  return table;
}();

}  // namespace mivo::detail

#endif  // MIVO_TABLES_HPP
