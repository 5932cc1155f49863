// The engines shared by the operations: encoding with and without a skip list, decoding into
// any container, and the library's one way of failing.
#ifndef MIVO_CODEC_HPP
#define MIVO_CODEC_HPP

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <mivo.hpp>
#include "kernels/kernels.hpp"

namespace mivo::detail {

inline constexpr const char* odd_length_message =
    "Hex conversion: Hex string cannot have an odd number of characters.";

// to_char's message for a character that is not a digit.
std::string invalid_char_message(char c);

// Throws the decode_error for the pair at `pair`, known to hold a non-digit, whose first
// character stands at `position` of the text.
[[noreturn]] void throw_bad_pair(const char* pair, std::size_t position);

// Gives `out` exactly n characters, all written by fill(char*), which must not throw and
// returns false to abandon the result; fill may also scribble on `slack` characters past them.
// Returns what fill returned. Where the standard library allows, the characters are not zeroed
// first.
template <class Fill>
bool overwrite_string(std::string& out, std::size_t n, Fill fill, std::size_t slack = 0) {
#if defined(__cpp_lib_string_resize_and_overwrite)
  bool filled = false;
  out.resize_and_overwrite(n + slack, [&](char* p, std::size_t) noexcept {
    filled = fill(p);
    return filled ? n : 0;
  });
  return filled;
#else
  out.resize(n + slack);
  const bool filled = fill(out.data());
  out.resize(filled ? n : 0);
  return filled;
#endif
}

// Gives `out` the characters fill(char*) writes into room for `capacity` of them, however many
// it reports writing; fill must not throw.
template <class Fill>
void overwrite_string_upto(std::string& out, std::size_t capacity, Fill fill) {
#if defined(__cpp_lib_string_resize_and_overwrite)
  out.resize_and_overwrite(capacity, [&](char* p, std::size_t) noexcept { return fill(p); });
#else
  out.resize(capacity);
  out.resize(fill(out.data()));
#endif
}

// Twice n, or std::length_error when that does not fit in a string.
std::size_t encoded_size(std::size_t n);

// The table-driven engine: every byte of `in`.
hex_text of_string_fast(std::span<const std::uint8_t> in);

// The general engine: the bytes of `in` not listed in `skip`.
hex_text of_helper(skip_list skip, std::span<const std::uint8_t> in);

// Decodes the complete pairs of `digits` into out[0 .. size/2); returns the index of the first
// bad pair, or size/2.
inline std::size_t decode_pairs(std::string_view digits, std::uint8_t* out) noexcept {
  return active_kernel().decode(digits.data(), digits.size() / 2, out);
}

// decode_into on kernel `k`: in constant time, also where the text is invalid, up to where its
// first bad pair is.
std::size_t decode_secret_into(const kernel& k, std::span<std::uint8_t> out, std::string_view text);

// Throws what decoding `digits` must throw, given decode_pairs' answer, if anything.
void check_decoded(std::string_view digits, std::size_t first_bad_pair);

// Decodes `h` into a container: `empty_value` for empty text, else create(n) holding the n
// bytes written through storage(container). Throws the decoding failures; the half-filled
// container is then dropped.
template <class Container, class Create, class Storage>
Container to_helper(const Container& empty_value, Create create, Storage storage,
                    const hex_text& h) {
  const std::string_view digits = h.text;
  if (digits.empty()) return empty_value;
  Container out = create(digits.size() / 2);
  check_decoded(digits, decode_pairs(digits, storage(out)));
  return out;
}

}  // namespace mivo::detail

#endif  // MIVO_CODEC_HPP
