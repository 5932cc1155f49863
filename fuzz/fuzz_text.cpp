// Text forms: any bytes in a form drawn from the input encode and decode back; any text reads
// the same, bytes or error, through decode_text and through decode_writer in pieces; any text
// goes through the C array reader without harm.
// Input: [form byte][group byte][piece byte][payload...]
#include <sstream>

#include "fuzz_common.hpp"

namespace {

using mivo_fuzz::check;

struct reading_outcome {
  std::string bytes;
  std::string error;
  std::size_t position = 0;
  bool operator==(const reading_outcome&) const = default;
};

reading_outcome one_shot(std::string_view text, const mivo::text_reading& r) {
  try {
    return {mivo::decode_text(text, r), "", 0};
  } catch (const mivo::decode_error& e) {
    return {"", e.what(), e.position()};
  }
}

reading_outcome in_pieces(std::string_view text, const mivo::text_reading& r, std::size_t piece) {
  std::ostringstream out;
  try {
    mivo::decode_writer writer(mivo::skip_list(r.ignore), r.prefix, out);
    for (std::size_t at = 0; at < text.size(); at += piece)
      writer.write_text(text.substr(at, piece));
    writer.finish();
    return {out.str(), "", 0};
  } catch (const mivo::decode_error& e) {
    return {"", e.what(), e.position()};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static constexpr const char* separators[] = {"", ":", ", ", " ", "--"};
  static constexpr const char* prefixes[] = {"", "0x", "\\x", "x"};
  const std::uint8_t pick = data[0];
  const mivo::text_form form{.separator = separators[pick % 5],
                             .bytes_per_separator = static_cast<std::int8_t>(data[1]),
                             .byte_prefix = (pick & 0x20) != 0 ? prefixes[(pick >> 3) % 4] : "",
                             .group_prefix = (pick & 0x20) == 0 ? prefixes[(pick >> 3) % 4] : "",
                             .uppercase = (pick & 0x40) != 0};
  const std::size_t piece = data[2] % 16 + 1;
  const std::string_view payload(reinterpret_cast<const char*>(data) + 3, size - 3);

  // Round trip: what encode_text writes, decode_text reads back.
  const std::string text = mivo::encode_text(mivo::as_bytes(payload), form);
  check(text.size() == mivo::text_size(payload.size(), form), "text_size");
  const std::string prefix(form.byte_prefix.empty() ? form.group_prefix : form.byte_prefix);
  const mivo::text_reading reading{.ignore = form.separator, .prefix = prefix};
  // "x" as a prefix is a letter no digit holds, as "0x" and "\x" are not: every form reads back.
  check(one_shot(text, reading) == reading_outcome{std::string(payload), "", 0}, "round trip");
  check(in_pieces(text, reading, piece) == reading_outcome{std::string(payload), "", 0},
        "round trip in pieces");

  // Any text: the one-shot form and the writer agree, bytes or error.
  check(one_shot(payload, reading) == in_pieces(payload, reading, piece), "writer and one-shot");

  // Any text through the C array reader: bytes or a dump_error, nothing else.
  try {
    mivo::c_array_reader reader([](std::span<const std::uint8_t>) {});
    for (std::size_t at = 0; at < payload.size(); at += piece)
      reader.write_text(payload.substr(at, piece));
    reader.finish();
  } catch (const mivo::dump_error&) {
  }
  return 0;
}
