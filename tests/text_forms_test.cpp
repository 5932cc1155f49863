// Hex with separators and prefixes: encoding as Python's bytes.hex groups, decoding back, and
// the faults named at their place whatever the prefix and the pieces.
#include <sstream>

#include "helpers.hpp"

namespace {

using mivo::text_form;
using mivo::text_reading;

// Group by group, byte by byte: the rule as Python's bytes.hex(sep, bytes_per_sep) states it.
std::string reference(const std::string& bytes, const text_form& f) {
  const std::size_t n = bytes.size();
  // The group's size, also for INT_MIN, whose negation an int cannot hold.
  const std::size_t per = f.bytes_per_separator < 0
                              ? std::size_t{0} - static_cast<std::size_t>(f.bytes_per_separator)
                              : static_cast<std::size_t>(f.bytes_per_separator);
  std::string text;
  for (std::size_t i = 0; i < n; ++i) {
    // Whether a group starts at byte i: counted from the start or from the end.
    const bool starts = f.bytes_per_separator == 0  ? i == 0
                        : f.bytes_per_separator < 0 ? i % per == 0
                                                    : (n - i) % per == 0 || i == 0;
    if (starts && i > 0) text += f.separator;
    if (starts) text += f.group_prefix;
    text += f.byte_prefix;
    const auto [high, low] = mivo::of_char(static_cast<std::uint8_t>(bytes[i]));
    text += f.uppercase ? static_cast<char>(std::toupper(high)) : high;
    text += f.uppercase ? static_cast<char>(std::toupper(low)) : low;
  }
  return text;
}

TEST(TextForms, EncodesAsPythonGroups) {
  const std::string five("\x01\x02\x03\x04\x05", 5);
  const auto hex = [&](std::string_view sep, int per) {
    return mivo::encode_text(mivo_test::bytes_of(five),
                             {.separator = sep, .bytes_per_separator = per});
  };
  // bytes.hex(':', 2), (':', -2), (':', 0) and ('-') in Python 3.8 and later.
  EXPECT_EQ(hex(":", 2), "01:0203:0405");
  EXPECT_EQ(hex(":", -2), "0102:0304:05");
  EXPECT_EQ(hex(":", 0), "0102030405");
  EXPECT_EQ(hex("-", 1), "01-02-03-04-05");
  EXPECT_EQ(mivo::encode_text({}, {.separator = ":"}), "");
  EXPECT_EQ(mivo::encode_text(mivo_test::bytes_of(std::string("\xde\xad\xbe\xef")),
                              {.separator = ", ", .byte_prefix = "0x", .uppercase = true}),
            "0xDE, 0xAD, 0xBE, 0xEF");
  EXPECT_EQ(mivo::encode_text(mivo_test::bytes_of(std::string("\xde\xad\xbe\xef")),
                              {.separator = " ", .bytes_per_separator = 2, .group_prefix = "0x"}),
            "0xdead 0xbeef");
}

TEST(TextForms, EveryGroupingAgreesWithTheRule) {
  for (const std::size_t n :
       {std::size_t{1}, std::size_t{5}, std::size_t{4095}, std::size_t{10001}}) {
    const std::string bytes = mivo_test::pattern(n);
    for (const int per : {1, 2, 3, -3, 0, 7, -4096, INT_MIN, INT_MAX}) {
      for (const text_form& f :
           {text_form{.separator = ":", .bytes_per_separator = per},
            text_form{.separator = "--", .bytes_per_separator = per, .byte_prefix = "\\x"},
            text_form{.bytes_per_separator = per, .group_prefix = "0x", .uppercase = true}}) {
        const std::string text = mivo::encode_text(mivo_test::bytes_of(bytes), f);
        ASSERT_EQ(text, reference(bytes, f)) << n << " bytes, " << per;
        EXPECT_EQ(text.size(), mivo::text_size(n, f));
      }
    }
  }
}

TEST(TextForms, SizesThatDoNotFitAndShortBuffers) {
  EXPECT_THROW((void)mivo::text_size(SIZE_MAX / 2, {.separator = ":"}), std::length_error);
  std::array<char, 4> small{};
  EXPECT_THROW(
      mivo::encode_text_into(small, mivo_test::bytes_of(std::string("ab")), {.separator = ":"}),
      std::length_error);
  std::array<std::uint8_t, 1> one{};
  EXPECT_THROW(mivo::decode_text_into(one, "dead", {}), std::length_error);
}

TEST(TextForms, DecodesWhatEveryFormWrites) {
  const std::string bytes = mivo_test::pattern(9000);
  for (const text_form& f :
       {text_form{.separator = ":"}, text_form{.separator = ", ", .byte_prefix = "0x"},
        text_form{.separator = " ", .bytes_per_separator = 4, .group_prefix = "0x"},
        text_form{.byte_prefix = "\\x", .uppercase = true}}) {
    const std::string text = mivo::encode_text(mivo_test::bytes_of(bytes), f);
    const std::string prefix(f.byte_prefix.empty() ? f.group_prefix : f.byte_prefix);
    const text_reading reading{.ignore = f.separator, .prefix = prefix};
    EXPECT_TRUE(mivo::decode_text(text, reading) == bytes) << text.substr(0, 20);
  }
  EXPECT_EQ(mivo::decode_text("de:ad be\nef", {.ignore = ": \n"}), "\xde\xad\xbe\xef");
  // An ignored digit goes wherever it stands, also where a separator would.
  EXPECT_EQ(mivo::decode_text("de0ad0be", {.ignore = "0"}), "\xde\xad\xbe");
  EXPECT_EQ(mivo::decode_text("0xde0xad 0xbeef", {.ignore = " ", .prefix = "0x"}),
            "\xde\xad\xbe\xef");
}

// Where a fault is: positions over the whole text, prefixes read as digits where no pair
// follows them, and the same result through decode_writer in pieces of any size.
TEST(TextForms, FaultsAreNamedAtTheirPlace) {
  // The text, how it is read, the fault's position and message, the bytes written before it.
  const std::vector<std::tuple<std::string, text_reading, std::size_t, std::string, std::size_t>>
      cases = {
          {"0x0x12", {.prefix = "0x"}, 3, mivo_test::invalid_char_message('x'), 0},
          {"de0x", {.prefix = "0x"}, 3, mivo_test::invalid_char_message('x'), 1},
          {"0x de", {.ignore = " ", .prefix = "0x"}, 1, mivo_test::invalid_char_message('x'), 0},
          {"de:a", {.ignore = ":"}, 3, mivo_test::odd_length_message, 1},
          {"de:ag", {.ignore = ":"}, 4, mivo_test::invalid_char_message('g'), 1},
          {"zz:00", {.ignore = ":"}, 1, mivo_test::invalid_char_message('z'), 0},
          {"0x0", {.prefix = "0x"}, 2, mivo_test::odd_length_message, 0},
          {"\\xde\\x", {.prefix = "\\x"}, 5, mivo_test::invalid_char_message('x'), 1},
      };
  for (const auto& [text, reading, position, message, written] : cases) {
    try {
      (void)mivo::decode_text(text, reading);
      ADD_FAILURE() << text << " decoded";
    } catch (const mivo::decode_error& e) {
      EXPECT_EQ(e.position(), position) << text;
      EXPECT_EQ(std::string(e.what()), message) << text;
    }
    for (std::size_t piece = 1; piece <= text.size(); ++piece) {
      std::ostringstream out;
      mivo::decode_writer writer(mivo::skip_list(reading.ignore), reading.prefix, out);
      try {
        for (std::size_t at = 0; at < text.size(); at += piece)
          writer.write_text(text.substr(at, piece));
        writer.finish();
        ADD_FAILURE() << text << " decoded in pieces of " << piece;
      } catch (const mivo::decode_error& e) {
        EXPECT_EQ(e.position(), position) << text << ", pieces of " << piece;
        // The bytes before the fault were written.
        EXPECT_EQ(out.str().size(), written) << text;
      }
    }
  }
}

TEST(TextForms, DecodeWriterWithAPrefixMatchesTheOneShotForm) {
  const std::string bytes = mivo_test::pattern(5000);
  const std::string text =
      mivo::encode_text(mivo_test::bytes_of(bytes), {.separator = ", ", .byte_prefix = "0x"});
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
    std::ostringstream out;
    mivo::decode_writer writer(mivo::skip_list(std::string_view(", ")), "0x", out);
    for (std::size_t at = 0; at < text.size(); at += piece)
      writer.write_text(text.substr(at, piece));
    writer.finish();
    EXPECT_TRUE(out.str() == bytes) << piece;
  }
}

}  // namespace

namespace {

// The bytes a C array holds, read in pieces of `piece` characters.
std::string read_c_array(const std::string& text, std::size_t piece = SIZE_MAX) {
  std::string bytes;
  mivo::c_array_reader reader(
      [&](std::span<const std::uint8_t> b) { bytes.append(b.begin(), b.end()); });
  for (std::size_t at = 0; at < text.size(); at += piece) reader.write_text(text.substr(at, piece));
  reader.finish();
  return bytes;
}

TEST(CArrays, ReadsWhatXxdWrites) {
  const std::string xxd =
      "unsigned char a_b[] = {\n  0x00, 0x01, 0xfe, 0xFF,\n  0x0A\n};\nunsigned int a_b_len = 5;\n";
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, SIZE_MAX}) {
    EXPECT_EQ(read_c_array(xxd, piece), std::string("\x00\x01\xfe\xff\x0a", 5)) << piece;
  }
  EXPECT_EQ(read_c_array("  0x01, 0x02,\r\n  0x03\r\n"), "\x01\x02\x03");  // lines alone
  EXPECT_EQ(read_c_array("unsigned char x[]={0x1,};"), "\x01");  // no length line, a last comma
  EXPECT_EQ(read_c_array(""), "");
}

TEST(CArrays, AnythingElseFailsAtItsLineAndColumn) {
  const std::vector<std::tuple<std::string, std::string, std::string>> bad = {
      {"unsigned char x[] = {\n  0x01, 0x2g\n};",
       "line 2: column 9: expected a byte such as 0x1f, not '0x2g'", "\x01"},
      {"unsigned char x[] = {0x01};\nunsigned int x_len = 2;",
       "line 2: column 22: the length line says 2 bytes, the array holds 1", "\x01"},
      {"unsigned char x[] = {0x01};\nunsigned int y_len = 1;",
       "line 2: column 14: expected x_len, not 'y_len'", "\x01"},
      {"unsigned char x[] = {0x01", "line 1: column 26: expected '}' before the end", "\x01"},
      {"unsigned short x[] = {", "line 1: column 10: expected 'char', not 'short'", ""},
      {"0x01 0x02", "line 1: column 6: expected ',', not '0x02'", "\x01"},
      {"unsigned char x[] = {0x01}; int",
       "line 1: column 29: expected 'unsigned int NAME_len = N;' or the end, not 'int'", "\x01"},
      {"0x01, \"", "line 1: column 7: unexpected character '\"'", "\x01"},
  };
  for (const auto& [text, message, before] : bad) {
    std::string bytes;
    mivo::c_array_reader reader(
        [&](std::span<const std::uint8_t> b) { bytes.append(b.begin(), b.end()); });
    try {
      reader.write_text(text);
      reader.finish();
      ADD_FAILURE() << text;
    } catch (const mivo::dump_error& e) {
      EXPECT_EQ(std::string(e.what()), message) << text;
    }
    EXPECT_EQ(bytes, before) << text;
    EXPECT_THROW(reader.write_text("0x01"), std::logic_error);  // spent
  }
}

}  // namespace
