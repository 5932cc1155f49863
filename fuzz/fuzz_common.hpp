// What the fuzzers share: an independent reading of the rules to check the library against,
// and a hard stop that libFuzzer reports as a crash.
#ifndef MIVO_FUZZ_COMMON_HPP
#define MIVO_FUZZ_COMMON_HPP

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

#include <mivo.hpp>

namespace mivo_fuzz {

// A layout drawn at random; it may fail to build (a group longer than the row).
inline mivo::dump_layout drawn_layout(std::mt19937& rng) {
  const std::size_t columns = 1 + rng() % 64;
  return mivo::dump_layout::builder()
      .columns(rng() % 4 == 0 ? 16 : columns)
      .group(rng() % 3 == 0 ? 2 : rng() % (columns + 1) % (rng() % 4 == 0 ? 17 : columns + 1))
      .order(rng() % 2 == 0 ? mivo::byte_order::big : mivo::byte_order::little)
      .base(static_cast<mivo::dump_base>(rng() % 4))
      .label(static_cast<mivo::row_label>(rng() % 4))
      .displacement(rng() % 3 == 0 ? rng() : 0)
      .first_offset(rng() % 2 == 0 ? 0 : rng())
      .char_column(rng() % 2 == 0)
      .table(rng() % 2 == 0 ? mivo::char_table::ascii : mivo::char_table::ebcdic)
      .style(rng() % 3 == 0 ? mivo::dump_style::canonical : mivo::dump_style::classic)
      .color(rng() % 4 == 0)
      .build();
}

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

// Decoding's outcome: the bytes, or the exception message.
struct outcome {
  std::optional<std::string> bytes;
  std::string error;

  friend bool operator==(const outcome&, const outcome&) = default;
};

inline int digit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline std::string bad_char(unsigned char c) {
  return "Mivo.to_char: " + std::to_string(c) + " is an invalid char";
}

// Decoding as the rules read: pairs left to right, the second character judged first, the odd
// length only after every complete pair.
inline outcome reference_decode(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    const int low = digit(static_cast<unsigned char>(s[i + 1]));
    if (low < 0) return {std::nullopt, bad_char(static_cast<unsigned char>(s[i + 1]))};
    const int high = digit(static_cast<unsigned char>(s[i]));
    if (high < 0) return {std::nullopt, bad_char(static_cast<unsigned char>(s[i]))};
    out.push_back(static_cast<char>(high * 16 + low));
  }
  if (s.size() % 2 != 0) {
    return {std::nullopt, "Hex conversion: Hex string cannot have an odd number of characters."};
  }
  return {out, ""};
}

template <class Decode>
outcome run_decode(Decode decode) {
  try {
    return {decode(), ""};
  } catch (const std::invalid_argument& e) {
    return {std::nullopt, e.what()};
  }
}

inline std::string lowercase(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace mivo_fuzz

#endif  // MIVO_FUZZ_COMMON_HPP
