#ifndef MIVO_TESTS_HELPERS_HPP
#define MIVO_TESTS_HELPERS_HPP

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include <mivo.hpp>

namespace mivo_test {

inline std::string all_bytes() {
  std::string s;
  for (int b = 0; b < 256; ++b) s.push_back(static_cast<char>(b));
  return s;
}

inline std::string invalid_char_message(int byte) {
  return "Mivo.to_char: " + std::to_string(byte) + " is an invalid char";
}

inline const std::string odd_length_message =
    "Hex conversion: Hex string cannot have an odd number of characters.";

// Deterministic bytes for length sweeps.
inline std::string pattern(std::size_t n) {
  std::string s(n, '\0');
  std::uint32_t x = 0x9e3779b9U;
  for (char& c : s) {
    x = x * 1664525U + 1013904223U;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

// The bytes of a string, for the forms that take bytes.
inline std::span<const std::uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace mivo_test

// Asserts that `expr` throws exactly `type` with what() equal to `message`.
#define EXPECT_THROW_MESSAGE(expr, type, message) \
  EXPECT_THAT([&] { (void)(expr); }, ::testing::ThrowsMessage<type>(::testing::StrEq(message)))

#endif  // MIVO_TESTS_HELPERS_HPP
