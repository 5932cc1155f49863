// Bytes to hex text and back: the one-shot forms for every container, the forms into a buffer,
// hex as people write it, hex_view, and the library's one way of failing.
#ifndef MIVO_MIVO_CODEC_HPP
#define MIVO_MIVO_CODEC_HPP

#include <algorithm>
#include <array>
#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <ranges>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "../mivo_cstruct.hpp"
#include "config.hpp"
#include "detail/sse2.hpp"

namespace mivo {

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
  constexpr skip_byte(char c) noexcept : value_(static_cast<std::uint8_t>(c)) {}
  constexpr skip_byte(unsigned char c) noexcept : value_(c) {}
  constexpr skip_byte(std::byte b) noexcept : value_(static_cast<std::uint8_t>(b)) {}
  // An integer must be a constant in 0-255; anything else does not compile.
  consteval skip_byte(int v) : value_(checked(v)) {}

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
  constexpr skip_list(const R& values) noexcept {
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
    std::array<std::uint8_t, detail::inline_max> bytes;
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
    std::array<char, 2 * piece_bytes> digits;
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

// The name of the kernel in use ("scalar", "ssse3", "avx2", "avx512", "neon"), for diagnostics. It
// is chosen once, at the first call into the library: the best one this CPU runs, unless the
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

#endif  // MIVO_MIVO_CODEC_HPP
