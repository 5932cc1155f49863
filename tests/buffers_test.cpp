// Edges of the caller's memory: empty views whose data pointer is null, and the overlaps that
// encode_into and decode_into allow. Run once per kernel, like the rest of the suite.
#include <cstring>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "helpers.hpp"

namespace {

using mivo::hex_text;

const mivo::skip_list separators{' ', '\n'};

// An empty std::vector, std::span or std::string_view may have a null data pointer: every
// entry point takes it as nothing at all.
TEST(EmptyViews, NullDataIsANoOpEverywhere) {
  const std::span<const std::uint8_t> no_bytes;
  const std::string_view no_text;
  const std::vector<std::uint8_t> empty_vector;
  ASSERT_EQ(no_bytes.data(), nullptr);
  ASSERT_EQ(no_text.data(), nullptr);

  EXPECT_EQ(mivo::encode_into(std::span<char>(), no_bytes), 0U);
  EXPECT_EQ(mivo::encode_into(std::span<char>(), separators, no_bytes), 0U);
  EXPECT_EQ(mivo::encode_into(std::span<char>(), no_text), 0U);
  EXPECT_EQ(mivo::encode_into(std::span<char>(), separators, no_text), 0U);
  EXPECT_EQ(mivo::decode_into(std::span<std::uint8_t>(), no_text), 0U);
  EXPECT_EQ(mivo::decode_into(std::span<char>(), no_text), 0U);
  EXPECT_EQ(mivo::of_bytes(no_bytes).text, "");
  EXPECT_EQ(mivo::of_bytes(separators, empty_vector).text, "");
  EXPECT_EQ(mivo::of_string(no_text).text, "");
  EXPECT_EQ(mivo::of_string(separators, no_text).text, "");
  EXPECT_EQ(mivo::hexdump_s(hex_text{}), "");
  mivo::bigstring moved_from(4);
  const mivo::bigstring taker = std::move(moved_from);
  EXPECT_EQ(mivo::of_bigstring(moved_from).text, "");  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(mivo::of_cstruct(separators, mivo::cstruct{moved_from, 0, 0}).text, "");

  // The writer takes empty pieces at any point of a row, also between the digits of a pair.
  for (const std::string_view before : {"", "0", "00", "000102030405060708090a0b0c0d0e0f"}) {
    std::ostringstream out;
    mivo::dump_writer writer(out);
    writer.write_bytes(empty_vector);
    writer.write_text(before);
    writer.write_bytes(no_bytes);
    writer.write_text(no_text);
    writer.write_bytes(empty_vector);
    writer.finish();
    EXPECT_EQ(out.str(), mivo::hexdump_s(hex_text{std::string(before)})) << before;
  }
}

std::vector<std::size_t> overlap_sizes() {
  std::vector<std::size_t> sizes;
  for (std::size_t n = 0; n <= 300; ++n) sizes.push_back(n);
  for (const std::size_t n : {1023U, 4096U, 65536U + 77U}) sizes.push_back(n);
  return sizes;
}

// Growing a buffer in place: the bytes sit at the end of room for their digits.
TEST(Overlap, EncodeWithTheInputAtTheEndOfTheOutput) {
  for (const std::size_t n : overlap_sizes()) {
    const std::string bytes = mivo_test::pattern(n);
    std::string buffer(2 * n, '\0');
    std::memcpy(buffer.data() + n, bytes.data(), n);
    const std::span<const std::uint8_t> in(reinterpret_cast<const std::uint8_t*>(buffer.data() + n),
                                           n);
    ASSERT_EQ(mivo::encode_into(buffer, in), 2 * n);
    ASSERT_EQ(buffer, mivo::of_string(bytes).text) << n << " bytes";
  }
}

TEST(Overlap, EncodeWithASkipListAndTheInputAtTheEndOfTheOutput) {
  for (const std::size_t n : overlap_sizes()) {
    std::string bytes = mivo_test::pattern(n);
    for (std::size_t i = 0; i < n; i += 7) bytes[i] = ' ';
    std::string buffer(2 * n, '\0');
    std::memcpy(buffer.data() + n, bytes.data(), n);
    const std::span<const std::uint8_t> in(reinterpret_cast<const std::uint8_t*>(buffer.data() + n),
                                           n);
    const std::size_t stored = mivo::encode_into(buffer, separators, in);
    ASSERT_EQ(buffer.substr(0, stored), mivo::of_string(separators, bytes).text) << n << " bytes";
  }
}

TEST(Overlap, DecodeInPlace) {
  for (const std::size_t n : overlap_sizes()) {
    const std::string bytes = mivo_test::pattern(n);
    std::string buffer = mivo::of_string(bytes).text;
    const std::size_t stored =
        mivo::decode_into(std::span(buffer.data(), n), std::string_view(buffer));
    ASSERT_EQ(stored, n);
    ASSERT_EQ(buffer.substr(0, n), bytes) << n << " bytes";
  }
}

TEST(Overlap, DecodeInPlaceStopsAtABadPairAsElsewhere) {
  std::string buffer = mivo::of_string(mivo_test::pattern(200)).text;
  buffer[301] = 'g';
  const std::string expected = mivo::to_string(hex_text{buffer.substr(0, 300)});
  try {
    (void)mivo::decode_into(std::span(buffer.data(), 200), std::string_view(buffer));
    FAIL() << "no decode_error";
  } catch (const mivo::decode_error& e) {
    EXPECT_EQ(e.position(), 301U);
  }
  EXPECT_EQ(buffer.substr(0, 150), expected);
}

// Digests are decoded without a call into the library; a bad digit anywhere in one must still
// fail as it fails elsewhere, with nothing after its pair stored, in place or not.
TEST(DigestSizes, ABadDigitFailsAsElsewhere) {
  for (const std::size_t n : {16U, 32U, 48U, 64U}) {
    const std::string digits = mivo::of_string(mivo_test::pattern(n)).text;
    for (std::size_t bad = 0; bad < 2 * n; bad += 7) {
      for (const bool in_place : {false, true}) {
        std::string text = digits;
        text[bad] = 'x';
        std::string separate(n, '\x5a');
        const std::span<char> out = in_place ? std::span(text.data(), n) : std::span(separate);
        try {
          (void)mivo::decode_into(out, std::string_view(text.data(), 2 * n));
          FAIL() << n << " " << bad;
        } catch (const mivo::decode_error& e) {
          EXPECT_EQ(e.position(), bad);
        }
        const std::size_t stored = bad / 2;
        EXPECT_EQ(std::string(out.data(), stored), mivo_test::pattern(n).substr(0, stored));
        if (!in_place) {
          EXPECT_EQ(separate.substr(stored), std::string(n - stored, '\x5a'));
        }
      }
    }
  }
}

}  // namespace
