// Any text with each flag combination: the dump is the one the layout rules give, or the exact
// to_char failure; with the character column off it never fails.
#include <cstdio>

#include "fuzz_common.hpp"

namespace {

// The dump as the layout rules read, row by row; nullopt where the character column meets a
// bad pair (whose message reference_decode of the pair gives).
std::optional<std::string> reference_dump(std::string_view s, mivo::dump_options o) {
  std::string out;
  const std::size_t rows = s.size() / 32 + (s.size() % 32 != 0 ? 1 : 0);
  for (std::size_t r = 0; r < rows; ++r) {
    const bool last = r + 1 == rows;
    if (o.row_numbers) {
      char number[32];
      std::snprintf(number, sizeof number, "%.8zu: ", r);
      out += number;
    }
    const std::size_t n = (last && s.size() % 32 != 0) ? s.size() % 32 : 32;
    for (std::size_t k = 0; k < n; ++k) {
      if (k > 0 && k % 4 == 0) out += ' ';
      out += s[32 * r + k];
    }
    if (last) out += std::string((32 - n) + (32 - n) / 4, ' ');
    if (o.char_column) {
      out += "  ";
      for (std::size_t k = 0; k + 1 < n; k += 2) {
        const mivo_fuzz::outcome pair = mivo_fuzz::reference_decode(s.substr(32 * r + k, 2));
        if (!pair.bytes) return std::nullopt;
        const auto b = static_cast<unsigned char>((*pair.bytes)[0]);
        out += (b >= 32 && b <= 126) ? static_cast<char>(b) : '.';
      }
    }
    out += '\n';
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mivo_fuzz;
  const mivo::hex_text h{std::string(reinterpret_cast<const char*>(data), size)};
  const outcome decoded =
      reference_decode(h.text.size() % 2 == 0 ? h.text : h.text.substr(0, size - 1));
  for (const bool row_numbers : {true, false}) {
    for (const bool char_column : {true, false}) {
      const mivo::dump_options options{row_numbers, char_column};
      const std::optional<std::string> expected = reference_dump(h.text, options);
      try {
        const std::string dump = mivo::hexdump_s(options, h);
        check(expected.has_value() && dump == *expected, "dump follows the layout");
      } catch (const std::invalid_argument& e) {
        check(char_column, "no failure without the character column");
        check(!expected.has_value() && e.what() == decoded.error, "the first bad pair's message");
      }
    }
  }
  return 0;
}
