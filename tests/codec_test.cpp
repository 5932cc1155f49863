#include <array>
#include <sstream>
#include <vector>

#include "helpers.hpp"

namespace {

using mivo::hex_text;
using mivo_test::invalid_char_message;
using mivo_test::odd_length_message;

TEST(OfChar, GivesHighThenLowLowercaseDigit) {
  EXPECT_EQ(mivo::of_char(0x00), std::make_pair('0', '0'));
  EXPECT_EQ(mivo::of_char(0xff), std::make_pair('f', 'f'));
  EXPECT_EQ(mivo::of_char(0x0f), std::make_pair('0', 'f'));
  EXPECT_EQ(mivo::of_char(0xf0), std::make_pair('f', '0'));
  EXPECT_EQ(mivo::of_char(0xa5), std::make_pair('a', '5'));
  EXPECT_EQ(mivo::of_char('A'), std::make_pair('4', '1'));
}

TEST(OfChar, AgreesWithTheBulkEncoderForEveryByte) {
  const std::string digits = mivo::of_string(mivo_test::all_bytes()).text;
  ASSERT_EQ(digits.size(), 512U);
  for (int b = 0; b < 256; ++b) {
    const auto [high, low] = mivo::of_char(static_cast<std::uint8_t>(b));
    EXPECT_EQ(digits[2 * b], high) << b;
    EXPECT_EQ(digits[2 * b + 1], low) << b;
  }
}

TEST(ToChar, DecodesEitherCase) {
  EXPECT_EQ(mivo::to_char('4', '1'), 0x41);
  EXPECT_EQ(mivo::to_char('F', 'f'), 255);
  EXPECT_EQ(mivo::to_char('0', '0'), 0);
  EXPECT_EQ(mivo::to_char('a', 'A'), 0xaa);
}

TEST(ToChar, AcceptsExactlyTheTwentyTwoDigits) {
  const std::string digits = "0123456789abcdefABCDEF";
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    const bool digit = digits.find(ch) != std::string::npos;
    if (digit) {
      EXPECT_NO_THROW((void)mivo::to_char(ch, '0')) << c;
      EXPECT_NO_THROW((void)mivo::to_char('0', ch)) << c;
    } else {
      EXPECT_THROW_MESSAGE(mivo::to_char(ch, '0'), std::invalid_argument, invalid_char_message(c));
      EXPECT_THROW_MESSAGE(mivo::to_char('0', ch), std::invalid_argument, invalid_char_message(c));
    }
  }
}

TEST(ToChar, JudgesTheSecondCharacterFirst) {
  EXPECT_THROW_MESSAGE(mivo::to_char('g', '0'), std::invalid_argument, invalid_char_message(103));
  EXPECT_THROW_MESSAGE(mivo::to_char('g', 'z'), std::invalid_argument, invalid_char_message(122));
  EXPECT_THROW_MESSAGE(mivo::to_char('0', 'G'), std::invalid_argument, invalid_char_message(71));
  EXPECT_THROW_MESSAGE(mivo::to_char(' ', '0'), std::invalid_argument, invalid_char_message(32));
}

TEST(ToChar, NamesHighBytesUnsigned) {
  EXPECT_THROW_MESSAGE(mivo::to_char('\xff', '0'), std::invalid_argument,
                       "Mivo.to_char: 255 is an invalid char");
  EXPECT_THROW_MESSAGE(mivo::to_char('0', '\x80'), std::invalid_argument,
                       "Mivo.to_char: 128 is an invalid char");
}

TEST(Encode, KnownTexts) {
  EXPECT_EQ(mivo::of_string("").text, "");
  EXPECT_EQ(mivo::of_string("hello").text, "68656c6c6f");
  EXPECT_EQ(mivo::of_string(std::string("\x00\xff", 2)).text, "00ff");
  const std::array<std::uint8_t, 3> bytes = {0x00, 0x7f, 0x80};
  EXPECT_EQ(mivo::of_bytes(bytes).text, "007f80");
}

TEST(Encode, SkipListDropsRawBytes) {
  EXPECT_EQ(mivo::of_string({' '}, "a b").text, "6162");
  EXPECT_EQ(mivo::of_string({'a'}, "aaa").text, "");
  EXPECT_EQ(mivo::of_string({'z'}, "abc").text, "616263");
  EXPECT_EQ(mivo::of_string({' ', ' '}, " x ").text, "78");
  EXPECT_EQ(mivo::of_string({0x00, 0xff}, std::string("\x00\x01\xff", 3)).text, "01");
  EXPECT_EQ(mivo::of_string({' '}, "").text, "");
}

TEST(Encode, EmptySkipListIsNoList) {
  const std::string input = mivo_test::pattern(100);
  EXPECT_EQ(mivo::of_string(mivo::skip_list{}, input), mivo::of_string(input));
  EXPECT_EQ(mivo::of_string(std::vector<std::uint8_t>{}, input), mivo::of_string(input));
}

TEST(Encode, SkipListFromContainers) {
  const std::vector<std::uint8_t> vec = {'\n'};
  const std::array<std::uint8_t, 2> arr = {'\r', '\n'};
  EXPECT_EQ(mivo::of_string(vec, "a\r\nb").text, "610d62");
  EXPECT_EQ(mivo::of_string(arr, "a\r\nb").text, "6162");
}

TEST(Encode, SkippingEqualsEncodingWhatRemains) {
  // Long enough that the kept bytes span several internal blocks.
  const std::string input = mivo_test::pattern(5000);
  const std::vector<std::uint8_t> skip = {0x00, 0x41, 0x80, 0xfe, 0x41};
  std::string kept;
  for (const char c : input) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b != 0x00 && b != 0x41 && b != 0x80 && b != 0xfe) kept.push_back(c);
  }
  EXPECT_EQ(mivo::of_string(skip, input), mivo::of_string(kept));
}

TEST(Encode, SkipsAtEveryPositionWithFewOrManyListedValues) {
  const std::vector<std::uint8_t> few = {' '};
  const std::vector<std::uint8_t> many = {' ', 1, 2, 3, 4, 5, 6};
  for (std::size_t n = 1; n <= 40; ++n) {
    for (std::size_t pos = 0; pos < n; ++pos) {
      std::string input(n, 'x');
      input[pos] = ' ';
      const std::string expected = mivo::of_string(std::string(n - 1, 'x')).text;
      ASSERT_EQ(mivo::of_string(few, input).text, expected) << n << " " << pos;
      ASSERT_EQ(mivo::of_string(many, input).text, expected) << n << " " << pos;
    }
  }
}

TEST(Encode, BytesMatchStringForEveryLengthAcrossBlocks) {
  for (std::size_t n = 0; n <= 200; ++n) {
    const std::string s = mivo_test::pattern(n);
    const std::vector<std::uint8_t> v(s.begin(), s.end());
    std::string expected;
    for (const char c : s) {
      const auto [high, low] = mivo::of_char(static_cast<std::uint8_t>(c));
      expected += high;
      expected += low;
    }
    ASSERT_EQ(mivo::of_string(s).text, expected) << n;
    ASSERT_EQ(mivo::of_bytes(v).text, expected) << n;
    ASSERT_EQ(mivo::of_bytes({0x42}, v), mivo::of_string({0x42}, s)) << n;
  }
}

// Lines of every width up to past one 64-byte block, one to several lines, with a guard after
// the exact size.
TEST(EncodeLines, AreTheDigitsWithALineFeedAfterEveryWidth) {
  for (std::size_t width = 2; width <= 140; width += 2) {
    for (const std::size_t lines : {0, 1, 3, 300}) {
      const std::string s = mivo_test::pattern(lines * width / 2);
      const std::string digits = mivo::of_string(s).text;
      std::string expected;
      for (std::size_t at = 0; at < digits.size(); at += width) {
        expected += digits.substr(at, width) + "\n";
      }
      std::string out(expected.size() + 1, '#');
      const std::size_t n = mivo::encode_lines_into(out, mivo_test::bytes_of(s), width);
      ASSERT_EQ(out.substr(0, n), expected) << width << " " << lines;
      ASSERT_EQ(out.back(), '#') << width << " " << lines;
    }
  }
}

TEST(EncodeLines, RejectBadWidthsPartialLinesAndShortOutputsBeforeStoring) {
  const std::string s = mivo_test::pattern(60);
  std::string out(200, '#');
  const auto bytes = mivo_test::bytes_of(s);
  EXPECT_THROW(mivo::encode_lines_into(out, bytes, 0), std::invalid_argument);
  EXPECT_THROW(mivo::encode_lines_into(out, bytes, 7), std::invalid_argument);
  EXPECT_THROW(mivo::encode_lines_into(out, bytes, 16), std::invalid_argument);  // 60 % 8
  // 120 digits and 2 line feeds: 121 characters is one short.
  EXPECT_THROW(mivo::encode_lines_into(std::span(out).first(121), bytes, 60), std::length_error);
  EXPECT_EQ(out, std::string(200, '#'));
  EXPECT_EQ(mivo::encode_lines_into(std::span(out).first(122), bytes, 60), 122U);
}

TEST(Decode, EmptyTextGivesEmptyResults) {
  EXPECT_EQ(mivo::to_string(hex_text{}), "");
  EXPECT_TRUE(mivo::to_bytes(hex_text{}).empty());
}

TEST(Decode, KnownTexts) {
  EXPECT_EQ(mivo::to_string(hex_text{"00"}), std::string(1, '\0'));
  EXPECT_EQ(mivo::to_string(hex_text{"4A4b"}), "JK");
  EXPECT_EQ(mivo::to_string(hex_text{"FF"}), "\xff");
  EXPECT_EQ(mivo::to_string(hex_text{"ff"}), "\xff");
  EXPECT_EQ(mivo::to_bytes(hex_text{"0a0B"}), (std::vector<std::uint8_t>{0x0a, 0x0b}));
}

TEST(Decode, OddLengthIsJudgedOnlyAfterEveryCompletePair) {
  for (const char* text : {"0", "abc", "00g", "00 "}) {
    EXPECT_THROW_MESSAGE(mivo::to_string(hex_text{text}), std::invalid_argument,
                         odd_length_message);
    EXPECT_THROW_MESSAGE(mivo::to_bytes(hex_text{text}), std::invalid_argument, odd_length_message);
  }
  EXPECT_THROW_MESSAGE(mivo::to_string(hex_text{"0g0"}), std::invalid_argument,
                       invalid_char_message(103));
  EXPECT_THROW_MESSAGE(mivo::to_string(hex_text{"gz"}), std::invalid_argument,
                       invalid_char_message(122));
}

TEST(Decode, SkipsNoSeparators) {
  EXPECT_THROW_MESSAGE(mivo::to_string(hex_text{"00 0"}), std::invalid_argument,
                       invalid_char_message(32));
  EXPECT_THROW_MESSAGE(mivo::to_string(hex_text{"0\n00"}), std::invalid_argument,
                       invalid_char_message(10));
  EXPECT_THROW_MESSAGE(mivo::to_bytes(hex_text{std::string("00\0"
                                                           "0",
                                                           4)}),
                       std::invalid_argument, invalid_char_message(0));
}

// Every position of texts that span several SIMD blocks: the first bad pair from the left
// decides, and within it the second character.
TEST(Decode, FirstBadPairDecidesAtEveryPosition) {
  for (std::size_t n : {2U, 30U, 32U, 34U, 62U, 64U, 66U, 126U, 128U, 130U, 258U}) {
    const std::string good = mivo::of_string(mivo_test::pattern(n / 2)).text;
    for (std::size_t pos = 0; pos < n; ++pos) {
      std::string text = good;
      text[pos] = 'x';
      if (pos + 3 < n) text[pos + 3] = '\x01';  // a later bad pair must not win
      EXPECT_THROW_MESSAGE(mivo::to_string(hex_text{text}), std::invalid_argument,
                           invalid_char_message('x'))
          << n << " " << pos;
      EXPECT_THROW_MESSAGE(mivo::to_bytes(hex_text{text + "0"}), std::invalid_argument,
                           invalid_char_message('x'))
          << n << " " << pos;
    }
  }
}

TEST(Decode, BothCharactersBadNamesTheSecond) {
  std::string text = mivo::of_string(mivo_test::pattern(40)).text;
  text[34] = 'q';
  text[35] = 'r';
  EXPECT_THROW_MESSAGE(mivo::to_string(hex_text{text}), std::invalid_argument,
                       invalid_char_message('r'));
}

TEST(RoundTrip, EncodeThenDecodeGivesTheBytesBack) {
  for (std::size_t n = 0; n <= 300; n += 7) {
    const std::string s = mivo_test::pattern(n);
    EXPECT_EQ(mivo::to_string(mivo::of_string(s)), s) << n;
    EXPECT_EQ(mivo::to_bytes(mivo::of_string(s)), std::vector<std::uint8_t>(s.begin(), s.end()));
  }
  EXPECT_EQ(mivo::to_string(mivo::of_string(mivo_test::all_bytes())), mivo_test::all_bytes());
}

TEST(RoundTrip, DecodeThenEncodeLowercases) {
  const std::string upper = "00FFABCDEF0123456789aBcDeF00112233445566778899AABBCCDDEEFF0a";
  std::string lower = upper;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(mivo::of_string(mivo::to_string(hex_text{upper})).text, lower);
}

TEST(Show, IsTheVeryTextHeld) {
  const hex_text h{"not hex at all"};
  EXPECT_EQ(&mivo::show(h), &h.text);
  EXPECT_EQ(mivo::show(mivo::of_string("ok")), "6f6b");
}

TEST(Pp, WritesThePlainText) {
  std::ostringstream out;
  mivo::pp(out, hex_text{"6f6b"});
  mivo::pp(out, hex_text{});
  out << hex_text{"zz"};
  EXPECT_EQ(out.str(), "6f6bzz");
}

}  // namespace
