// Digit text, the encoders and decoders for strings and byte buffers, and failure reporting.
#include "codec.hpp"

#include <array>
#include <cstring>
#include <ostream>
#include <stdexcept>

#include "tables.hpp"

namespace mivo {
namespace detail {

namespace {

[[noreturn]] void invalid_char(unsigned char c, std::size_t position) {
  throw decode_error(invalid_char_message(static_cast<char>(c)), position);
}

int code(char c, std::size_t position) {
  const int value = digit_value[static_cast<unsigned char>(c)];
  if (value < 0) invalid_char(static_cast<unsigned char>(c), position);
  return value;
}

std::span<const std::uint8_t> bytes_of(std::string_view s) noexcept {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Room the skip-list kernels may write past the digits of a fresh result.
constexpr std::size_t kept_slack = 128;

}  // namespace

std::string invalid_char_message(char c) {
  return "Mivo.to_char: " + std::to_string(static_cast<unsigned char>(c)) + " is an invalid char";
}

std::size_t encoded_size(std::size_t n) {
  if (n > std::string().max_size() / 2) {
    throw std::length_error("Mivo: encoded text would be too long");
  }
  return 2 * n;
}

hex_text of_string_fast(std::span<const std::uint8_t> in) {
  hex_text h;
  overwrite_string(h.text, encoded_size(in.size()), [in](char* out) noexcept {
    active_kernel().encode(in.data(), in.size(), out);
    return true;
  });
  return h;
}

hex_text of_helper(skip_list skip, std::span<const std::uint8_t> in) {
  if (skip.empty()) return of_string_fast(in);
  // One pass into room for every byte; the rare result much shorter than that is trimmed.
  const std::size_t room = encoded_size(in.size()) + kept_slack;
  const kernel& k = active_kernel();
  const skip_tables tables = make_skip_tables(skip);
  hex_text h;
  overwrite_string_upto(h.text, room, [&](char* out) noexcept {
    return static_cast<std::size_t>(k.encode_kept(in.data(), in.size(), tables, out, out + room) -
                                    out);
  });
  if (h.text.size() < room / 2) h.text.shrink_to_fit();
  return h;
}

void throw_invalid_char(char c, std::size_t position) {
  (void)code(c, position);  // throws: c is not a digit
  throw std::logic_error("Mivo: a digit was reported bad");
}

void throw_bad_pair(const char* pair, std::size_t position) {
  (void)code(pair[1], position + 1);  // the second character is judged first
  (void)code(pair[0], position);
  throw std::logic_error("Mivo: a valid pair was reported bad");
}

void check_decoded(std::string_view digits, std::size_t first_bad_pair) {
  if (first_bad_pair < digits.size() / 2) {
    throw_bad_pair(digits.data() + 2 * first_bad_pair, 2 * first_bad_pair);
  }
  if (digits.size() % 2 != 0) {
    throw decode_error(odd_length_message, digits.size() - 1);
  }
}

}  // namespace detail

std::pair<char, char> of_char(std::uint8_t c) noexcept {
  return {detail::hex_digits[c >> 4], detail::hex_digits[c & 15U]};
}

decode_error::decode_error(const std::string& what, std::size_t position)
    : std::invalid_argument(what), position_(position) {}

decode_error::~decode_error() = default;

std::uint8_t to_char(char x, char y) {
  const int low = detail::code(y, 1);  // the second character is judged first
  const int high = detail::code(x, 0);
  return static_cast<std::uint8_t>(16 * high + low);
}

hex_text of_string(std::string_view s) { return detail::of_string_fast(detail::bytes_of(s)); }

hex_text of_string(skip_list skip, std::string_view s) {
  return detail::of_helper(skip, detail::bytes_of(s));
}

std::string to_string(const hex_text& h) {
  const std::string_view digits = h.text;
  std::string out;
  std::size_t first_bad_pair = 0;
  detail::overwrite_string(out, digits.size() / 2, [&](char* bytes) noexcept {
    first_bad_pair = detail::decode_pairs(digits, reinterpret_cast<std::uint8_t*>(bytes));
    return true;
  });
  detail::check_decoded(digits, first_bad_pair);
  return out;
}

hex_text of_bytes(std::span<const std::uint8_t> b) { return detail::of_string_fast(b); }

hex_text of_bytes(skip_list skip, std::span<const std::uint8_t> b) {
  return detail::of_helper(skip, b);
}

std::vector<std::uint8_t> to_bytes(const hex_text& h) {
  using bytes = std::vector<std::uint8_t>;
  return detail::to_helper(
      bytes{}, [](std::size_t n) { return bytes(n); }, [](bytes& b) { return b.data(); }, h);
}

std::size_t detail::encode_into_library(std::span<char> out, std::span<const std::uint8_t> in) {
  if (in.size() > out.size() / 2) throw std::length_error("Mivo.encode_into: output too small");
  detail::active_kernel().encode_secret(in.data(), in.size(), out.data());
  return 2 * in.size();
}

std::size_t encode_into(std::span<char> out, skip_list skip, std::span<const std::uint8_t> in) {
  if (skip.empty()) return encode_into(out, in);
  const detail::kernel& k = detail::active_kernel();
  const detail::skip_tables tables = detail::make_skip_tables(skip);
  const std::size_t kept = k.count_kept(in.data(), in.size(), tables);
  if (kept > out.size() / 2) throw std::length_error("Mivo.encode_into: output too small");
  k.encode_kept(in.data(), in.size(), tables, out.data(), out.data() + 2 * kept);
  return 2 * kept;
}

std::size_t encode_lines_into(std::span<char> out, std::span<const std::uint8_t> in,
                              std::size_t width) {
  if (width == 0 || width % 2 != 0) {
    throw std::invalid_argument("Mivo.encode_lines_into: width must be even and nonzero");
  }
  const std::size_t line_bytes = width / 2;
  if (in.size() % line_bytes != 0) {
    throw std::invalid_argument("Mivo.encode_lines_into: input must fill whole lines");
  }
  const std::size_t lines = in.size() / line_bytes;
  if (in.size() > out.size() / 2 || lines > out.size() - 2 * in.size()) {
    throw std::length_error("Mivo.encode_lines_into: output too small");
  }
  detail::active_kernel().encode_lines(in.data(), lines, line_bytes, out.data());
  return 2 * in.size() + lines;
}

std::size_t encode_into(std::span<char> out, skip_list skip, std::string_view in) {
  return encode_into(out, skip, detail::bytes_of(in));
}

namespace {

// The first bad pair of `pairs` pairs that hold one, found by asking the constant-time decoder
// whether ever shorter prefixes are valid: the answers tell where that pair is, nothing else.
std::size_t first_bad_pair(const detail::kernel& k, const char* text, std::size_t pairs,
                           std::uint8_t* scratch) noexcept {
  std::size_t valid = 0;    // a prefix known to be valid
  std::size_t bad = pairs;  // a prefix known to be invalid
  while (bad - valid > 1) {
    const std::size_t middle = valid + (bad - valid) / 2;
    (detail::declassify(k.decode_secret(text, middle, scratch)) ? valid : bad) = middle;
  }
  return valid;
}

// Throws for a bad pair as throw_bad_pair does, the second character judged first, without
// looking up a character that is a digit: whether it is one is asked of the constant-time
// decoder, and only a rejected character is ever named.
[[noreturn]] void throw_bad_secret_pair(const detail::kernel& k, const char* pair,
                                        std::size_t position) {
  const std::array<char, 2> second{pair[1], '0'};
  std::uint8_t ignored = 0;
  if (!detail::declassify(k.decode_secret(second.data(), 1, &ignored))) {
    detail::throw_invalid_char(pair[1], position + 1);
  }
  detail::throw_invalid_char(pair[0], position);
}

}  // namespace

std::size_t detail::decode_secret_into(const kernel& k, std::span<std::uint8_t> out,
                                       std::string_view text) {
  const std::size_t pairs = text.size() / 2;
  if (out.size() < pairs) throw std::length_error("Mivo.decode_into: output too small");
  // In constant time a chunk at a time onto the stack, stored once it is known to be valid: a
  // bad pair then leaves out as the exact decoder leaves it (the bytes before it written), and
  // text decoded in place is still there to be judged.
  constexpr std::size_t chunk_pairs = 4096;
  std::array<std::uint8_t, chunk_pairs> chunk;
  for (std::size_t at = 0; at < pairs; at += chunk_pairs) {
    const std::size_t n = std::min(chunk_pairs, pairs - at);
    const char* const piece = text.data() + 2 * at;
    if (!detail::declassify(k.decode_secret(piece, n, chunk.data()))) {
      const std::size_t good = first_bad_pair(k, piece, n, chunk.data());
      (void)k.decode_secret(piece, good, chunk.data());
      std::memcpy(out.data() + at, chunk.data(), good);
      throw_bad_secret_pair(k, piece + 2 * good, 2 * (at + good));
    }
    std::memcpy(out.data() + at, chunk.data(), n);
  }
  detail::check_decoded(text, pairs);
  return pairs;
}

std::size_t detail::decode_into_library(std::span<std::uint8_t> out, std::string_view text) {
  return decode_secret_into(active_kernel(), out, text);
}

std::string_view kernel_name() noexcept { return detail::active_kernel().name; }

kernel_request kernel_request_status() noexcept { return detail::kernel_chosen().request; }

void pp(std::ostream& out, const hex_text& h) {
  out.write(h.text.data(), static_cast<std::streamsize>(h.text.size()));
}

std::ostream& operator<<(std::ostream& out, const hex_text& h) {
  return out << std::string_view(h.text);
}

std::size_t hex_view::encode_into(std::span<char> out, std::span<const std::uint8_t> in) noexcept {
  detail::active_kernel().encode(in.data(), in.size(), out.data());
  return 2 * in.size();
}

std::size_t hex_view::encode_upper_into(std::span<char> out,
                                        std::span<const std::uint8_t> in) noexcept {
  detail::active_kernel().encode_upper(in.data(), in.size(), out.data());
  return 2 * in.size();
}

// As a formatted insertion of a string of h.size() characters, written a piece at a time.
std::ostream& operator<<(std::ostream& out, hex_view h) {
  const std::ostream::sentry ready(out);
  if (!ready) return out;
  const auto width = static_cast<std::size_t>(std::max<std::streamsize>(out.width(), 0));
  const std::size_t padding = width > h.size() ? width - h.size() : 0;
  const bool pad_left = (out.flags() & std::ios::adjustfield) != std::ios::left;
  const auto pad = [&] {
    for (std::size_t i = 0; i < padding; ++i) {
      if (std::ostream::traits_type::eq_int_type(out.rdbuf()->sputc(out.fill()),
                                                 std::ostream::traits_type::eof())) {
        out.setstate(std::ios::badbit);
        return;
      }
    }
  };
  try {
    if (pad_left) pad();
    h.write_to(
        [&](const char* digits, std::size_t n) {
          const auto count = static_cast<std::streamsize>(n);
          if (out.rdbuf()->sputn(digits, count) != count) out.setstate(std::ios::badbit);
        },
        (out.flags() & std::ios::uppercase) != 0);
    if (!pad_left) pad();
  } catch (...) {  // as the standard inserters do: mark the stream, rethrow if it asks
    try {
      out.setstate(std::ios::badbit);
    } catch (...) {  // NOLINT(bugprone-empty-catch): the original is rethrown below
    }
    if ((out.exceptions() & std::ios::badbit) != 0) throw;
  }
  out.width(0);
  return out;
}

const std::string& show(const hex_text& h) noexcept { return h.text; }

std::string show(hex_text&& h) noexcept { return std::move(h.text); }

}  // namespace mivo
