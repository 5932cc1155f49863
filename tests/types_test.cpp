// The public types under careless use: impossible sizes, moved-from handles, wrapping slice
// indexes, skip lists that outlive what made them, stream formatting, const temporaries and
// the byte containers callers reach for.
#include <array>
#include <cstddef>
#include <iomanip>
#include <limits>
#include <sstream>
#include <vector>

#include "helpers.hpp"

namespace {

using mivo::bigstring;
using mivo::cstruct;
using mivo::hex_text;
using mivo::skip_list;

constexpr std::size_t size_max = std::numeric_limits<std::size_t>::max();

TEST(ImpossibleSize, RefusedBeforeAnyAllocation) {
  for (std::size_t n = size_max - 64;; ++n) {
    EXPECT_THROW(bigstring{n}, std::length_error) << n;
    EXPECT_THROW((void)cstruct::create(n), std::length_error) << n;
    if (n == size_max) break;
  }
  const auto just_too_large =
      static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) + 1;
  EXPECT_THROW(bigstring{just_too_large}, std::length_error);
}

TEST(MovedFrom, ArrayIsAValidEmptyArray) {
  bigstring a(8);
  const bigstring b = std::move(a);
  bigstring c(4);
  bigstring d(2);
  c = std::move(d);
  for (const bigstring* moved : {&a, &d}) {
    EXPECT_EQ(moved->dim(), 0U);
    EXPECT_THROW((void)moved->get(0), std::out_of_range);
    EXPECT_EQ(mivo::of_bigstring(*moved).text, "");
    EXPECT_EQ(mivo::of_bigstring({0x00}, *moved).text, "");
    EXPECT_NE(*moved, b);
    EXPECT_NE(*moved, bigstring(0));
  }
  EXPECT_EQ(a, d);  // both hold no array
  EXPECT_EQ(b.dim(), 8U);
  EXPECT_EQ(c.dim(), 2U);
  EXPECT_THROW(a.set(0, 1), std::out_of_range);
}

TEST(MovedFrom, SliceIsEmptyOrMalformed) {
  cstruct full = cstruct::of_string("abcdefgh");
  const cstruct taken = std::move(full);
  EXPECT_EQ(taken.length, 8U);
  EXPECT_THROW((void)mivo::of_cstruct(full), std::out_of_range);
  EXPECT_THROW((void)mivo::of_cstruct({' '}, full), std::out_of_range);
  EXPECT_THROW((void)full.get_uint8(0), std::out_of_range);
  EXPECT_THROW(full.set_uint8(0, 1), std::out_of_range);

  cstruct empty = cstruct::create(0);
  const cstruct also_empty = std::move(empty);
  EXPECT_EQ(mivo::of_cstruct(empty).text, "");
}

TEST(Cstruct, StaysAnAggregate) {
  const bigstring buffer(10);
  const cstruct positional{buffer, 3, 2};
  const cstruct designated{.buffer = buffer, .offset = 3, .length = 2};
  EXPECT_EQ(positional, designated);
  EXPECT_EQ(mivo::of_cstruct(designated).text, "0000");
}

TEST(SliceIndex, NeverWrapsIntoTheBuffer) {
  bigstring b(4);
  cstruct c{b, size_max, 5};
  EXPECT_THROW(c.set_uint8(1, 0x77), std::out_of_range);
  EXPECT_THROW((void)c.get_uint8(1), std::out_of_range);
  const cstruct near_end{b, size_max - 1, 3};
  EXPECT_THROW((void)near_end.get_uint8(2), std::out_of_range);
  const cstruct past_buffer{b, 3, 2};
  EXPECT_EQ(past_buffer.get_uint8(0), 0);
  EXPECT_THROW((void)past_buffer.get_uint8(1), std::out_of_range);
  for (std::size_t i = 0; i < b.dim(); ++i) EXPECT_EQ(b.get(i), 0) << i;
}

skip_list separators() { return {' ', '\n'}; }

TEST(SkipList, OwnsItsValues) {
  const skip_list named{' ', '\n'};
  EXPECT_EQ(mivo::of_string(named, "a b\n").text, "6162");
  EXPECT_EQ(mivo::of_string(separators(), "a b\n").text, "6162");
  skip_list assigned;
  {
    const std::vector<std::uint8_t> gone = {'a', 'a'};
    assigned = gone;
  }
  EXPECT_EQ(mivo::of_string(assigned, "abc").text, "6263");
  EXPECT_EQ(assigned.size(), 1);
}

TEST(SkipList, Spellings) {
  const char c = '\xff';
  const std::uint8_t u = 0x20;
  const std::array<std::byte, 2> bytes = {std::byte{0x0a}, std::byte{0x20}};
  const std::vector<unsigned char> uchars = {0x0a, 0x20};
  const std::string input = "\xff \n!";
  EXPECT_EQ(mivo::of_string({'\xff'}, input).text, "200a21");
  EXPECT_EQ(mivo::of_string({c}, input).text, "200a21");
  EXPECT_EQ(mivo::of_string({u}, input).text, "ff0a21");
  EXPECT_EQ(mivo::of_string({0x0a, 0x20}, input).text, "ff21");
  EXPECT_EQ(mivo::of_string(bytes, input).text, "ff21");
  EXPECT_EQ(mivo::of_string(uchars, input).text, "ff21");
  EXPECT_EQ(mivo::of_string(skip_list{std::string_view(" \n")}, input).text, "ff21");
  EXPECT_EQ(skip_list({' ', ' '}), skip_list({' '}));
  EXPECT_TRUE(skip_list(std::vector<std::uint8_t>{}).empty());
}

// Character sequences convert only explicitly: a literal would bring its NUL along.
static_assert(!std::is_convertible_v<const char*, skip_list>);
static_assert(!std::is_convertible_v<const char (&)[3], skip_list>);
static_assert(!std::is_convertible_v<std::string, skip_list>);
static_assert(!std::is_convertible_v<std::string_view, skip_list>);
static_assert(std::is_constructible_v<skip_list, std::string_view>);
static_assert(std::is_convertible_v<std::array<std::byte, 1>, skip_list>);
static_assert(std::is_trivially_copyable_v<skip_list> && sizeof(skip_list) <= 32);
static_assert(skip_list{'a', 'b', 'a'}.size() == 2 && skip_list{0xff}.contains(0xff));

TEST(StreamInsertion, HonoursWidthFillAndAdjustment) {
  const hex_text h{"6162"};
  std::ostringstream right;
  right << std::setw(12) << h << "|";
  EXPECT_EQ(right.str(), "        6162|");
  std::ostringstream left;
  left << std::left << std::setfill('*') << std::setw(6) << h << h << "|";
  EXPECT_EQ(left.str(), "6162**6162|");
  std::ostringstream plain;
  plain << std::setw(12);
  mivo::pp(plain, h);
  EXPECT_EQ(plain.str(), "6162");
}

template <class T>
concept showable = requires(T&& h) {
  mivo::show(std::forward<T>(h));
};
static_assert(showable<const hex_text&> && showable<hex_text&&>);
static_assert(!showable<const hex_text&&>);

TEST(OfBytes, TakesEveryOneByteContainer) {
  const std::vector<std::byte> bytes = {std::byte{0x00}, std::byte{0xff}};
  const std::vector<unsigned char> uchars = {0x00, 0xff};
  const std::string chars("\x00\xff", 2);
  const std::array<std::uint8_t, 2> array = {0x00, 0xff};
  EXPECT_EQ(mivo::of_bytes(bytes).text, "00ff");
  EXPECT_EQ(mivo::of_bytes(uchars).text, "00ff");
  EXPECT_EQ(mivo::of_bytes(chars).text, "00ff");
  EXPECT_EQ(mivo::of_bytes(array).text, "00ff");
  EXPECT_EQ(mivo::of_bytes({0xff}, bytes).text, "00");
  EXPECT_EQ(mivo::of_bytes({0x00}, chars).text, "ff");
}

template <class T>
concept encodable_bytes = requires(const T& b) {
  mivo::of_bytes(b);
};
static_assert(!encodable_bytes<char[4]>);  // "abc" would encode its NUL
static_assert(!encodable_bytes<std::vector<int>>);
static_assert(encodable_bytes<std::string_view> && encodable_bytes<unsigned char[4]>);

}  // namespace
