// Any text in every layout: the dump is the one the layout rules give (color removed), or the
// exact to_char failure; with the character column off it never fails. Then a layout drawn from
// the input's first bytes: the rest, as bytes, dumps alike whole and written in pieces, and reads
// back; as text, the kernels' rows equal the portable formatter's.
#include <cstdio>
#include <random>
#include <sstream>

#include "dump_portable.hpp"

#include "fuzz_common.hpp"

namespace {

std::string label(const mivo::dump_options& o, std::size_t row) {
  char text[32];
  if (o.label == mivo::row_label::byte_offset) {
    std::snprintf(text, sizeof text, "%08llx: ",
                  static_cast<unsigned long long>(o.first_offset + 16 * std::uint64_t{row}));
  } else {
    std::snprintf(text, sizeof text, "%.8zu: ", row);
  }
  return text;
}

// The dump as the layout rules read, row by row, without color; nullopt where the character
// column meets a bad pair (whose message reference_decode of the pair gives).
std::optional<std::string> reference_dump(std::string_view s, const mivo::dump_options& o) {
  std::string out;
  const std::size_t rows = s.size() / 32 + (s.size() % 32 != 0 ? 1 : 0);
  std::string_view printed;  // the last full row shown
  bool starred = false;
  for (std::size_t r = 0; r < rows; ++r) {
    const bool last = r + 1 == rows;
    const std::size_t n = (last && s.size() % 32 != 0) ? s.size() % 32 : 32;
    const std::string_view digits = s.substr(32 * r, n);
    std::string row;
    if (o.row_numbers && o.label != mivo::row_label::none) row += label(o, r);
    for (std::size_t k = 0; k < n; ++k) {
      if (k > 0 && k % 4 == 0) row += ' ';
      row += digits[k];
    }
    if (last) row += std::string((32 - n) + (32 - n) / 4, ' ');
    if (o.char_column) {
      row += "  ";
      for (std::size_t k = 0; k + 1 < n; k += 2) {
        const mivo_fuzz::outcome pair = mivo_fuzz::reference_decode(digits.substr(k, 2));
        if (!pair.bytes) return std::nullopt;
        const auto b = static_cast<unsigned char>((*pair.bytes)[0]);
        row += (b >= 32 && b <= 126) ? static_cast<char>(b) : '.';
      }
    }
    if (o.squeeze && n == 32 && !last && digits == printed) {
      if (!starred) out += "*\n";
      starred = true;
      continue;
    }
    starred = false;
    if (n == 32) printed = digits;
    out += row + '\n';
  }
  return out;
}

// The text without its SGR sequences, ESC [ digits and semicolons m.
std::string without_color(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\x1b' && i + 1 < s.size() && s[i + 1] == '[') {
      i = s.find('m', i);
      if (i == std::string_view::npos) break;
      continue;
    }
    out += s[i];
  }
  return out;
}

// A layout that may fail to build (a group longer than a 16-byte row): drawn again plainer.
void drawn_layout_round_trip(const std::uint8_t* data, std::size_t size) {
  using namespace mivo_fuzz;
  if (size < 4) return;
  std::mt19937 rng(data[0] | data[1] << 8 | data[2] << 16);
  const std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
  mivo::dump_layout layout = mivo::dump_layout::classic();
  try {
    layout = mivo_fuzz::drawn_layout(rng);
  } catch (const std::invalid_argument&) {
    return;
  }
  const std::string dump = mivo::hexdump_s(layout, mivo::of_string(bytes));
  std::ostringstream written;
  {
    mivo::dump_writer writer(layout, written);
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t n = 1 + rng() % 40;
      const std::string piece = bytes.substr(at, n);
      writer.write_bytes({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()});
      at += n;
    }
  }
  check(written.str() == dump, "the writer in pieces gives hexdump_s");
  std::string back;
  mivo::dump_reader reader(layout, [&](std::uint64_t at, std::span<const std::uint8_t> b) {
    at -= layout.label() == mivo::row_label::row_number ? 0 : layout.first_offset();
    if (back.size() < at) back.resize(at, '\0');
    back.replace(at, b.size(), reinterpret_cast<const char*>(b.data()), b.size());
  });
  for (std::size_t at = 0; at < dump.size();) {
    const std::size_t n = 1 + rng() % 200;
    reader.write_text(std::string_view(dump).substr(at, n));
    at += n;
  }
  reader.finish();
  check(back == bytes, "every layout reads back");
  // The kernels' rows against the portable formatter, for text that is not all hex too.
  const mivo::dump_options classic{.row_numbers = (data[0] & 1) != 0,
                                   .char_column = (data[0] & 2) != 0,
                                   .squeeze = (data[0] & 3) == 3,
                                   .color = (data[0] & 4) != 0};
  const mivo::hex_text text{bytes};
  std::string kernels;
  std::string portable;
  try {
    kernels = mivo::hexdump_s(classic, text);
  } catch (const mivo::decode_error& e) {
    kernels = e.what();
  }
  try {
    portable = mivo::detail::portable_dump_s(mivo::dump_layout(classic), text);
  } catch (const mivo::decode_error& e) {
    portable = e.what();
  }
  check(kernels == portable, "the kernels' rows are the portable formatter's");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mivo_fuzz;
  drawn_layout_round_trip(data, size);
  const mivo::hex_text h{std::string(reinterpret_cast<const char*>(data), size)};
  const outcome decoded =
      reference_decode(h.text.size() % 2 == 0 ? h.text : h.text.substr(0, size - 1));
  for (unsigned layout = 0; layout < 48; ++layout) {
    mivo::dump_options options{.row_numbers = (layout & 1) != 0, .char_column = (layout & 2) != 0};
    options.label = static_cast<mivo::row_label>((layout >> 2) % 3);
    options.first_offset = (layout & 16) != 0 ? 0xfffffff8U : 0;
    options.color = (layout & 32) != 0;
    options.squeeze =
        options.row_numbers && options.label != mivo::row_label::none && (layout & 16) == 0;
    const std::optional<std::string> expected = reference_dump(h.text, options);
    try {
      const std::string dump = mivo::hexdump_s(options, h);
      // Color is compared by removing it, which is exact unless the text brings escapes too.
      const bool comparable = !options.color || h.text.find('\x1b') == std::string::npos;
      check(expected.has_value() &&
                (!comparable || (options.color ? without_color(dump) : dump) == *expected),
            "dump follows the layout");
    } catch (const std::invalid_argument& e) {
      check(options.char_column, "no failure without the character column");
      check(!expected.has_value() && e.what() == decoded.error, "the first bad pair's message");
    }
  }
  return 0;
}
