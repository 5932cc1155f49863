// Hex at compile time: the literal, and the fixed-size forms, which must agree with the run-time
// ones. What must not compile is in compile_checks.cmake.
#include <array>

#include "helpers.hpp"

namespace {

using namespace mivo::literals;

static_assert("000102ff"_hex == std::array<std::uint8_t, 4>{0x00, 0x01, 0x02, 0xff});
static_assert("ABcd"_hex == std::array<std::uint8_t, 2>{0xab, 0xcd});
static_assert(""_hex.empty());
static_assert(mivo::encode_array(std::array<std::uint8_t, 2>{0xab, 0x01}) ==
              std::array<char, 4>{'a', 'b', '0', '1'});
static_assert(mivo::decode_array(mivo::encode_array("deadbeef"_hex)) == "deadbeef"_hex);

TEST(ConstexprForms, AgreeWithTheRunTimeForms) {
  std::array<std::uint8_t, 256> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  const std::array<char, 512> digits = mivo::encode_array(bytes);
  EXPECT_EQ(std::string(digits.begin(), digits.end()), mivo::of_bytes(bytes).text);
  std::array<char, 512> upper = digits;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(mivo::decode_array(upper), bytes);
}

TEST(ConstexprForms, DecodeArrayFailsAsToStringAtRunTime) {
  for (const std::string text : {"0g", "g0", "zz00", "00 0"}) {
    std::array<char, 4> digits{'0', '0', '0', '0'};
    std::copy(text.begin(), text.end(), digits.begin());
    try {
      (void)mivo::decode_array(digits);
      ADD_FAILURE() << text;
    } catch (const mivo::decode_error& runtime) {
      try {
        (void)mivo::to_string(mivo::hex_text{std::string(digits.begin(), digits.end())});
      } catch (const mivo::decode_error& reference) {
        EXPECT_STREQ(runtime.what(), reference.what()) << text;
        EXPECT_EQ(runtime.position(), reference.position()) << text;
      }
    }
  }
}

}  // namespace
