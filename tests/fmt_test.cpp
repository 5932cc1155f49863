// mivo::hex through {fmt}, where the host has it: fields behave as for a string, plus X.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <string>

#include <mivo_fmt.hpp>

namespace {

const std::string bytes = "\x01\xab\xff";

TEST(FmtFormatter, FormatsAsTheStringOfTheDigits) {
  const auto h = mivo::hex(bytes);
  EXPECT_EQ(fmt::format("{}", h), "01abff");
  EXPECT_EQ(fmt::format("{:X}", h), "01ABFF");
  for (const char* field : {"{:10}", "{:<10}", "{:>10}", "{:^10}", "{:*^11}", "{:-<3}"}) {
    EXPECT_EQ(fmt::format(fmt::runtime(field), h), fmt::format(fmt::runtime(field), "01abff"))
        << field;
  }
  EXPECT_THROW((void)fmt::format(fmt::runtime("{:q}"), h), fmt::format_error);
  // A width fmt refuses for a string is refused here too, before any padding is made.
  for (const char* field : {"{:2147483648}", "{:99999999999999999999}"}) {
    EXPECT_THROW((void)fmt::format(fmt::runtime(field), h), fmt::format_error) << field;
  }
}

TEST(FmtFormatter, WritesIntoAFixedBuffer) {
  std::array<char, 8> out{};
  const auto end = fmt::format_to_n(out.begin(), out.size(), "{:X}", mivo::hex(bytes));
  EXPECT_EQ(std::string(out.begin(), end.out), "01ABFF");
}

}  // namespace
