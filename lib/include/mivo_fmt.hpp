// mivo::hex in {fmt} and spdlog: `fmt::format("{}", mivo::hex(digest))`, nothing allocated.
// Optional: include it only where the host has {fmt}; libmivo itself does not depend on it.
//
// A replacement field takes [[fill]align][width][type]: align '<', '>' or '^' (left by default, as
// for a string), type 'x' (the default) or 'X' for A-F.
#ifndef MIVO_MIVO_FMT_HPP
#define MIVO_MIVO_FMT_HPP

#include <fmt/format.h>

#include <algorithm>
#include <cstddef>

#include <mivo.hpp>

template <>
struct fmt::formatter<mivo::hex_view> {
  char fill = ' ';
  char align = '<';
  std::size_t width = 0;
  bool uppercase = false;

  constexpr auto parse(format_parse_context& ctx) -> format_parse_context::iterator {
    auto it = ctx.begin();
    const auto end = ctx.end();
    const auto is_align = [](char c) { return c == '<' || c == '>' || c == '^'; };
    if (it != end && it + 1 != end && is_align(*(it + 1)) && *it != '}') {
      fill = *it;
      align = *(it + 1);
      it += 2;
    } else if (it != end && is_align(*it)) {
      align = *it++;
    }
    // As fmt's own parser: a width past INT_MAX is an error, never a huge padding.
    constexpr std::size_t max_width = 0x7fffffff;
    for (; it != end && *it >= '0' && *it <= '9'; ++it) {
      width = width * 10 + static_cast<std::size_t>(*it - '0');
      if (width > max_width) throw format_error("number is too big");
    }
    if (it != end && (*it == 'x' || *it == 'X')) uppercase = *it++ == 'X';
    if (it != end && *it != '}') throw format_error("mivo::hex takes [[fill]align][width][x|X]");
    return it;
  }

  template <class FormatContext>
  auto format(mivo::hex_view h, FormatContext& ctx) const -> decltype(ctx.out()) {
    const std::size_t padding = width > h.size() ? width - h.size() : 0;
    const std::size_t before = align == '>' ? padding : align == '^' ? padding / 2 : 0;
    auto out = std::fill_n(ctx.out(), before, fill);
    h.write_to([&](const char* digits, std::size_t n) { out = std::copy_n(digits, n, out); },
               uppercase);
    return std::fill_n(out, padding - before, fill);
  }
};

#endif  // MIVO_MIVO_FMT_HPP
