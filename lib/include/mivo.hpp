// Mivo: raw bytes to and from lowercase hexadecimal text, and hex dumps of that text.
//
// Every operation is a pure function of its arguments (apart from the two that write to a
// stream), reentrant and safe to call from any number of threads at once, also from a host's
// static initialisers. The library fails in one way of its own: `mivo::decode_error`, a
// `std::invalid_argument` whose `what()` is exactly one of these two texts:
//
//   "Mivo.to_char: N is an invalid char"   N: the rejected byte as a decimal 0-255
//   "Hex conversion: Hex string cannot have an odd number of characters."
//
// Memory exhaustion surfaces as `std::bad_alloc` and impossible result sizes as
// `std::length_error`; a slice reaching past its buffer, and a checked index outside an array
// or slice, as `std::out_of_range`. No operation ever hands back a partial result.
//
// An empty span or string_view is empty input whatever its data pointer, null included.
#ifndef MIVO_MIVO_HPP
#define MIVO_MIVO_HPP

#if !defined(_MSVC_LANG) && __cplusplus < 202002L || defined(_MSVC_LANG) && _MSVC_LANG < 202002L
#error "Mivo needs C++20: compile with -std=c++20 or later"
#else  // the rest only under C++20, so the error above is the only one

#define MIVO_VERSION_MAJOR 4
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

#include <algorithm>
#include <array>
#include <bit>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(MIVO_CHECK_CONSTANT_TIME)  // the library's own constant-time test, under valgrind
#include <valgrind/memcheck.h>
#endif
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <ranges>
#include <span>
#include <stdexcept>
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

// Thrown by every decoding failure: to_char, the to_* decoders, decode_into, and hexdump,
// hexdump_s and dump_writer with the character column on. `what()` is one of the two messages
// above; `position()` is the index in the text of the rejected character or, for an odd length,
// of the lone last digit (size - 1). For to_char(x, y) it is 0 for x and 1 for y.
class MIVO_API decode_error : public std::invalid_argument {
 public:
  decode_error(const std::string& what, std::size_t position);
  decode_error(const decode_error&) noexcept = default;
  decode_error& operator=(const decode_error&) noexcept = default;
  ~decode_error() override;

  [[nodiscard]] std::size_t position() const noexcept { return position_; }

 private:
  std::size_t position_;
};

// Encoded text, kept apart from raw data by its type. Construction checks nothing: any string
// may be wrapped, and the decoders judge it. Text made by the encoders always has an even
// number of characters from 0-9 and a-f.
struct hex_text {
  std::string text;

  friend bool operator==(const hex_text&, const hex_text&) = default;
};

// One byte value of a skip list, spelt as a character, a byte or an integer constant 0-255.
class skip_byte {
 public:
  constexpr skip_byte(char c) noexcept : value_(static_cast<std::uint8_t>(c)) {}       // NOLINT
  constexpr skip_byte(unsigned char c) noexcept : value_(c) {}                         // NOLINT
  constexpr skip_byte(std::byte b) noexcept : value_(static_cast<std::uint8_t>(b)) {}  // NOLINT
  // An integer must be a constant in 0-255; anything else does not compile.
  consteval skip_byte(int v) : value_(checked(v)) {}  // NOLINT

  [[nodiscard]] constexpr std::uint8_t value() const noexcept { return value_; }

 private:
  static consteval std::uint8_t checked(int v) {
    if (v < 0 || v > 255) throw "a skip-list byte must be 0-255";
    return static_cast<std::uint8_t>(v);
  }
  std::uint8_t value_;
};

// Any contiguous range of bytes: std::uint8_t, unsigned char or std::byte elements.
template <class R>
concept unsigned_byte_range = std::ranges::contiguous_range<R> && std::ranges::sized_range<R> &&
    (std::same_as<std::remove_cv_t<std::ranges::range_value_t<R> >, unsigned char> ||
     std::same_as<std::remove_cv_t<std::ranges::range_value_t<R> >, std::byte>);

// The set of byte values the encoders leave out of their input. It owns its values (a 256-bit
// set, cheap to copy), so it may be kept, returned and outlive what it was made from. Made from
// `{' ', '\n'}`, `{0x0a, 0x20}`, `{c}` for a char or byte, or any range of unsigned bytes; from
// characters only explicitly (`skip_list{std::string_view(" \n")}`), so that a literal's NUL
// never slips in. Repeats count once; an empty list behaves exactly as no list.
class skip_list {
 public:
  constexpr skip_list() noexcept = default;
  constexpr skip_list(std::initializer_list<skip_byte> values) noexcept {
    for (const skip_byte v : values) add(v.value());
  }
  template <unsigned_byte_range R>
  constexpr skip_list(const R& values) noexcept {  // NOLINT(google-explicit-constructor)
    for (const auto v : values) add(static_cast<std::uint8_t>(v));
  }
  constexpr explicit skip_list(std::string_view chars) noexcept {
    for (const char c : chars) add(static_cast<std::uint8_t>(c));
  }

  [[nodiscard]] constexpr bool contains(std::uint8_t b) const noexcept {
    return ((bits_[b >> 6] >> (b & 63U)) & 1U) != 0;
  }
  [[nodiscard]] constexpr bool empty() const noexcept {
    return (bits_[0] | bits_[1] | bits_[2] | bits_[3]) == 0;
  }
  // How many distinct values the list holds.
  [[nodiscard]] constexpr int size() const noexcept {
    return std::popcount(bits_[0]) + std::popcount(bits_[1]) + std::popcount(bits_[2]) +
           std::popcount(bits_[3]);
  }

  // Calls f(value) for each value in the list, in ascending order.
  template <class F>
  constexpr void for_each(F f) const {
    for (unsigned word = 0; word < bits_.size(); ++word) {
      for (std::uint64_t rest = bits_[word]; rest != 0; rest &= rest - 1) {
        f(static_cast<std::uint8_t>(word * 64 + static_cast<unsigned>(std::countr_zero(rest))));
      }
    }
  }

  friend constexpr bool operator==(const skip_list&, const skip_list&) = default;

 private:
  constexpr void add(std::uint8_t b) noexcept { bits_[b >> 6] |= std::uint64_t{1} << (b & 63U); }

  std::array<std::uint64_t, 4> bits_{};
};

// What stands before each row of a hex dump.
enum class row_label : std::uint8_t {
  row_number,   // "%.8d: ", the row's index: 0, 1, 2, ... (rows, not bytes)
  byte_offset,  // "%08x: ", the offset of the row's first byte, from first_offset (as xxd)
  none,
  decimal_offset,  // "%08d: ", that offset in decimal (as xxd -d)
};

// Layout of a hex dump; `hexdump_s({.char_column = false}, h)` turns one part off. The defaults
// give the classic layout, and each option below changes only what it names.
struct dump_options {
  bool row_numbers = true;  // false: no labels at all, whatever `label` says
  bool char_column = true;  // two spaces and the bytes as characters, "." if not 32-126
  row_label label = row_label::row_number;
  std::uint64_t first_offset = 0;  // the offset of the first byte, for byte_offset labels
  // A-F in the digits the dump makes from bytes (dump_writer::write_bytes); digits handed in
  // as text are copied as they are.
  bool uppercase = false;
  // A full row whose 32 digits equal those of the full row before it is left out; each run of
  // such rows becomes one line "*". The last row is always shown, so the end can be seen, and
  // a partial row never repeats. Needs labels: without them, std::invalid_argument.
  bool squeeze = false;
  // Each byte's digits and character in an SGR colour by class: NUL, printable ASCII, ASCII
  // whitespace (9-13), other ASCII, non-ASCII; one sequence per run of a class, "\x1b[39m" before
  // the plain parts. Removing every "ESC [ ... m" gives exactly the dump without colour.
  bool color = false;
};

// How each byte of a dump is written: hex (2 digits), binary (8), octal (3) or decimal (3
// digits, zero-padded: 007).
enum class dump_base : std::uint8_t { hex, binary, octal, decimal };

// The order of the bytes of a group: as they come, or last first, as a little-endian word is
// read (xxd -e).
enum class byte_order : std::uint8_t { big, little };

// How the character column shows bytes: ASCII 32-126 as themselves, or EBCDIC letters, digits
// and punctuation as xxd -E shows them; every other byte as ".".
enum class char_table : std::uint8_t { ascii, ebcdic };

// How a row is framed: "LABEL: " before the digits and two spaces before the characters, or as
// hexdump -C ("%08x  " before, an extra space after every 8 bytes, the characters between '|',
// and a last line with the offset where the bytes end).
enum class dump_style : std::uint8_t { classic, canonical };

// A dump layout: one value, checked when it is built, then passed to hexdump_s, dump_writer and
// dump_reader. Copying it is cheap; its fields are read through accessors, so that later fields
// leave its size and the library's binary interface as they are.
//
//   auto layout =
//   mivo::dump_layout::builder(mivo::dump_layout::xxd()).columns(32).group(4).build();
//   mivo::hexdump_s(layout, h);
//
// classic() is the dump of dump_options{}; xxd() is `xxd`'s (what dump_options{.label =
// row_label::byte_offset} gives) and canonical() is `hexdump -C`'s. There is no default
// constructor, so that `{}` in a call still means dump_options{}.
class MIVO_API dump_layout {
 public:
  class builder;

  // The layout that `options` describe, exactly as they described it before layouts existed.
  dump_layout(const dump_options& options);  // NOLINT(google-explicit-constructor)

  static dump_layout classic();
  static dump_layout xxd();
  static dump_layout canonical();

  // Bytes in a row, 1-256 (16).
  [[nodiscard]] std::size_t columns() const noexcept;
  // Bytes in a group, split from the next by a space; groups run to the row's end, the last
  // one shorter when `columns` is not a multiple. 1 up to `columns`; 0 and `columns` both mean
  // one group, no spaces (2).
  [[nodiscard]] std::size_t group() const noexcept;
  [[nodiscard]] byte_order order() const noexcept;
  [[nodiscard]] dump_base base() const noexcept;
  // Labels: row numbers ("%.8d: ", 0, 1, 2, ...), byte offsets in hex ("%08x: ") or in
  // decimal ("%08d: ", as xxd -d), or none.
  [[nodiscard]] row_label label() const noexcept;
  // The offset of the first byte, as dump_options::first_offset; with offset labels it is
  // where the bytes are, and read back as such.
  [[nodiscard]] std::uint64_t first_offset() const noexcept;
  // Added to every offset label but not to where the bytes are (xxd -o): a reader takes it
  // off again.
  [[nodiscard]] std::uint64_t displacement() const noexcept;
  [[nodiscard]] bool char_column() const noexcept;
  [[nodiscard]] char_table table() const noexcept;
  [[nodiscard]] dump_style style() const noexcept;
  [[nodiscard]] bool uppercase() const noexcept;
  [[nodiscard]] bool squeeze() const noexcept;
  [[nodiscard]] bool color() const noexcept;

  // Whether labels stand before the rows, and whether they are byte offsets.
  [[nodiscard]] bool labelled() const noexcept;
  [[nodiscard]] bool offset_labels() const noexcept;

  friend MIVO_API bool operator==(const dump_layout& a, const dump_layout& b) noexcept;

 private:
  struct fields;
  explicit dump_layout(std::shared_ptr<const fields> f) noexcept;
  std::shared_ptr<const fields> fields_;
};

// Builds a layout from another (the classic one by default), field by field. build() checks
// the whole and throws std::invalid_argument naming the field at fault: "Mivo.dump_layout:
// columns must be 1-256", a group longer than the row, squeeze without labels, a first offset
// and displacement whose sum passes 2^64 - 1.
class MIVO_API dump_layout::builder {
 public:
  builder();
  explicit builder(const dump_layout& from);
  builder(const builder& other);
  builder& operator=(const builder& other);
  ~builder();

  builder& columns(std::size_t n);
  builder& group(std::size_t n);
  builder& order(byte_order o);
  builder& base(dump_base b);
  builder& label(row_label l);
  builder& first_offset(std::uint64_t offset);
  builder& displacement(std::uint64_t d);
  builder& char_column(bool on);
  builder& table(char_table t);
  builder& style(dump_style s);
  builder& uppercase(bool on);
  builder& squeeze(bool on);
  builder& color(bool on);

  [[nodiscard]] dump_layout build() const;

 private:
  std::unique_ptr<fields> fields_;
};

// Any contiguous range of one-byte elements: std::uint8_t, unsigned char, char or std::byte.
// A built-in char array is left out, since a string literal would bring its NUL along.
template <class R>
concept byte_range =
    std::ranges::contiguous_range<R> && std::ranges::sized_range<R> &&
        sizeof(std::ranges::range_value_t<R>) == 1 &&
    (std::integral<std::ranges::range_value_t<R> > ||
     std::same_as<std::remove_cv_t<std::ranges::range_value_t<R> >, std::byte>)&&!std::
        same_as<std::remove_cv_t<std::ranges::range_value_t<R> >, bool> &&
    !(std::is_array_v<std::remove_cvref_t<R> > &&
      std::same_as<std::remove_cv_t<std::ranges::range_value_t<R> >, char>);

// The bytes of a byte range, viewed as std::uint8_t.
template <byte_range R>
[[nodiscard]] std::span<const std::uint8_t> as_bytes(const R& r) noexcept {
  return {reinterpret_cast<const std::uint8_t*>(std::ranges::data(r)), std::ranges::size(r)};
}

// The two lowercase digits of `c`, high nibble first: of_char(0xa5) == {'a', '5'}.
[[nodiscard]] MIVO_API std::pair<char, char> of_char(std::uint8_t c) noexcept;

// The byte whose high digit is `x` and low digit `y`; digits 0-9, a-f and A-F are accepted.
// Throws std::invalid_argument "Mivo.to_char: N is an invalid char" naming the rejected byte,
// judging `y` before `x`.
[[nodiscard]] MIVO_API std::uint8_t to_char(char x, char y);

// Two digits per byte of `s`, in order; bytes listed in `skip` contribute nothing. Never fails
// but for memory.
[[nodiscard]] MIVO_API hex_text of_string(std::string_view s);
[[nodiscard]] MIVO_API hex_text of_string(skip_list skip, std::string_view s);

// The bytes that `h` encodes. Pairs are judged left to right and the first bad one throws
// std::invalid_argument naming its rejected byte ("Mivo.to_char: ..."); only when every complete
// pair is valid does an odd length throw "Hex conversion: ...". Separators are not skipped.
[[nodiscard]] MIVO_API std::string to_string(const hex_text& h);

// As of_string, for a byte buffer: any contiguous range of one-byte elements.
[[nodiscard]] MIVO_API hex_text of_bytes(std::span<const std::uint8_t> b);
[[nodiscard]] MIVO_API hex_text of_bytes(skip_list skip, std::span<const std::uint8_t> b);
template <byte_range R>
[[nodiscard]] hex_text of_bytes(const R& b) {
  return of_bytes(mivo::as_bytes(b));
}
template <byte_range R>
[[nodiscard]] hex_text of_bytes(skip_list skip, const R& b) {
  return of_bytes(skip, mivo::as_bytes(b));
}

// As to_string, into a byte buffer.
[[nodiscard]] MIVO_API std::vector<std::uint8_t> to_bytes(const hex_text& h);

// As of_string, for the bytes of a slice. A slice that reaches past its buffer throws
// std::out_of_range before anything is read or allocated.
[[nodiscard]] MIVO_API hex_text of_cstruct(const cstruct& cs);
[[nodiscard]] MIVO_API hex_text of_cstruct(skip_list skip, const cstruct& cs);

// As to_string, into a fresh slice of its own buffer. An empty text gives the one shared empty
// slice, the same on every call.
[[nodiscard]] MIVO_API cstruct to_cstruct(const hex_text& h);

// As of_string, for all `dim()` bytes of an array.
[[nodiscard]] MIVO_API hex_text of_bigstring(const bigstring& bs);
[[nodiscard]] MIVO_API hex_text of_bigstring(skip_list skip, const bigstring& bs);

// As to_string, into a fresh array. An empty text gives the shared empty slice's buffer.
[[nodiscard]] MIVO_API bigstring to_bigstring(const hex_text& h);

// The hex dump of `h`: rows of 32 digits (16 bytes) in space-separated groups of 4, the last
// row padded to the full 39 columns, each row ending in "\n"; an empty text gives "". Digits
// are copied unchanged. With the character column on, each complete pair is decoded and a bad
// one throws as to_char does; with it off any text dumps. Options that cannot be honoured
// (squeeze without labels) throw std::invalid_argument.
//
// Any other layout takes the same steps, its rows as the layout says. Where a layout shows
// bytes other than as the hex digits themselves (binary, octal, decimal), every pair must be
// valid and the text whole: a bad pair or a lone last digit throws as to_string does.
[[nodiscard]] MIVO_API std::string hexdump_s(const hex_text& h);
[[nodiscard]] MIVO_API std::string hexdump_s(const dump_layout& layout, const hex_text& h);
[[nodiscard]] inline std::string hexdump_s(dump_options options, const hex_text& h) {
  return hexdump_s(dump_layout(options), h);
}

// The digits of `in` (two per byte, bytes listed in `skip` left out) into the start of `out`;
// returns how many it stored. When `out` holds fewer than that, throws std::length_error
// before storing anything (and, without a skip list, before reading anything). Allocates
// nothing; `out` beyond the returned count is left as it was.
//
// `in` may overlap `out` in one way only: lying at its end, in.data() == out.data() + in.size(),
// as when a buffer grows into its own digits. Any other overlap is undefined.
std::size_t encode_into(std::span<char> out, std::span<const std::uint8_t> in);
MIVO_API std::size_t encode_into(std::span<char> out, skip_list skip,
                                 std::span<const std::uint8_t> in);
std::size_t encode_into(std::span<char> out, std::string_view in);
MIVO_API std::size_t encode_into(std::span<char> out, skip_list skip, std::string_view in);

// The digits of `in` into the start of `out` in lines of `width` characters, each ended by
// "\n", as `xxd -p` lays out width 60; returns how many characters it stored:
// in.size() * 2 + in.size() / (width / 2). `width` must be even and nonzero and `in` must fill
// whole lines, else std::invalid_argument; when `out` is too small, std::length_error. Either
// is thrown before anything is stored. `in` and `out` must not overlap.
MIVO_API std::size_t encode_lines_into(std::span<char> out, std::span<const std::uint8_t> in,
                                       std::size_t width);

// The bytes of `text` into the start of `out`; returns text.size() / 2. Throws
// std::length_error, storing nothing, when `out` is shorter than that. Judges pairs exactly as
// to_string does and throws the same decode_error; the bytes of every pair before the rejected
// one are stored by then (position() / 2 bytes; for an odd length, all of them), and nothing
// after them. Allocates nothing on success.
//
// Decoding in place is allowed: `out` may start where `text` starts (out.data() ==
// text.data()). Any other overlap is undefined.
//
// Secrets: encode_into without a skip list, and decode_into, take time that depends only on
// the sizes and, for decode_into, on whether the text is valid and where its first bad pair is:
// on every kernel, tails included, no branch and no memory index depends on a digit's value.
// An invalid text reveals where its first bad pair is and which of its characters is rejected
// (the exception names them), and nothing about the digits. Not covered: the skip-list forms,
// encode_lines_into, the one-shot forms (of_*, to_*), to_char, mivo::hex and the dump.
std::size_t decode_into(std::span<std::uint8_t> out, std::string_view text);
std::size_t decode_into(std::span<char> out, std::string_view text);

// Digests and keys (16, 32, 48 or 64 bytes) are encoded and decoded right here, without a call
// into the library or its kernel dispatch: SSE2 is part of every x86-64. Anything else, and any
// text with a non-digit, goes to the library, which judges it.
namespace detail {

MIVO_API std::size_t encode_into_library(std::span<char> out, std::span<const std::uint8_t> in);
MIVO_API std::size_t decode_into_library(std::span<std::uint8_t> out, std::string_view text);

// The one place where a value computed from secret bytes is made public: whether a text was
// valid, which decides between returning and throwing. Under the constant-time test it tells
// valgrind so; otherwise it is nothing.
inline bool declassify(bool secret) noexcept {
#if defined(MIVO_CHECK_CONSTANT_TIME)
  VALGRIND_MAKE_MEM_DEFINED(&secret, sizeof secret);
#endif
  return secret;
}

inline constexpr std::size_t inline_block = 16;  // bytes
inline constexpr std::size_t inline_max = 64;

#if defined(__SSE2__)
// The digits of a nibble in each byte lane: '0' + v, and 39 more from 10 up.
inline __m128i sse2_digits(__m128i nibbles) noexcept {
  const __m128i letters =
      _mm_and_si128(_mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9)), _mm_set1_epi8('a' - '0' - 10));
  return _mm_add_epi8(_mm_add_epi8(nibbles, _mm_set1_epi8('0')), letters);
}

inline void sse2_encode16(const std::uint8_t* in, char* out) noexcept {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i low_nibble = _mm_set1_epi8(0x0f);
  const __m128i high = sse2_digits(_mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble));
  const __m128i low = sse2_digits(_mm_and_si128(bytes, low_nibble));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(high, low));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(high, low));
}

// The values of 16 digit characters, and in `valid` all ones where a character is a digit.
inline __m128i sse2_values(__m128i chars, __m128i& valid) noexcept {
  const __m128i decimal = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
  const __m128i letter = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i is_decimal = _mm_cmpeq_epi8(_mm_min_epu8(decimal, _mm_set1_epi8(9)), decimal);
  const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
  valid = _mm_or_si128(is_decimal, is_letter);
  return _mm_or_si128(_mm_and_si128(is_decimal, decimal),
                      _mm_and_si128(is_letter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
}

// The 16 bytes of 32 digits into out; false if any is not a digit.
inline bool sse2_decode32(const char* in, std::uint8_t* out) noexcept {
  __m128i valid_first;
  __m128i valid_second;
  const __m128i first =
      sse2_values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), valid_first);
  const __m128i second =
      sse2_values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), valid_second);
  // Each 16-bit lane holds a pair, its high digit in the low byte.
  const auto pack = [](__m128i pairs) {
    const __m128i high = _mm_slli_epi16(_mm_and_si128(pairs, _mm_set1_epi16(0x00ff)), 4);
    return _mm_or_si128(high, _mm_srli_epi16(pairs, 8));
  };
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(pack(first), pack(second)));
  return _mm_movemask_epi8(_mm_and_si128(valid_first, valid_second)) == 0xffff;
}
#endif

}  // namespace detail

inline std::size_t encode_into(std::span<char> out, std::span<const std::uint8_t> in) {
#if defined(__SSE2__)
  const std::size_t n = in.size();
  if (n <= detail::inline_max && n % detail::inline_block == 0 && out.size() / 2 >= n) {
    for (std::size_t i = 0; i < n; i += detail::inline_block) {
      detail::sse2_encode16(in.data() + i, out.data() + 2 * i);
    }
    return 2 * n;
  }
#endif
  return detail::encode_into_library(out, in);
}

inline std::size_t encode_into(std::span<char> out, std::string_view in) {
  return encode_into(out, std::span(reinterpret_cast<const std::uint8_t*>(in.data()), in.size()));
}

inline std::size_t decode_into(std::span<std::uint8_t> out, std::string_view text) {
#if defined(__SSE2__)
  const std::size_t n = text.size() / 2;
  if (n <= detail::inline_max && text.size() % (2 * detail::inline_block) == 0 && out.size() >= n) {
    // Decoded onto the stack and stored only when every block is valid: out may be the text
    // itself, and a bad digit is the library's to judge.
    std::array<std::uint8_t, detail::inline_max>
        bytes;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    bool valid = true;
    for (std::size_t i = 0; i < n; i += detail::inline_block) {
      valid &= detail::sse2_decode32(text.data() + 2 * i, bytes.data() + i);
    }
    if (detail::declassify(valid)) {
      for (std::size_t i = 0; i < n; i += detail::inline_block) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.data() + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i)));
      }
      return n;
    }
  }
#endif
  return detail::decode_into_library(out, text);
}

inline std::size_t decode_into(std::span<char> out, std::string_view text) {
  return decode_into(std::span(reinterpret_cast<std::uint8_t*>(out.data()), out.size()), text);
}

// Hex as people write it: "de:ad:be:ef", "0xde, 0xad", "\\xde\\xad", "dead beef". The digits
// of each byte follow `byte_prefix`; groups of bytes are led by `group_prefix` and split by
// `separator`. `bytes_per_separator` sizes the groups as Python's bytes.hex(sep, bytes_per_sep)
// does: a positive count groups from the end (01:0203 for three bytes and 2), a negative one
// from the start (0102:03), and 0 makes one group. Wherever Python can say the same, the text
// is bytes.hex's, byte for byte.
struct text_form {
  std::string_view separator = {};
  int bytes_per_separator = 1;
  std::string_view byte_prefix = {};
  std::string_view group_prefix = {};
  bool uppercase = false;  // A-F
};

// How many characters the text of n bytes takes; std::length_error when that does not fit.
[[nodiscard]] MIVO_API std::size_t text_size(std::size_t n, const text_form& form);
[[nodiscard]] MIVO_API std::string encode_text(std::span<const std::uint8_t> bytes,
                                               const text_form& form);
// Into the start of `out`; returns text_size(). A short `out` throws std::length_error before
// anything is stored. Allocates nothing.
MIVO_API std::size_t encode_text_into(std::span<char> out, std::span<const std::uint8_t> bytes,
                                      const text_form& form);

// How decode_text reads such text: the characters of `ignore` are passed over anywhere, and
// `prefix` where it stands right before a pair ("0x" in "0xde 0xad" or in "0xdead"). A prefix
// is passed over once there, so "0x0x12" fails at its 'x' (position 3), and one that nothing
// follows, or that a character of `ignore` follows, is read as digits.
struct text_reading {
  std::string_view ignore = {};
  std::string_view prefix = {};
};

// The bytes of `text`. Fails as to_string fails, with the same decode_error, its position
// counted over the whole text: the first bad pair (its second character judged first), else a
// lone last digit.
[[nodiscard]] MIVO_API std::string decode_text(std::string_view text, const text_reading& reading);
// Into the start of `out`; returns how many bytes it stored. An `out` shorter than the bytes
// the text holds throws std::length_error, storing nothing (one shorter than text.size() / 2
// costs a first pass to count them). On a failure the bytes before the bad pair are stored.
// Allocates nothing.
MIVO_API std::size_t decode_text_into(std::span<std::uint8_t> out, std::string_view text,
                                      const text_reading& reading);

// An incremental hex dump onto a stream. For any split of a text T into write_text calls
// followed by finish(), the stream receives exactly hexdump_s(options, hex_text{T});
// write_bytes(b) counts as writing the digits of b, and the two may be mixed. Each call hands
// the stream every row it completes, in large writes; finish() writes the last, partial row.
// Memory stays bounded by one row and a fixed block whatever the input.
//
// With the character column on, the first complete pair holding a non-digit throws
// decode_error (position() counted over all digits written) from the call that completes it,
// after every earlier row has been written and nothing of its own row. The writer is then
// spent: later calls throw std::logic_error and the destructor writes nothing. So do calls
// after an exception from the stream. write_* after finish() throws std::logic_error; finish()
// again does nothing. The destructor finishes an unfinished writer, swallowing any error.
//
// The writer checks the stream after each write: a stream that fails without throwing (a full
// disk, with exceptions off) makes the call throw std::ios_base::failure, and spends the
// writer, so no output is lost unnoticed.
//
// write_zeros(n) counts as write_bytes of n zero bytes. With squeeze on, a long run of them is
// passed over in constant time once it is squeezed, so a sparse file's holes cost nothing.
//
// Every byte must have an offset (first_offset + its index, with byte_offset labels; else its
// index) whose end fits in 64 bits, so that each label reads back: a call that would pass
// 2^64 - 1 throws std::out_of_range before writing anything of its own, and so does hexdump_s.
class MIVO_API dump_writer {
 public:
  explicit dump_writer(std::ostream& out);
  dump_writer(const dump_layout& layout, std::ostream& out);
  dump_writer(dump_options options, std::ostream& out) : dump_writer(dump_layout(options), out) {}
  dump_writer(const dump_writer&) = delete;
  dump_writer& operator=(const dump_writer&) = delete;
  ~dump_writer();

  void write_text(std::string_view digits);
  void write_bytes(std::span<const std::uint8_t> bytes);
  void write_zeros(std::uint64_t count);
  void finish();

 private:
  struct state;
  std::unique_ptr<state> state_;
};

// An incremental decoder onto a stream, the counterpart of dump_writer. For any split of a text
// T into write_text calls followed by finish(), the stream receives exactly the bytes that
// to_string gives for T without the bytes listed in `skip` (none by default). Pairs are judged
// as to_string judges them, also across calls; each call hands the stream the bytes it
// decoded, and memory stays bounded by a fixed block whatever the input.
//
// A bad character throws decode_error from the call that brings it, position() counted over
// all of T (skipped bytes included), after the bytes of every pair before it have been
// written and nothing after. A lone last digit throws the odd-length decode_error from
// finish(), naming its position. After a failure, or an exception from the stream, the writer
// is spent: later calls throw std::logic_error. write_text after finish() throws
// std::logic_error; finish() again does nothing. A stream that fails without throwing makes the
// call throw std::ios_base::failure. The destructor finishes an unfinished writer, swallowing
// any error. An empty piece, whatever its data pointer, changes nothing.
class MIVO_API decode_writer {
 public:
  explicit decode_writer(std::ostream& out);
  decode_writer(skip_list skip, std::ostream& out);
  // As decode_text reads: `skip` passed over anywhere, `prefix` right before a pair, also when
  // a call ends inside it.
  decode_writer(skip_list skip, std::string_view prefix, std::ostream& out);
  decode_writer(const decode_writer&) = delete;
  decode_writer& operator=(const decode_writer&) = delete;
  ~decode_writer();

  void write_text(std::string_view text);
  void finish();

 private:
  struct state;
  std::unique_ptr<state> state_;
};

// A failure to read a dump back: what() is "line N: column C: REASON", the line and column
// (both from 1, columns counted in bytes) of the character at fault; position() counts bytes
// from the start of the text. A bad digit's REASON is to_char's message.
class MIVO_API dump_error : public decode_error {
 public:
  dump_error(const std::string& reason, std::uint64_t line, std::uint64_t column,
             std::size_t position);
  dump_error(const dump_error&) noexcept = default;
  dump_error& operator=(const dump_error&) noexcept = default;
  ~dump_error() override;

  [[nodiscard]] std::uint64_t line() const noexcept { return line_; }
  [[nodiscard]] std::uint64_t column() const noexcept { return column_; }
  [[nodiscard]] const char* reason() const noexcept;

 private:
  std::uint64_t line_;
  std::uint64_t column_;
  std::size_t reason_start_;
};

// Reads a hex dump back into bytes, the inverse of dump_writer: for every input x and every
// `layout`, the text of hexdump_s(layout, x) read with the same layout yields exactly x. Only
// the labels must be known (row_numbers and label; first_offset where rows have no labels); the
// character column, squeezing, colour and case are read whatever they are.
//
// A line is a row: its label ("N: ", with labels), then digits in groups split by single
// spaces, up to two spaces running or the end of the line. The rest of the line is the
// character column and is ignored, so edits there change nothing. A row may hold any number
// of whole bytes (pairs may straddle a space). A row number n places the row at byte 16n, a
// byte offset (hex, either case) at itself; unlabelled rows follow one another from
// first_offset. A line "*" repeats the row before it, byte after byte, up to the next row's
// place; it needs labels, and repeats a row of at most 65536 bytes. Empty lines and SGR
// sequences (ESC [ ... m) are passed over anywhere; a line may end in "\r\n", and the last
// line needs no line feed.
//
// Bytes go to `to` as (offset, bytes) in the order the rows give them; consecutive rows come
// together, up to a fixed block at a time, so memory stays bounded whatever the input. The
// span lives for the call only. With `forward_only`, a row placed before the end of the rows
// before it is an error (as for output that cannot seek). Given a `repeats` sink, a '*' line
// goes to it as one call (from, to, row) instead of as bytes: the row again and again from
// `from` up to `to`, starting at `from`. Reading then costs time in proportion to the text,
// whatever span a '*' claims.
//
// A malformed line throws dump_error from the call that brings its fault, after every row
// before that line has gone to `to`, and nothing of its own row: a non-digit in the digits, an
// odd number of digits in a row, a label that does not parse or whose place does not fit 64
// bits. The reader's life is dump_writer's: after a failure, or an exception from `to`, it is
// spent and later calls throw std::logic_error; write_text after finish() throws
// std::logic_error, finish() again does nothing, and the destructor finishes quietly.
class MIVO_API dump_reader {
 public:
  using sink = std::function<void(std::uint64_t offset, std::span<const std::uint8_t> bytes)>;
  using repeat_sink =
      std::function<void(std::uint64_t from, std::uint64_t to, std::span<const std::uint8_t> row)>;

  dump_reader(const dump_layout& layout, sink to, bool forward_only = false);
  dump_reader(const dump_layout& layout, sink to, repeat_sink repeats, bool forward_only = false);
  dump_reader(dump_options layout, sink to, bool forward_only = false)
      : dump_reader(dump_layout(layout), std::move(to), forward_only) {}
  dump_reader(dump_options layout, sink to, repeat_sink repeats, bool forward_only = false)
      : dump_reader(dump_layout(layout), std::move(to), std::move(repeats), forward_only) {}
  dump_reader(const dump_reader&) = delete;
  dump_reader& operator=(const dump_reader&) = delete;
  ~dump_reader();

  void write_text(std::string_view text);
  void finish();

  // The line and column (from 1) of the next character to come: where an input that starts
  // now begins, to name a fault's place in it.
  [[nodiscard]] std::uint64_t line() const noexcept;
  [[nodiscard]] std::uint64_t column() const noexcept;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

// A search pattern that does not parse: what() is "column C: REASON", the column (from 1) of
// the character at fault, or of the end for a pattern that stops short.
class MIVO_API pattern_error : public std::invalid_argument {
 public:
  pattern_error(const std::string& reason, std::size_t column);
  pattern_error(const pattern_error&) noexcept = default;
  pattern_error& operator=(const pattern_error&) noexcept = default;
  ~pattern_error() override;

  [[nodiscard]] std::size_t column() const noexcept { return column_; }

 private:
  std::size_t column_;
};

// Bytes to look for: each one fixed, any byte, or an ASCII letter in either case.
class MIVO_API byte_pattern {
 public:
  // Pairs of hex digits (either case), with spaces or tabs between pairs; "??" is any byte:
  // "4d 5a ?? 00". Throws pattern_error for an empty pattern, a bad character ("invalid
  // digit"), a '?' without its pair ("lone '?'") or an odd number of digits.
  static byte_pattern from_hex(std::string_view text);
  // The bytes of `text` as they are; with `ignore_case`, ASCII letters match either case.
  // Throws pattern_error for an empty text.
  static byte_pattern from_text(std::string_view text, bool ignore_case = false);

  [[nodiscard]] std::size_t size() const noexcept { return value_.size(); }
  // Whether the size() bytes at p match.
  [[nodiscard]] bool matches(const std::uint8_t* p) const noexcept;
  // Whether a run of zero bytes can hold a match (no fixed byte is other than zero).
  [[nodiscard]] bool matches_zeros() const noexcept;

 private:
  byte_pattern() = default;
  friend class searcher;
  std::vector<std::uint8_t> value_;
  std::vector<std::uint8_t> mask_;  // 0xff fixed, 0 any, 0xdf a letter in either case
};

// Reads back a C array as `mivo encode -i` and `xxd -i` write it:
//   unsigned char NAME[] = {
//     0x01, 0x02, 0x03
//   };
//   unsigned int NAME_len = 3;
// or its lines of bytes alone ("  0x01, 0x02, 0x03"). Bytes are 0x (or 0X) and one or two hex
// digits; whitespace and line ends (CRLF too) may stand between any two tokens, a comma may
// follow the last byte, and the length line may be left out but, when given, must name NAME_len
// and the array's length. The bytes go to `to` in order, a block at a time.
//
// Anything else throws dump_error naming the line and column (from 1) of the token at fault,
// after every byte before it has gone to `to`. The reader's life is dump_reader's.
class MIVO_API c_array_reader {
 public:
  using sink = std::function<void(std::span<const std::uint8_t> bytes)>;

  explicit c_array_reader(sink to);
  c_array_reader(const c_array_reader&) = delete;
  c_array_reader& operator=(const c_array_reader&) = delete;
  ~c_array_reader();

  void write_text(std::string_view text);
  void finish();
  // The line and column (from 1) of the next character to come.
  [[nodiscard]] std::uint64_t line() const noexcept;
  [[nodiscard]] std::uint64_t column() const noexcept;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

// Finds every match of a pattern, overlapping ones too, in a stream handed over in pieces of any
// size; a match split between pieces is found. The offset of each match's first byte, counted
// over the whole stream, goes to `found` in increasing order; once `found` returns false the
// search has stopped and later pieces are passed over. Memory stays bounded by the pattern.
class MIVO_API searcher {
 public:
  using sink = std::function<bool(std::uint64_t offset)>;

  searcher(byte_pattern pattern, sink found);
  searcher(const searcher&) = delete;
  searcher& operator=(const searcher&) = delete;
  ~searcher();

  void write(std::span<const std::uint8_t> bytes);
  // `count` zero bytes: in constant time where the pattern cannot match zeros, so a sparse
  // file's holes cost nothing.
  void write_zeros(std::uint64_t count);
  [[nodiscard]] bool stopped() const noexcept;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

// How a run of a byte diff stands.
enum class diff_kind : std::uint8_t {
  equal,     // the same bytes on both sides
  changed,   // as many bytes on each side, replaced one for one
  deleted,   // bytes of the first side only
  inserted,  // bytes of the second side only
};

// A run of a byte diff: `first` stands at offset1 of the first input, `second` at offset2 of the
// second. A deleted run has an empty `second`, an inserted one an empty `first`; offsets are
// those the run has (or would have) on each side. The spans live for the call only.
struct diff_run {
  diff_kind kind = diff_kind::equal;
  std::uint64_t offset1 = 0;
  std::uint64_t offset2 = 0;
  std::span<const std::uint8_t> first;
  std::span<const std::uint8_t> second;
};

// Compares two inputs byte by byte as `diff` compares lines: a run inserted or deleted shifts
// nothing after it. Runs go to `to` in order, covering both inputs from start to end; a long
// run may come as several consecutive runs of its kind. Once `to` returns false the diff stops.
// Returns whether the inputs differ (as far as they were compared).
//
// The alignment is exact for edits far apart: after a difference, the two inputs are joined
// again where 16 bytes agree at the least combined distance (a rolling hash, as rsync finds
// blocks), and the bytes in between are aligned by Myers' O(ND) diff when few edits explain
// them. Runs of fewer than 8 equal bytes between edits count as changed, so bytes replaced by
// random ones stay one changed run. A gap that no 16 agreeing bytes close within 4 MiB of each
// side is reported as changed, 4 MiB at a time, so time stays linear and memory bounded
// (about 24 MiB) whatever the inputs.
//
// A source fills the span it is given from the start and returns how many bytes it stored, 0
// at the end; what it throws leaves diff.
using diff_source = std::function<std::size_t(std::span<std::uint8_t> into)>;
using diff_sink = std::function<bool(const diff_run& run)>;
MIVO_API bool diff(const diff_source& first, const diff_source& second, const diff_sink& to);
MIVO_API bool diff(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second,
                   const diff_sink& to);

// Writes hexdump_s(...) to std::cout in one write, without flushing; on failure writes nothing.
MIVO_API void hexdump(const hex_text& h);
MIVO_API void hexdump(const dump_layout& layout, const hex_text& h);
inline void hexdump(dump_options options, const hex_text& h) { hexdump(dump_layout(options), h); }

// Writes the digit text to `out` as one plain string: no quotes, no padding, no line break, no
// flush.
MIVO_API void pp(std::ostream& out, const hex_text& h);
// A formatted insertion exactly as of a std::string: width, fill and adjustment apply, and the
// width is reset to 0.
MIVO_API std::ostream& operator<<(std::ostream& out, const hex_text& h);

// The digit text itself: the very string `h` holds, not a copy.
[[nodiscard]] MIVO_API const std::string& show(const hex_text& h) noexcept;
// A temporary's text is moved out, so `show(of_string(s))` cannot dangle.
[[nodiscard]] MIVO_API std::string show(hex_text&& h) noexcept;
// A const temporary can be neither moved from nor safely referred to.
std::string show(const hex_text&& h) = delete;

// Bytes shown as hex where text goes, without building a string: `out << mivo::hex(digest)`,
// or with <mivo_fmt.hpp> `fmt::format("{}", mivo::hex(digest))`. It views the bytes, so it
// must not outlive them. Width, fill and adjustment apply as to a string; std::uppercase (or
// "{:X}") gives A-F. Nothing is allocated.
class hex_view {
 public:
  constexpr explicit hex_view(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}
  [[nodiscard]] constexpr std::span<const std::uint8_t> bytes() const noexcept { return bytes_; }
  // How many digits it shows.
  [[nodiscard]] constexpr std::size_t size() const noexcept { return 2 * bytes_.size(); }

  // Calls sink(const char* digits, std::size_t count) for its digits in order, a few hundred at
  // a time from a buffer on the stack.
  template <class Sink>
  void write_to(Sink sink, bool uppercase = false) const {
    std::array<char, 2 * piece_bytes> digits;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    for (std::size_t done = 0; done < bytes_.size(); done += piece_bytes) {
      const auto piece = bytes_.subspan(done, std::min(piece_bytes, bytes_.size() - done));
      const std::size_t n =
          uppercase ? encode_upper_into(digits, piece) : encode_into(digits, piece);
      sink(digits.data(), n);
    }
  }

 private:
  static constexpr std::size_t piece_bytes = 256;
  MIVO_API static std::size_t encode_upper_into(std::span<char> out,
                                                std::span<const std::uint8_t> in) noexcept;
  MIVO_API static std::size_t encode_into(std::span<char> out,
                                          std::span<const std::uint8_t> in) noexcept;
  std::span<const std::uint8_t> bytes_;
};

template <byte_range R>
[[nodiscard]] hex_view hex(const R& bytes) noexcept {
  return hex_view(mivo::as_bytes(bytes));
}

MIVO_API std::ostream& operator<<(std::ostream& out, hex_view h);

// Fixed-size data at compile time. encode_array gives the lowercase digits of N bytes;
// decode_array the bytes of 2N digits (0-9, a-f, A-F), judged as to_string judges them: at run
// time a bad digit throws decode_error, in a constant expression it does not compile.
namespace detail {

inline constexpr std::array<char, 16> constexpr_digits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                          '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};

// The value of a digit character, or -1.
constexpr int digit_of(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The index of the first character to_string would reject (the second of a pair first), or
// `size` when every complete pair is valid.
constexpr std::size_t first_rejected(const char* text, std::size_t size) noexcept {
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    if (digit_of(text[i + 1]) < 0) return i + 1;
    if (digit_of(text[i]) < 0) return i;
  }
  return size;
}

[[noreturn]] MIVO_API void throw_invalid_char(char c, std::size_t position);

}  // namespace detail

template <std::size_t N>
[[nodiscard]] constexpr std::array<char, 2 * N> encode_array(
    const std::array<std::uint8_t, N>& bytes) noexcept {
  std::array<char, 2 * N> digits{};
  for (std::size_t i = 0; i < N; ++i) {
    digits[2 * i] = detail::constexpr_digits[bytes[i] >> 4];
    digits[2 * i + 1] = detail::constexpr_digits[bytes[i] & 15U];
  }
  return digits;
}

template <std::size_t N>
requires(N % 2 == 0) [[nodiscard]] constexpr std::array<std::uint8_t, N / 2> decode_array(
    const std::array<char, N>& digits) {
  const std::size_t bad = detail::first_rejected(digits.data(), N);
  if (bad < N) detail::throw_invalid_char(digits[bad], bad);
  std::array<std::uint8_t, N / 2> bytes{};
  for (std::size_t i = 0; i < N / 2; ++i) {
    bytes[i] = static_cast<std::uint8_t>(detail::digit_of(digits[2 * i]) << 4 |
                                         detail::digit_of(digits[2 * i + 1]));
  }
  return bytes;
}

// Hex literals, checked while compiling: `using namespace mivo::literals;` then
// `constexpr auto key = "000102ff"_hex;` is a std::array<std::uint8_t, 4>. A bad digit or an odd
// length does not compile, and the error says which, with the library's message.
namespace detail {

template <std::size_t N>
struct hex_literal {
  static constexpr std::size_t size = N - 1;  // without the terminating NUL
  std::array<char, N> chars{};
  consteval hex_literal(const char (&text)[N]) {  // NOLINT(google-explicit-constructor)
    for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
  }
};

template <char Rejected>
consteval void reject_char() {
  static_assert(Rejected != Rejected, "Mivo.to_char: the _hex literal holds an invalid char");
}

}  // namespace detail

namespace literals {

template <detail::hex_literal Text>
consteval std::array<std::uint8_t, decltype(Text)::size / 2> operator""_hex() {
  constexpr std::size_t size = decltype(Text)::size;
  constexpr std::size_t bad = detail::first_rejected(Text.chars.data(), size);
  if constexpr (bad < size) {
    detail::reject_char<Text.chars[bad]>();
    return {};
  } else if constexpr (size % 2 != 0) {
    static_assert(size % 2 == 0,
                  "Hex conversion: Hex string cannot have an odd number of characters.");
    return {};
  } else {
    std::array<char, size> digits{};
    for (std::size_t i = 0; i < size; ++i) digits[i] = Text.chars[i];
    return decode_array(digits);
  }
}

}  // namespace literals

// The name of the kernel in use ("scalar", "ssse3", "avx2", "neon"), for diagnostics. It is
// chosen once, at the first call into the library: the best one this CPU runs, unless the
// environment variable MIVO_KERNEL names another that it runs. The library cannot log, so a
// MIVO_KERNEL that is not followed shows only in kernel_request_status().
[[nodiscard]] MIVO_API std::string_view kernel_name() noexcept;

// How MIVO_KERNEL was taken when the kernel was chosen.
enum class kernel_request {
  none,         // unset or empty: the best kernel this CPU runs
  honoured,     // it names the kernel in use
  unknown,      // it names no kernel of this build; ignored
  unsupported,  // it names a kernel of this build that this CPU cannot run; ignored
};
[[nodiscard]] MIVO_API kernel_request kernel_request_status() noexcept;

}  // namespace mivo

#endif  // C++20
#endif  // MIVO_MIVO_HPP
