// Mivo: raw bytes to and from lowercase hexadecimal text, and hex dumps of that text.
//
// Every operation is a pure function of its arguments (apart from the two that write to a
// stream), reentrant and safe to call from any number of threads at once, also from a host's
// static initialisers. The library fails in one way of its own: `std::invalid_argument` whose
// `what()` is exactly one of these two texts:
//
//   "Mivo.to_char: N is an invalid char"   N: the rejected byte as a decimal 0-255
//   "Hex conversion: Hex string cannot have an odd number of characters."
//
// Memory exhaustion surfaces as `std::bad_alloc` and impossible result sizes as
// `std::length_error`. No operation ever hands back a partial result.
#ifndef MIVO_MIVO_HPP
#define MIVO_MIVO_HPP

#define MIVO_VERSION_MAJOR 1
#define MIVO_VERSION_MINOR 0
#define MIVO_VERSION_PATCH 0

// MIVO_API marks what the library exports; everything else in it is hidden.
#if defined(MIVO_STATIC)
#define MIVO_API
#elif defined(_WIN32)
#if defined(MIVO_BUILDING)
#define MIVO_API __declspec(dllexport)
#else
#define MIVO_API __declspec(dllimport)
#endif
#else
#define MIVO_API __attribute__((visibility("default")))
#endif

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "mivo_cstruct.hpp"

namespace mivo {

inline constexpr int version_major = MIVO_VERSION_MAJOR;
inline constexpr int version_minor = MIVO_VERSION_MINOR;
inline constexpr int version_patch = MIVO_VERSION_PATCH;

// Encoded text, kept apart from raw data by its type. Construction checks nothing: any string
// may be wrapped, and the decoders judge it. Text made by the encoders always has an even
// number of characters from 0-9 and a-f.
struct hex_text {
  std::string text;

  friend bool operator==(const hex_text&, const hex_text&) = default;
};

// Byte values the encoders leave out of their input. A non-owning view, like std::span: build
// it in the call, e.g. `of_string({' ', '\n'}, s)` or `of_string(vec, s)`. It may be empty
// and may hold repeats; an empty list behaves exactly as no list.
class skip_list {
 public:
  constexpr skip_list() noexcept = default;
  constexpr skip_list(std::initializer_list<std::uint8_t> values) noexcept
      : values_(values.begin(), values.size()) {}
  template <std::ranges::contiguous_range R>
    requires std::same_as<std::remove_cv_t<std::ranges::range_value_t<R>>, std::uint8_t>
  constexpr skip_list(const R& values) noexcept  // NOLINT(google-explicit-constructor)
      : values_(std::ranges::data(values), std::ranges::size(values)) {}

  [[nodiscard]] constexpr std::span<const std::uint8_t> values() const noexcept { return values_; }
  [[nodiscard]] constexpr bool empty() const noexcept { return values_.empty(); }

 private:
  std::span<const std::uint8_t> values_;
};

// Layout of a hex dump; `hexdump_s({.char_column = false}, h)` turns one part off.
struct dump_options {
  bool row_numbers = true;  // "%.8d: " row index (rows, not bytes) before each row
  bool char_column = true;  // two spaces and the bytes as characters, "." if not 32-126
};

// The two lowercase digits of `c`, high nibble first: of_char(0xa5) == {'a', '5'}.
MIVO_API std::pair<char, char> of_char(std::uint8_t c) noexcept;

// The byte whose high digit is `x` and low digit `y`; digits 0-9, a-f and A-F are accepted.
// Throws std::invalid_argument "Mivo.to_char: N is an invalid char" naming the rejected byte,
// judging `y` before `x`.
MIVO_API std::uint8_t to_char(char x, char y);

// Two digits per byte of `s`, in order; bytes listed in `skip` contribute nothing. Never fails
// but for memory.
MIVO_API hex_text of_string(std::string_view s);
MIVO_API hex_text of_string(skip_list skip, std::string_view s);

// The bytes that `h` encodes. Pairs are judged left to right and the first bad one throws
// std::invalid_argument naming its rejected byte ("Mivo.to_char: ..."); only when every complete
// pair is valid does an odd length throw "Hex conversion: ...". Separators are not skipped.
MIVO_API std::string to_string(const hex_text& h);

// As of_string, for a byte buffer.
MIVO_API hex_text of_bytes(std::span<const std::uint8_t> b);
MIVO_API hex_text of_bytes(skip_list skip, std::span<const std::uint8_t> b);

// As to_string, into a byte buffer.
MIVO_API std::vector<std::uint8_t> to_bytes(const hex_text& h);

// As of_string, for the bytes of a slice. A slice that reaches past its buffer throws
// std::out_of_range before anything is read or allocated.
MIVO_API hex_text of_cstruct(const cstruct& cs);
MIVO_API hex_text of_cstruct(skip_list skip, const cstruct& cs);

// As to_string, into a fresh slice of its own buffer. An empty text gives the one shared empty
// slice, the same on every call.
MIVO_API cstruct to_cstruct(const hex_text& h);

// As of_string, for all `dim()` bytes of an array.
MIVO_API hex_text of_bigstring(const bigstring& bs);
MIVO_API hex_text of_bigstring(skip_list skip, const bigstring& bs);

// As to_string, into a fresh array. An empty text gives the shared empty slice's buffer.
MIVO_API bigstring to_bigstring(const hex_text& h);

// The hex dump of `h`: rows of 32 digits (16 bytes) in space-separated groups of 4, the last
// row padded to the full 39 columns, each row ending in "\n"; an empty text gives "". Digits
// are copied unchanged. With the character column on, each complete pair is decoded and a bad
// one throws as to_char does; with it off any text dumps.
MIVO_API std::string hexdump_s(const hex_text& h);
MIVO_API std::string hexdump_s(dump_options options, const hex_text& h);

// Writes hexdump_s(...) to std::cout in one write, without flushing; on failure writes nothing.
MIVO_API void hexdump(const hex_text& h);
MIVO_API void hexdump(dump_options options, const hex_text& h);

// Writes the digit text to `out` as one plain string: no quotes, no line break, no flush.
MIVO_API void pp(std::ostream& out, const hex_text& h);
MIVO_API std::ostream& operator<<(std::ostream& out, const hex_text& h);

// The digit text itself: the very string `h` holds, not a copy.
[[nodiscard]] MIVO_API const std::string& show(const hex_text& h) noexcept;
// A temporary's text is moved out, so `show(of_string(s))` cannot dangle.
[[nodiscard]] MIVO_API std::string show(hex_text&& h) noexcept;

}  // namespace mivo

#endif  // MIVO_MIVO_HPP
