// Error positions, the caller-buffer forms' edges and the dump writer's life cycle: what the
// differential fuzzer, which compares whole outputs, cannot see.
#include <array>
#include <sstream>
#include <streambuf>

#include "helpers.hpp"

namespace {

using mivo::decode_error;
using mivo::hex_text;

template <class Op>
std::size_t failure_position(Op op) {
  try {
    op();
  } catch (const decode_error& e) {
    return e.position();
  }
  ADD_FAILURE() << "no decode_error";
  return SIZE_MAX;
}

TEST(DecodeError, PositionNamesTheRejectedCharacter) {
  EXPECT_EQ(failure_position([] { (void)mivo::to_char('g', '0'); }), 0U);
  EXPECT_EQ(failure_position([] { (void)mivo::to_char('g', 'z'); }), 1U);
  EXPECT_EQ(failure_position([] { (void)mivo::to_string(hex_text{"0011g2"}); }), 4U);
  EXPECT_EQ(failure_position([] { (void)mivo::to_bytes(hex_text{"00112g"}); }), 5U);
  EXPECT_EQ(failure_position([] { (void)mivo::to_cstruct(hex_text{"abc"}); }), 2U);
  EXPECT_EQ(failure_position([] { (void)mivo::to_bigstring(hex_text{"0"}); }), 0U);
  std::string text(100, '0');
  text[71] = 'x';
  EXPECT_EQ(failure_position([&] { (void)mivo::hexdump_s(hex_text{text}); }), 71U);
  EXPECT_EQ(failure_position([&] { mivo::hexdump(hex_text{text}); }), 71U);
}

TEST(DecodeError, IsStillAnInvalidArgument) {
  EXPECT_THROW_MESSAGE(mivo::to_string(hex_text{"0"}), std::invalid_argument,
                       mivo_test::odd_length_message);
  const decode_error copy = decode_error("m", 3);
  EXPECT_EQ(decode_error(copy).position(), 3U);
}

TEST(EncodeInto, ShortOutputIsRefusedBeforeAnythingIsStored) {
  std::array<char, 5> out{};
  out.fill('-');
  EXPECT_THROW((void)mivo::encode_into(out, "abc"), std::length_error);
  EXPECT_THROW((void)mivo::encode_into(out, {'z'}, "abc"), std::length_error);
  EXPECT_EQ(std::string(out.data(), out.size()), "-----");
  EXPECT_EQ(mivo::encode_into(out, {'a'}, "abc"), 4U);
  EXPECT_EQ(std::string(out.data(), out.size()), "6263-");
  EXPECT_EQ(mivo::encode_into(std::span<char>(), ""), 0U);
}

TEST(EncodeInto, ImpossibleSizeIsRefusedBeforeReading) {
  const std::uint8_t one = 0;
  const std::span<const std::uint8_t> claimed(&one, SIZE_MAX / 2 + 1);
  char out[2];
  EXPECT_THROW((void)mivo::encode_into(out, claimed), std::length_error);
}

TEST(DecodeInto, StoresThePairsBeforeTheFailureAndNothingAfter) {
  std::string out(8, '-');
  EXPECT_EQ(failure_position([&] { (void)mivo::decode_into(out, "41424x4445"); }), 5U);
  EXPECT_EQ(out, "AB------");
  out.assign(8, '-');
  EXPECT_EQ(failure_position([&] { (void)mivo::decode_into(out, "41424"); }), 4U);
  EXPECT_EQ(out, "AB------");
  std::array<std::uint8_t, 1> small{};
  EXPECT_THROW((void)mivo::decode_into(small, "4142"), std::length_error);
  EXPECT_EQ(small[0], 0);
}

// A stream that keeps what it is given and counts the writes, or refuses them.
class recording_buffer : public std::streambuf {
 public:
  std::string text;
  int writes = 0;
  bool refuse = false;

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (refuse) return 0;
    ++writes;
    text.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int_type overflow(int_type c) override {
    ADD_FAILURE() << "written one character at a time";
    return refuse ? traits_type::eof() : c;
  }
};

TEST(DumpWriter, HandsOverEveryCompletedRowAtOnce) {
  recording_buffer buffer;
  std::ostream out(&buffer);
  mivo::dump_writer writer(out);
  writer.write_text(std::string(40, '4'));
  EXPECT_EQ(buffer.text, "00000000: 4444 4444 4444 4444 4444 4444 4444 4444  DDDDDDDDDDDDDDDD\n");
  EXPECT_EQ(buffer.writes, 1);
  writer.write_bytes(std::vector<std::uint8_t>(14, 0x41));  // completes row 1, 2 bytes left
  EXPECT_EQ(buffer.writes, 2);
  writer.finish();
  writer.finish();
  const std::string digits = std::string(40, '4') + mivo::of_bytes(std::string(14, 'A')).text;
  EXPECT_EQ(buffer.text, mivo::hexdump_s(hex_text{digits}));
  EXPECT_THROW(writer.write_text("00"), std::logic_error);
  EXPECT_THROW(writer.write_bytes({}), std::logic_error);
}

TEST(DumpWriter, DestructorFinishesAnUnfinishedWriter) {
  std::ostringstream out;
  {
    mivo::dump_writer writer({.row_numbers = false}, out);
    writer.write_text("686");
  }
  EXPECT_EQ(out.str(), mivo::hexdump_s({.row_numbers = false}, hex_text{"686"}));
}

TEST(DumpWriter, AFailureSpendsTheWriter) {
  std::ostringstream out;
  {
    mivo::dump_writer writer(out);
    writer.write_text(std::string(64, 'a') + "0");
    const std::string before = out.str();
    EXPECT_EQ(failure_position([&] { writer.write_text("g0"); }), 65U);
    EXPECT_EQ(out.str(), before);  // the bad row and nothing after
    try {
      writer.finish();
      ADD_FAILURE() << "a spent writer finished";
    } catch (const decode_error&) {
      ADD_FAILURE() << "the failure was reported twice";
    } catch (const std::logic_error&) {
    }
  }
  EXPECT_EQ(out.str(), mivo::hexdump_s(hex_text{std::string(64, 'a')}));
}

TEST(DumpWriter, AStreamThatThrowsSpendsTheWriter) {
  recording_buffer buffer;
  buffer.refuse = true;
  std::ostream out(&buffer);
  out.exceptions(std::ios::badbit);
  {
    mivo::dump_writer writer(out);
    EXPECT_THROW(writer.write_text(std::string(32, '0')), std::ios::failure);
    EXPECT_THROW(writer.write_text("00"), std::logic_error);
  }
  std::ostream quiet(&buffer);
  {
    mivo::dump_writer writer(quiet);
    writer.write_text("00");
  }  // the destructor's failed write is the stream's to report, not an exception
  EXPECT_TRUE(quiet.bad());
}

TEST(DecodeWriter, DecodesAcrossPiecesAndSkipsItsList) {
  std::ostringstream out;
  mivo::decode_writer writer({' ', '\n'}, out);
  for (const std::string_view piece : {"6", "8 6", "9\n", "", " 2", "1"}) writer.write_text(piece);
  writer.finish();
  writer.finish();  // again: nothing
  EXPECT_EQ(out.str(), "hi!");
  EXPECT_THROW(writer.write_text("00"), std::logic_error);
}

TEST(DecodeWriter, FailuresNameTheirPlaceInTheWholeText) {
  const auto failure = [](std::initializer_list<std::string_view> pieces, std::string& written) {
    std::ostringstream out;
    mivo::decode_writer writer({' '}, out);
    try {
      for (const std::string_view piece : pieces) writer.write_text(piece);
      writer.finish();
    } catch (const decode_error& e) {
      written = out.str();
      EXPECT_THROW(writer.write_text("00"), std::logic_error);  // spent
      return std::make_pair(std::string(e.what()), e.position());
    }
    return std::make_pair(std::string(), SIZE_MAX);
  };
  std::string written;
  EXPECT_EQ(failure({"41 4", "2 g0"}, written),
            std::make_pair(mivo_test::invalid_char_message('g'), std::size_t{6}));
  EXPECT_EQ(written, "AB");
  EXPECT_EQ(failure({"4", " ", "z1"}, written),  // the second character is judged first
            std::make_pair(mivo_test::invalid_char_message('z'), std::size_t{2}));
  EXPECT_EQ(failure({"g", "  4"}, written),
            std::make_pair(mivo_test::invalid_char_message('g'), std::size_t{0}));
  EXPECT_EQ(failure({"4142 4"}, written),
            std::make_pair(mivo_test::odd_length_message, std::size_t{5}));
  EXPECT_EQ(written, "AB");
}

}  // namespace
