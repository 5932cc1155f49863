#include <iostream>
#include <sstream>

#include "helpers.hpp"

namespace {

using mivo::dump_options;
using mivo::hex_text;

constexpr dump_options no_numbers{.row_numbers = false};
constexpr dump_options no_chars{.char_column = false};
constexpr dump_options bare{.row_numbers = false, .char_column = false};

std::string spaces(std::size_t n) { return std::string(n, ' '); }

TEST(Dump, WorkedExamples) {
  EXPECT_EQ(mivo::hexdump_s(mivo::of_string("hello")),
            "00000000: 6865 6c6c 6f" + spaces(27) + "  hello\n");
  std::string sixteen;
  for (int b = 0; b < 16; ++b) sixteen.push_back(static_cast<char>(b));
  EXPECT_EQ(mivo::hexdump_s(mivo::of_string(sixteen)),
            "00000000: 0001 0203 0405 0607 0809 0a0b 0c0d 0e0f  ................\n");
  const std::string thirty_three(33, '4');
  EXPECT_EQ(mivo::hexdump_s(hex_text{thirty_three}),
            "00000000: 4444 4444 4444 4444 4444 4444 4444 4444  DDDDDDDDDDDDDDDD\n"
            "00000001: 4" +
                spaces(38) + "  \n");
}

TEST(Dump, EmptyTextHasNoRows) {
  for (const dump_options options : {dump_options{}, no_numbers, no_chars, bare}) {
    EXPECT_EQ(mivo::hexdump_s(options, hex_text{}), "");
  }
}

TEST(Dump, OneDigit) {
  EXPECT_EQ(mivo::hexdump_s(hex_text{"7"}), "00000000: 7" + spaces(38) + "  \n");
  EXPECT_EQ(mivo::hexdump_s(no_chars, hex_text{"7"}), "00000000: 7" + spaces(38) + "\n");
}

TEST(Dump, FlagsOff) {
  const hex_text full{std::string(32, 'a')};
  EXPECT_EQ(mivo::hexdump_s(bare, full), "aaaa aaaa aaaa aaaa aaaa aaaa aaaa aaaa\n");
  EXPECT_EQ(mivo::hexdump_s(bare, mivo::of_string("hello")), "6865 6c6c 6f" + spaces(27) + "\n");
  EXPECT_EQ(mivo::hexdump_s(no_numbers, mivo::of_string("hi")), "6869" + spaces(35) + "  hi\n");
  // Only the last row carries padding when the character column is off.
  EXPECT_EQ(mivo::hexdump_s(no_chars, hex_text{std::string(34, '0')}),
            "00000000: 0000 0000 0000 0000 0000 0000 0000 0000\n"
            "00000001: 00" +
                spaces(37) + "\n");
}

TEST(Dump, CharacterColumn) {
  EXPECT_EQ(mivo::hexdump_s(no_numbers, hex_text{"1f207e7f80FF41"}),
            "1f20 7e7f 80FF 41" + spaces(22) + "  . ~...A\n");
}

TEST(Dump, CharacterColumnForEveryByte) {
  const std::string dump = mivo::hexdump_s(no_numbers, mivo::of_string(mivo_test::all_bytes()));
  std::istringstream lines(dump);
  std::string line;
  int b = 0;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.size(), 39U + 2U + 16U);
    for (int k = 0; k < 16; ++k, ++b) {
      const char shown = (b >= 32 && b <= 126) ? static_cast<char>(b) : '.';
      EXPECT_EQ(line[41 + k], shown) << b;
    }
  }
  EXPECT_EQ(b, 256);
}

TEST(Dump, RowsCountRowsNotBytes) {
  const std::string dump = mivo::hexdump_s(no_chars, mivo::of_string(std::string(16 * 11, 'x')));
  std::istringstream lines(dump);
  std::string line;
  int row = 0;
  while (std::getline(lines, line)) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "%.8d: ", row++);
    EXPECT_EQ(line.substr(0, 10), expected);
    EXPECT_EQ(line.size(), 10U + 39U);
  }
  EXPECT_EQ(row, 11);
}

TEST(Dump, EveryLengthHasTheDocumentedWidths) {
  for (std::size_t n = 1; n <= 140; ++n) {
    const std::string digits = mivo::of_string(mivo_test::pattern(n)).text.substr(0, n);
    const std::string dump = mivo::hexdump_s(hex_text{digits});
    const std::size_t rows = (n + 31) / 32;
    ASSERT_EQ(dump.size(), rows * (10 + 39 + 2 + 1) + n / 2) << n;
    ASSERT_EQ(mivo::hexdump_s(bare, hex_text{digits}).size(), rows * 40) << n;
  }
}

TEST(Dump, CopiesDigitsUnchanged) {
  EXPECT_EQ(mivo::hexdump_s(no_numbers, hex_text{"4A4b"}), "4A4b" + spaces(35) + "  JK\n");
  EXPECT_EQ(mivo::hexdump_s(bare, hex_text{"zz\n"}), "zz\n" + spaces(36) + "\n");
}

TEST(Dump, BadPairFailsOnlyWithTheCharacterColumn) {
  EXPECT_THROW_MESSAGE(mivo::hexdump_s(hex_text{"00g0"}), std::invalid_argument,
                       mivo_test::invalid_char_message(103));
  EXPECT_THROW_MESSAGE(mivo::hexdump_s(hex_text{"00gz"}), std::invalid_argument,
                       mivo_test::invalid_char_message(122));
  EXPECT_NO_THROW((void)mivo::hexdump_s(no_chars, hex_text{"0gz0"}));
  // A bad pair on a later row, after many good rows.
  std::string text = mivo::of_string(std::string(300, 'a')).text;
  text[555] = 'x';
  EXPECT_THROW_MESSAGE(mivo::hexdump_s(no_numbers, hex_text{text}), std::invalid_argument,
                       mivo_test::invalid_char_message('x'));
}

TEST(Dump, LoneLastCharacterIsNeverDecoded) {
  EXPECT_EQ(mivo::hexdump_s(no_numbers, hex_text{"41z"}), "41z" + spaces(36) + "  A\n");
}

class captured_cout {
 public:
  captured_cout() : saved_(std::cout.rdbuf(out_.rdbuf())) {}
  ~captured_cout() { std::cout.rdbuf(saved_); }
  captured_cout(const captured_cout&) = delete;
  captured_cout& operator=(const captured_cout&) = delete;
  std::string text() const { return out_.str(); }

 private:
  std::ostringstream out_;
  std::streambuf* saved_;
};

TEST(Hexdump, PrintsTheDumpAndNothingElse) {
  captured_cout cout;
  mivo::hexdump(mivo::of_string("hello"));
  mivo::hexdump(no_numbers, hex_text{});
  mivo::hexdump(bare, hex_text{"zz"});
  EXPECT_EQ(cout.text(), mivo::hexdump_s(mivo::of_string("hello")) + "zz" + spaces(37) + "\n");
}

// Text that is not hexadecimal may hold NUL bytes; the whole dump is still written.
TEST(Hexdump, WritesPastNulBytes) {
  captured_cout cout;
  const hex_text text{std::string("a\0b", 3)};
  mivo::hexdump(bare, text);
  EXPECT_EQ(cout.text(), std::string("a\0b", 3) + spaces(36) + "\n");
  EXPECT_EQ(cout.text(), mivo::hexdump_s(bare, text));
}

TEST(Hexdump, PrintsNothingOnFailure) {
  captured_cout cout;
  std::string text = mivo::of_string(std::string(100, 'a')).text;
  text[150] = 'g';
  EXPECT_THROW(mivo::hexdump(hex_text{text}), std::invalid_argument);
  EXPECT_EQ(cout.text(), "");
}

}  // namespace
