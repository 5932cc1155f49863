#include "quote.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

namespace mivo_cli {
namespace {

// Characters a shell gives a meaning to anywhere in a word.
constexpr std::string_view shell_special = " !\"$&'()*;<=>?[\\]^`{|}";
// ...and at the start of one.
constexpr std::string_view shell_special_first = "#~";

// The length of the valid UTF-8 sequence of a printable character at the start of s, or 0 for a
// control character, DEL, a C1 control or a byte that starts no valid sequence.
std::size_t printable_length(std::string_view s) {
  const auto b0 = static_cast<std::uint8_t>(s[0]);
  if (b0 < 0x80) return (b0 >= 0x20 && b0 != 0x7f) ? 1 : 0;
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (b0 >= 0xc2 && b0 <= 0xdf) {
    length = 2;
    code = b0 & 0x1fU;
  } else if (b0 >= 0xe0 && b0 <= 0xef) {
    length = 3;
    code = b0 & 0x0fU;
  } else if (b0 >= 0xf0 && b0 <= 0xf4) {
    length = 4;
    code = b0 & 0x07U;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    if ((b & 0xc0U) != 0x80) return 0;
    code = (code << 6) | (b & 0x3fU);
  }
  constexpr std::array<std::uint32_t, 5> shortest = {0, 0, 0x80, 0x800, 0x10000};
  const bool valid = code >= shortest[length] && code <= 0x10ffff &&
                     (code < 0xd800 || code > 0xdfff) && (code < 0x80 || code > 0x9f);
  return valid ? length : 0;
}

bool is_plain(std::string_view s) {
  if (s.empty() || shell_special_first.find(s[0]) != std::string_view::npos) return false;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = printable_length(s.substr(i));
    if (n == 0 || shell_special.find(s[i]) != std::string_view::npos) return false;
    i += n;
  }
  return true;
}

// $'...' text of one byte that cannot be shown as itself.
void append_escape(std::string& out, std::uint8_t b) {
  constexpr std::string_view named = "\a\b\t\n\v\f\r";
  constexpr std::string_view letters = "abtnvfr";
  if (const std::size_t i = named.find(static_cast<char>(b)); b != 0 && i != named.npos) {
    out += '\\';
    out += letters[i];
    return;
  }
  out += '\\';
  out += static_cast<char>('0' + ((b >> 6) & 7U));
  out += static_cast<char>('0' + ((b >> 3) & 7U));
  out += static_cast<char>('0' + (b & 7U));
}

std::string shell_quote(std::string_view s) {
  bool printable = true;
  for (std::size_t i = 0; i < s.size() && printable;) {
    const std::size_t n = printable_length(s.substr(i));
    printable = n != 0;
    i += n;
  }
  if (printable && s.find('\'') != s.npos && s.find_first_of("\"$`\\!") == s.npos) {
    return '"' + std::string(s) + '"';
  }
  enum class in { quotes, escapes };  // what the output is inside of
  in now = in::quotes;
  std::string out = "'";
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = printable_length(s.substr(i));
    if (n == 0) {
      if (now == in::quotes) out += "'$'";
      now = in::escapes;
      append_escape(out, static_cast<std::uint8_t>(s[i]));
      ++i;
      continue;
    }
    if (now == in::escapes) out += "''";
    now = in::quotes;
    if (s[i] == '\'') {
      out += "'\\''";
    } else {
      out.append(s.substr(i, n));
    }
    i += n;
  }
  out += '\'';  // closes the quotes or the escapes, whichever is open
  return out;
}

}  // namespace

std::string quote_name(std::string_view name) {
  return is_plain(name) ? std::string(name) : shell_quote(name);
}

std::string quote_value(std::string_view value) { return shell_quote(value); }

}  // namespace mivo_cli
