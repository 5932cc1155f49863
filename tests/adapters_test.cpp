#include <limits>

#include "helpers.hpp"

namespace {

using mivo::bigstring;
using mivo::cstruct;
using mivo::hex_text;

bigstring counting_buffer(std::size_t dim) {
  bigstring b(dim);
  for (std::size_t i = 0; i < dim; ++i) b.set(i, static_cast<std::uint8_t>(i));
  return b;
}

TEST(Bigstring, IsZeroFilledAndChecked) {
  bigstring b(3);
  EXPECT_EQ(b.dim(), 3U);
  EXPECT_EQ(b.get(2), 0);
  b.set(2, 0xab);
  EXPECT_EQ(b.get(2), 0xab);
  EXPECT_THROW((void)b.get(3), std::out_of_range);
  EXPECT_THROW(b.set(3, 1), std::out_of_range);
}

TEST(Bigstring, CopiesShareTheArray) {
  bigstring a(2);
  bigstring copy = a;
  copy.set(0, 7);
  EXPECT_EQ(a.get(0), 7);
  EXPECT_EQ(a, copy);
  EXPECT_NE(a, bigstring(2));
  EXPECT_NE(bigstring(0), bigstring(0));
}

TEST(Cstruct, SliceOperations) {
  cstruct made = cstruct::of_string("abc");
  EXPECT_EQ(made.length, 3U);
  EXPECT_EQ(made.get_uint8(1), 'b');
  cstruct fresh = cstruct::create(2);
  fresh.set_uint8(1, 0x99);
  EXPECT_EQ(fresh.buffer.get(1), 0x99);
  EXPECT_THROW(fresh.set_uint8(2, 0), std::out_of_range);
  const cstruct window{counting_buffer(10), 8, 2};
  EXPECT_EQ(window.get_uint8(1), 9);
  const cstruct malformed{counting_buffer(10), 9, 2};
  EXPECT_THROW((void)malformed.get_uint8(1), std::out_of_range);
}

TEST(OfCstruct, EncodesExactlyTheWindow) {
  const bigstring buffer = counting_buffer(10);
  EXPECT_EQ(mivo::of_cstruct(cstruct{buffer, 3, 2}).text, "0304");
  EXPECT_EQ(mivo::of_cstruct(cstruct{buffer, 0, 10}).text, "00010203040506070809");
  EXPECT_EQ(mivo::of_cstruct(cstruct{buffer, 10, 0}).text, "");
  EXPECT_EQ(mivo::of_cstruct({0x04}, cstruct{buffer, 3, 3}).text, "0305");
}

TEST(OfCstruct, MalformedSliceThrowsOutOfRangeWhateverTheSkipList) {
  const bigstring buffer = counting_buffer(10);
  const std::size_t huge = std::numeric_limits<std::size_t>::max();
  const cstruct malformed[] = {
      {buffer, 9, 2},  {buffer, 10, 1},   {buffer, 11, 0},   {buffer, huge, 0},
      {buffer, 0, 11}, {buffer, 1, huge}, {buffer, huge, 2},
  };
  for (const cstruct& cs : malformed) {
    EXPECT_THROW((void)mivo::of_cstruct(cs), std::out_of_range) << cs.offset << "+" << cs.length;
    EXPECT_THROW((void)mivo::of_cstruct({0x09}, cs), std::out_of_range);
  }
}

TEST(OfBigstring, EncodesEveryElement) {
  EXPECT_EQ(mivo::of_bigstring(bigstring(0)).text, "");
  EXPECT_EQ(mivo::of_bigstring(counting_buffer(3)).text, "000102");
  EXPECT_EQ(mivo::of_bigstring({0x00, 0x02}, counting_buffer(3)).text, "01");
}

TEST(ToCstruct, DecodesIntoAFreshSlice) {
  const cstruct cs = mivo::to_cstruct(hex_text{"0a0B"});
  EXPECT_EQ(cs.offset, 0U);
  EXPECT_EQ(cs.length, 2U);
  EXPECT_EQ(cs.buffer.dim(), 2U);
  EXPECT_EQ(cs.get_uint8(0), 0x0a);
  EXPECT_EQ(cs.get_uint8(1), 0x0b);
  EXPECT_NE(mivo::to_cstruct(hex_text{"00"}).buffer, mivo::to_cstruct(hex_text{"00"}).buffer);
}

TEST(ToBigstring, DecodesIntoAFreshArray) {
  const bigstring bs = mivo::to_bigstring(hex_text{"0a0b"});
  EXPECT_EQ(bs.dim(), 2U);
  EXPECT_EQ(bs.get(0), 0x0a);
  EXPECT_EQ(bs.get(1), 0x0b);
}

TEST(EmptyText, DecodesToTheOneSharedSlice) {
  const cstruct first = mivo::to_cstruct(hex_text{});
  EXPECT_EQ(first.length, 0U);
  EXPECT_EQ(first.buffer.dim(), 0U);
  EXPECT_EQ(first, mivo::to_cstruct(hex_text{}));
  EXPECT_EQ(mivo::to_bigstring(hex_text{}), first.buffer);
  EXPECT_EQ(mivo::to_bigstring(hex_text{}), mivo::to_bigstring(hex_text{}));
}

TEST(Decoders, FailAlikeForEveryContainer) {
  for (const char* text : {"abc", "0"}) {
    EXPECT_THROW_MESSAGE(mivo::to_cstruct(hex_text{text}), std::invalid_argument,
                         mivo_test::odd_length_message);
    EXPECT_THROW_MESSAGE(mivo::to_bigstring(hex_text{text}), std::invalid_argument,
                         mivo_test::odd_length_message);
  }
  EXPECT_THROW_MESSAGE(mivo::to_cstruct(hex_text{"0g0"}), std::invalid_argument,
                       mivo_test::invalid_char_message(103));
  EXPECT_THROW_MESSAGE(mivo::to_bigstring(hex_text{"gz"}), std::invalid_argument,
                       mivo_test::invalid_char_message(122));
}

TEST(RoundTrip, SlicesAndArrays) {
  const std::string s = mivo_test::pattern(133);
  const hex_text h = mivo::of_string(s);
  EXPECT_EQ(mivo::of_cstruct(mivo::to_cstruct(h)), h);
  EXPECT_EQ(mivo::of_bigstring(mivo::to_bigstring(h)), h);
  EXPECT_EQ(mivo::of_cstruct(cstruct::of_string(s)), h);
}

}  // namespace
