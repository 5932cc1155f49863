// Reading dumps back. Input: [layout][seed][rest]. The rest, as bytes, is dumped with the layout
// and read back over random splits, also after an edit of its character column (which changes
// nothing) and of one digit (which changes that byte alone), and with CRLF line ends. The rest, as
// text, is read whole and a character at a time, which takes the fast path and the
// character-by-character one apart: both must give the same bytes or the same fault.
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <string>

#include "fuzz_common.hpp"

namespace {

using placed = std::map<std::uint64_t, std::uint8_t>;

// A label far past a '*' fills the gap with copies of a row: the bytes are kept up to a cap.
constexpr std::size_t most_bytes = std::size_t{64} << 10;
struct too_many_bytes {};

struct reading {
  placed bytes;
  std::string fault;  // what() of a dump_error
  bool capped = false;

  // The same outcome; bytes past the cap are not compared, nor is a fault after them.
  [[nodiscard]] bool same(const reading& r) const {
    return bytes == r.bytes && capped == r.capped && (capped || fault == r.fault);
  }
};

reading read(const mivo::dump_layout& layout, std::string_view text, std::mt19937& pieces,
             std::size_t longest) {
  reading r;
  std::size_t seen = 0;
  mivo::dump_reader reader(layout, [&](std::uint64_t at, std::span<const std::uint8_t> b) {
    for (std::size_t i = 0; i < b.size(); ++i, ++seen) {
      if (seen == most_bytes) throw too_many_bytes{};
      r.bytes[at + i] = b[i];
    }
  });
  try {
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t n = std::uniform_int_distribution<std::size_t>(1, longest)(pieces);
      reader.write_text(text.substr(at, n));
      at += n;
    }
    reader.finish();
  } catch (const mivo::dump_error& e) {
    r.fault = e.what();
  } catch (const too_many_bytes&) {
    r.capped = true;
  }
  return r;
}

mivo::dump_options layout_of(std::uint8_t flags) {
  const auto label = static_cast<mivo::row_label>(flags % 3);
  return {.char_column = (flags & 4) == 0,
          .label = label,
          .first_offset = (flags & 8) != 0 ? 0xfff0U : 0U,
          .uppercase = (flags & 16) != 0,
          .squeeze = (flags & 32) != 0 && label != mivo::row_label::none,
          .color = (flags & 64) != 0};
}

placed expected(const mivo::dump_options& layout, std::string_view bytes) {
  const std::uint64_t first = layout.label == mivo::row_label::row_number ? 0 : layout.first_offset;
  placed p;
  for (std::size_t i = 0; i < bytes.size(); ++i) p[first + i] = static_cast<std::uint8_t>(bytes[i]);
  return p;
}

// Where the digits of byte `index` stand in an uncolored dump's text, and where the row's
// character column starts (npos without one).
struct row_text {
  std::size_t digit;
  std::size_t chars;
};

row_text locate(std::string_view text, std::size_t index, bool labelled, bool char_column) {
  std::size_t line = 0;
  for (std::size_t row = 0; row < index / 16; ++row) line = text.find('\n', line) + 1;
  const std::size_t digits = labelled ? text.find(": ", line) + 2 : line;
  const std::size_t in_row = index % 16;
  return {digits + 2 * in_row + in_row / 2, char_column ? digits + 41 : std::string::npos};
}

// A drawn layout's dump reads back; with one character changed, read whole (in runs of rows)
// and a character at a time (line by line) it gives the same bytes or the same fault.
void drawn_layout_edit(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return;
  std::mt19937 rng(data[0] | data[1] << 8 | data[2] << 16);
  mivo::dump_layout layout = mivo::dump_layout::classic();
  try {
    layout = mivo_fuzz::drawn_layout(rng);
  } catch (const std::invalid_argument&) {
    return;
  }
  const std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
  std::string text = mivo::hexdump_s(layout, mivo::of_string(bytes));
  const std::uint64_t first =
      layout.label() == mivo::row_label::row_number ? 0 : layout.first_offset();
  placed want;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    want[first + i] = static_cast<std::uint8_t>(bytes[i]);
  const reading back = read(layout, text, rng, 1 + text.size() / 3);
  mivo_fuzz::check(back.fault.empty() && back.bytes == want, "a drawn layout's dump reads back");
  if (text.empty()) return;
  static constexpr std::string_view edits = "0179af |:*\n\x1bxg";
  text[rng() % text.size()] = edits[rng() % edits.size()];
  const reading whole = read(layout, text, rng, SIZE_MAX);
  const reading by_char = read(layout, text, rng, 1);
  mivo_fuzz::check(whole.same(by_char), "an edited layout's dump: whole and by character differ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  drawn_layout_edit(data, size);
  if (size < 2) return 0;
  mivo::dump_options layout = layout_of(data[0]);
  std::mt19937 pieces(data[1]);
  const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);

  const std::string text = mivo::hexdump_s(layout, mivo::of_string(rest));
  const reading back = read(layout, text, pieces, 1 + text.size() / 3);
  mivo_fuzz::check(back.fault.empty() && back.bytes == expected(layout, rest),
                   "a dump does not read back");
  std::string crlf;
  for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const reading crlf_back = read(layout, crlf, pieces, 1 + crlf.size() / 3);
  mivo_fuzz::check(crlf_back.fault.empty() && crlf_back.bytes == back.bytes,
                   "a dump with CRLF line ends does not read back");

  // Edits, on a dump without color and squeeze, so that rows stand where they are counted.
  if (!rest.empty()) {
    layout.color = false;
    layout.squeeze = false;
    std::string edited = mivo::hexdump_s(layout, mivo::of_string(rest));
    const std::size_t index = data[1] % rest.size();
    const bool labelled = layout.label != mivo::row_label::none;
    const row_text at = locate(edited, index, labelled, layout.char_column);
    if (at.chars != std::string::npos) edited[at.chars] = static_cast<char>(data[1] | 0x20);
    edited[at.digit] = edited[at.digit] == '7' ? 'c' : '7';
    std::string changed = rest;
    changed[index] =
        static_cast<char>(mivo_fuzz::digit(static_cast<unsigned char>(edited[at.digit])) * 16 +
                          (static_cast<unsigned char>(changed[index]) & 15U));
    mivo_fuzz::check(read(layout, edited, pieces, 64).bytes == expected(layout, changed),
                     "an edited dump reads back wrong");
  }

  // Any text: the fast path and the slow one agree.
  const reading whole = read(layout_of(data[0]), rest, pieces, SIZE_MAX);
  const reading by_char = read(layout_of(data[0]), rest, pieces, 1);
  mivo_fuzz::check(whole.same(by_char), "read whole and a character at a time differ");
  return 0;
}
