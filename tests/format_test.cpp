// mivo::hex where text goes: a formatted insertion into a stream, as a string would be.
#include <cstddef>
#include <iomanip>
#include <sstream>
#include <vector>

#include "helpers.hpp"

namespace {

template <class T>
std::string inserted(const T& value, std::ios::fmtflags flags = {}, std::streamsize width = 0,
                     char fill = ' ') {
  std::ostringstream out;
  out.flags(out.flags() | flags);
  out << std::setw(static_cast<int>(width)) << std::setfill(fill) << value << '|';
  return out.str();
}

TEST(HexView, InsertsLikeTheStringOfItsDigits) {
  const std::string raw = mivo_test::pattern(1000);  // more than one piece
  const std::string digits = mivo::of_string(raw).text;
  EXPECT_EQ(inserted(mivo::hex(std::span(raw))), inserted(digits));
  for (const auto adjust : {std::ios::left, std::ios::right, std::ios::internal}) {
    EXPECT_EQ(inserted(mivo::hex(std::string("\x01\xff")), adjust, 9, '*'),
              inserted(std::string("01ff"), adjust, 9, '*'));
  }
  EXPECT_EQ(inserted(mivo::hex(std::vector<std::byte>{})), "|");
  // A std::span is in namespace std, whose as_bytes must not be taken for the library's.
  EXPECT_EQ(mivo::of_bytes(std::span(raw)).text, digits);
  EXPECT_EQ(inserted(mivo::hex(std::string("\xab\xcd")), std::ios::uppercase), "ABCD|");
}

TEST(HexView, TheWidthIsUsedOnce) {
  std::ostringstream out;
  out << std::setw(6) << mivo::hex(std::string("\x01")) << mivo::hex(std::string("\x02"));
  EXPECT_EQ(out.str(), "    0102");
}

}  // namespace
