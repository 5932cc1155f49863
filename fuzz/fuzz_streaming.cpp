// The caller-buffer and streaming forms against the one-shot ones on the same input:
// dump_writer over a random split (some pieces given as bytes) equals hexdump_s, failing at
// the same position after the same rows; encode_into and decode_into equal of_string and
// to_string and leave the rest of `out` alone.
// The same for a layout drawn from the input. Input: [flags][seed][layout][text...]
#include <array>
#include <cctype>
#include <sstream>
#include <vector>

#include "fuzz_common.hpp"

namespace {

using mivo_fuzz::check;

constexpr char untouched = '\x5a';

// Deterministic pieces from the seed: lengths 0-70, so splits fall inside and across rows.
std::vector<std::size_t> split(std::size_t size, std::uint32_t seed) {
  std::vector<std::size_t> lengths;
  for (std::size_t done = 0; done < size;) {
    seed = seed * 1664525U + 1013904223U;
    const std::size_t n = std::min<std::size_t>((seed >> 24) % 71, size - done);
    lengths.push_back(n);
    done += n;
  }
  return lengths;
}

bool is_lower_hex(std::string_view s) {
  return mivo_fuzz::reference_decode(s).bytes.has_value() &&
         mivo_fuzz::lowercase(std::string(s)) == s;
}

void check_writer(std::string_view text, const mivo::dump_layout& options, std::uint32_t seed,
                  bool bytes_too) {
  // What the writer is given, as digits: pieces given as bytes come out in the writer's case.
  std::string fed(text);
  std::string expected_text;
  std::ostringstream out;
  std::size_t throwing_piece = SIZE_MAX;
  std::size_t position = 0;
  std::string message;
  bool finish_failed = false;
  {
    mivo::dump_writer writer(options, out);
    std::size_t at = 0;
    std::size_t piece = 0;
    for (const std::size_t n : split(text.size(), seed)) {
      const std::string_view digits = text.substr(at, n);
      try {
        // Valid lowercase pieces of even length may go as the bytes they encode, at any
        // alignment: then each column byte straddles two given bytes.
        if (bytes_too && (piece % 2 == 0) && n % 2 == 0 && is_lower_hex(digits)) {
          const std::string raw = mivo::to_string(mivo::hex_text{std::string(digits)});
          writer.write_bytes(mivo::as_bytes(raw));
          if (options.uppercase()) {
            for (std::size_t i = at; i < at + n; ++i) {
              fed[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(fed[i])));
            }
          }
        } else {
          writer.write_text(digits);
        }
      } catch (const mivo::decode_error& e) {
        throwing_piece = piece;
        position = e.position();
        message = e.what();
        expected_text = fed.substr(0, at + n);
        break;
      }
      at += n;
      ++piece;
    }
    if (throwing_piece == SIZE_MAX) {
      try {  // a lone digit at the end has no byte to show in other bases
        writer.finish();
        writer.finish();
      } catch (const mivo::decode_error& e) {
        finish_failed = true;
        position = e.position();
        message = e.what();
      }
      expected_text = fed;
    } else {
      bool refused = false;
      try {
        writer.write_text("00");
      } catch (const std::logic_error& e) {
        refused = dynamic_cast<const mivo::decode_error*>(&e) == nullptr;
      }
      check(refused, "a spent writer refuses more with std::logic_error");
    }
  }  // the destructor of a spent or finished writer writes nothing

  const mivo::hex_text whole{fed};
  if (finish_failed) {
    try {
      (void)mivo::hexdump_s(options, whole);
      check(false, "finish fails only where hexdump_s does");
    } catch (const mivo::decode_error& e) {
      check(e.position() == position && message == e.what(), "finish fails as hexdump_s does");
    }
    return;
  }
  try {
    const std::string dump = mivo::hexdump_s(options, whole);
    check(throwing_piece == SIZE_MAX, "the writer fails only where hexdump_s does");
    check(out.str() == dump, "writer output equals hexdump_s");
  } catch (const mivo::decode_error& e) {
    check(throwing_piece != SIZE_MAX, "the writer fails where hexdump_s does");
    check(e.position() == position && message == e.what(), "same failure, same position");
    check(expected_text.size() >= (position | 1) + 1, "the call bringing the pair's end throws");
    check(expected_text.size() - split(text.size(), seed)[throwing_piece] <= (position | 1),
          "no earlier call throws");
    // Squeezed, the row before the bad one may be the "*" of a run rather than the last row;
    // a dump that ends in a closing line has none after a failure.
    const std::size_t row_digits = 2 * options.columns();
    const std::size_t rows_before = position / row_digits * row_digits;
    check(options.squeeze() || options.style() == mivo::dump_style::canonical ||
              out.str() == mivo::hexdump_s(options, mivo::hex_text{fed.substr(0, rows_before)}),
          "every row before the bad one is written, nothing after");
  }
}

void check_decode_into(std::string_view text) {
  const std::size_t pairs = text.size() / 2;
  std::string out(pairs + 3, untouched);
  const mivo_fuzz::outcome expected = mivo_fuzz::reference_decode(text);
  try {
    check(mivo::decode_into(out, text) == pairs, "decode_into returns the pair count");
    check(expected.bytes && out.substr(0, pairs) == *expected.bytes, "decode_into decodes");
  } catch (const mivo::decode_error& e) {
    check(!expected.bytes && e.what() == expected.error, "decode_into fails as to_string");
    const std::size_t stored = e.position() / 2;
    const std::string before =
        mivo::to_string(mivo::hex_text{std::string(text.substr(0, 2 * stored))});
    check(out.compare(0, stored, before) == 0, "every pair before the bad one is stored");
    check(out.find_first_not_of(untouched, stored) == std::string::npos, "nothing after it");
  }
  check(out.substr(pairs) == std::string(3, untouched), "out past the text is left alone");
  if (pairs > 0) {
    std::string small(pairs - 1, untouched);
    bool refused = false;
    try {
      (void)mivo::decode_into(small, text);
    } catch (const std::length_error&) {
      refused = small == std::string(pairs - 1, untouched);
    }
    check(refused, "a short out is refused untouched");
  }
}

// decode_writer over a random split against to_string of the text without its skipped bytes:
// the same bytes, or the same failure at the same place in the whole text, with every pair
// before it written.
void check_decode_writer(std::string_view text, const mivo::skip_list& skip, std::uint32_t seed) {
  std::string kept;
  std::vector<std::size_t> where;  // of each kept character in the text
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (skip.contains(static_cast<std::uint8_t>(text[i]))) continue;
    kept += text[i];
    where.push_back(i);
  }
  std::ostringstream out;
  std::string message;
  std::size_t position = SIZE_MAX;
  try {
    mivo::decode_writer writer(skip, out);
    std::size_t at = 0;
    for (const std::size_t n : split(text.size(), seed)) {
      writer.write_text(text.substr(at, n));
      at += n;
    }
    writer.finish();
  } catch (const mivo::decode_error& e) {
    message = e.what();
    position = e.position();
  }
  try {
    const std::string expected = mivo::to_string(mivo::hex_text{kept});
    check(position == SIZE_MAX && out.str() == expected, "decode_writer decodes as to_string");
  } catch (const mivo::decode_error& e) {
    check(message == e.what() && position == where[e.position()], "the same failure, same place");
    const std::string before = kept.substr(0, e.position() / 2 * 2);
    check(out.str() == mivo::to_string(mivo::hex_text{before}), "every pair before it written");
  }
}

void check_encode_into(std::string_view bytes, const mivo::skip_list& skip) {
  const std::string expected = mivo::of_string(skip, bytes).text;
  std::string out(expected.size() + 2, untouched);
  check(mivo::encode_into(out, skip, bytes) == expected.size(), "encode_into returns the count");
  check(out == expected + std::string(2, untouched), "encode_into encodes, tail left alone");
  if (!expected.empty()) {
    std::string small(expected.size() - 1, untouched);
    bool refused = false;
    try {
      (void)mivo::encode_into(small, skip, bytes);
    } catch (const std::length_error&) {
      refused = small == std::string(expected.size() - 1, untouched);
    }
    check(refused, "a short out is refused untouched");
  }
}

// The layout from two bytes of flags; squeezing only where there are labels.
mivo::dump_options options_of(std::uint8_t flags, std::uint8_t layout) {
  constexpr std::array<std::uint64_t, 4> first_offsets = {0, 5, 0xfffffff8U,
                                                          std::uint64_t{1} << 40};
  mivo::dump_options o{.row_numbers = (flags & 1) != 0, .char_column = (flags & 2) != 0};
  o.label = static_cast<mivo::row_label>((layout & 3U) % 3);
  o.first_offset = first_offsets[(layout >> 5) & 3U];
  o.squeeze = (layout & 4) != 0 && o.row_numbers && o.label != mivo::row_label::none;
  o.color = (layout & 8) != 0;
  o.uppercase = (layout & 16) != 0;
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t flags = data[0];
  const std::uint32_t seed = data[1];
  const std::string_view text(reinterpret_cast<const char*>(data) + 3, size - 3);
  check_writer(text, options_of(flags, data[2]), seed, (flags & 4) != 0);
  std::mt19937 rng(flags | data[2] << 8);
  std::optional<mivo::dump_layout> drawn;
  try {
    drawn = mivo_fuzz::drawn_layout(rng);
  } catch (const std::invalid_argument&) {  // a layout that does not build
  }
  if (drawn) check_writer(text, *drawn, seed, (flags & 4) != 0);
  check_decode_into(text);
  const std::size_t listed = std::min<std::size_t>(flags >> 5, text.size());
  check_encode_into(text.substr(listed), mivo::skip_list(mivo::as_bytes(text.substr(0, listed))));
  check_encode_into(text, mivo::skip_list{});
  check_decode_writer(text, mivo::skip_list(mivo::as_bytes(text.substr(0, listed))), seed);
  check_decode_writer(text, mivo::skip_list{' ', '\n', '\t'}, seed);
  return 0;
}
