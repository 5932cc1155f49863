// Hex with separators and prefixes. Encoding lays out digits the kernel makes a block at a time;
// decoding passes over ignored characters through the kernels when there is no prefix, and
// character by character otherwise, or to find a fault's exact place.
#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <utility>

#include "codec.hpp"
#include "tables.hpp"
#include "text_scanner.hpp"

namespace mivo {
namespace {

constexpr std::size_t chunk = 4096;  // bytes encoded, or characters decoded, at a time

// The groups of n bytes: a first one of `first` bytes, then groups of `size`.
struct grouping {
  std::size_t size;
  std::size_t first;
  std::size_t count;
};

grouping group(std::size_t n, int per) {
  if (n == 0) return {0, 0, 0};
  // The magnitude, safe for INT_MIN.
  const std::size_t size = per == 0  ? n
                           : per > 0 ? static_cast<std::size_t>(per)
                                     : std::size_t{0} - static_cast<std::size_t>(per);
  const std::size_t first = per > 0 && n % size != 0 ? n % size : std::min(size, n);
  return {size, first, 1 + (n - first + size - 1) / size};
}

// a * b + c, or std::length_error.
std::size_t checked(std::size_t a, std::size_t b, std::size_t c = 0) {
  constexpr std::size_t most = std::numeric_limits<std::size_t>::max();
  if (b != 0 && a > (most - c) / b) throw std::length_error("Mivo.encode_text: text too long");
  return a * b + c;
}

void put(char*& out, std::string_view s) noexcept {
  for (const char c : s) *out++ = c;
}

}  // namespace

std::size_t text_size(std::size_t n, const text_form& form) {
  const grouping g = group(n, form.bytes_per_separator);
  const std::size_t digits = checked(n, 2 + form.byte_prefix.size());
  const std::size_t prefixed = checked(g.count, form.group_prefix.size(), digits);
  return g.count == 0 ? 0 : checked(g.count - 1, form.separator.size(), prefixed);
}

std::size_t encode_text_into(std::span<char> out, std::span<const std::uint8_t> bytes,
                             const text_form& form) {
  const std::size_t size = text_size(bytes.size(), form);
  if (out.size() < size) throw std::length_error("Mivo.encode_text_into: output too small");
  const detail::kernel& k = detail::active_kernel();
  if (form.separator.empty() && form.byte_prefix.empty() && form.group_prefix.empty()) {
    (form.uppercase ? k.encode_upper : k.encode)(bytes.data(), bytes.size(), out.data());
    return size;
  }
  const grouping g = group(bytes.size(), form.bytes_per_separator);
  const bool bare =
      form.separator.size() == 1 && form.byte_prefix.empty() && form.group_prefix.empty();
  if (bare && g.size == 1) {  // "de:ad:be:ef": the kernel's units, then the last pair
    const std::size_t units = bytes.size() - 1;
    k.encode_separated(bytes.data(), units, form.separator[0], form.uppercase, out.data());
    (form.uppercase ? k.encode_upper : k.encode)(bytes.data() + units, 1, out.data() + 3 * units);
    return size;
  }
  std::array<char, 2 * chunk> digits;
  char* p = out.data();
  std::size_t left_in_group = 0;
  std::size_t next_group = g.first;
  bool first_group = true;
  for (std::size_t done = 0; done < bytes.size();) {
    const std::size_t m = std::min(chunk, bytes.size() - done);
    (form.uppercase ? k.encode_upper : k.encode)(bytes.data() + done, m, digits.data());
    std::size_t i = 0;
    if (left_in_group == 0 && !first_group && bare) {
      // Whole groups with a one-character separator, the commonest form, in a tight loop.
      const char separator = form.separator[0];
      if (g.size == 1) {
        for (; i < m; ++i, p += 3) {
          p[0] = separator;
          p[1] = digits[2 * i];
          p[2] = digits[2 * i + 1];
        }
      }
      for (; m - i >= g.size; i += g.size) {
        *p++ = separator;
        std::copy_n(digits.data() + 2 * i, 2 * g.size, p);
        p += 2 * g.size;
      }
    }
    while (i < m) {
      if (left_in_group == 0) {
        if (!first_group) put(p, form.separator);
        put(p, form.group_prefix);
        first_group = false;
        left_in_group = std::exchange(next_group, g.size);
      }
      const std::size_t take = std::min(left_in_group, m - i);
      if (form.byte_prefix.empty()) {
        std::copy_n(digits.data() + 2 * i, 2 * take, p);
        p += 2 * take;
      } else {
        for (std::size_t j = i; j < i + take; ++j) {
          put(p, form.byte_prefix);
          *p++ = digits[2 * j];
          *p++ = digits[2 * j + 1];
        }
      }
      i += take;
      left_in_group -= take;
    }
    done += m;
  }
  return size;
}

std::string encode_text(std::span<const std::uint8_t> bytes, const text_form& form) {
  std::string text;
  const std::size_t n = text_size(bytes.size(), form);
  detail::overwrite_string(text, n, [&](char* p) noexcept {
    // Cannot throw: the size is known and the room is there.
    try {
      encode_text_into({p, n}, bytes, form);
      return true;
    } catch (...) {
      return false;
    }
  });
  return text;
}

namespace {

// Decodes every pair of the kept characters through the kernel, a chunk at a time; false at
// the first fault of any kind, for the exact reading to find and report it.
bool decode_fast(std::span<std::uint8_t> out, std::string_view text,
                 const detail::skip_tables& tables, std::size_t& stored) {
  const detail::kernel& k = detail::active_kernel();
  std::array<char, chunk + 1 + detail::keep_slack> kept;
  std::size_t carried = 0;  // a first digit waiting at kept[0]
  stored = 0;
  for (std::size_t done = 0; done < text.size(); done += chunk) {
    const std::size_t n = std::min(chunk, text.size() - done);
    const char* end = k.keep_bytes(text.data() + done, n, tables, kept.data() + carried);
    const auto length = static_cast<std::size_t>(end - kept.data());
    const std::size_t pairs = length / 2;
    if (k.decode(kept.data(), pairs, out.data() + stored) < pairs) return false;
    stored += pairs;
    carried = length % 2;
    if (carried != 0) kept[0] = kept[length - 1];
  }
  return carried == 0;
}

}  // namespace

namespace {

// How many bytes the text holds: its kept characters over two, or, with a prefix, what a
// reading counts. A fault throws as the reading itself would.
std::size_t bytes_held(std::string_view text, const text_reading& reading,
                       const std::array<bool, 256>& ignore) {
  if (reading.prefix.empty()) {
    const detail::skip_tables tables = detail::make_skip_tables(skip_list(reading.ignore));
    return detail::active_kernel().count_kept(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size(), tables) /
           2;
  }
  std::size_t count = 0;
  auto counting = [&](std::uint8_t) { ++count; };
  detail::text_scanner scanner(ignore, reading.prefix);
  scanner.feed(text, 0, counting);
  scanner.finish(counting);
  return count;
}

// "de:ad:be:ef", one ignored character after every pair but the last, through the kernel's
// units; false for any other text, or a fault, for the general reading.
bool decode_units(std::span<std::uint8_t> out, std::string_view text,
                  const std::array<bool, 256>& ignore, std::size_t& stored) {
  if (text.size() < 5 || text.size() % 3 != 2 || !ignore[static_cast<unsigned char>(text[2])]) {
    return false;
  }
  // An ignored digit is passed over inside pairs too, which units cannot say.
  for (std::size_t c = 0; c < ignore.size(); ++c) {
    if (ignore[c] && detail::digit_value[c] >= 0) return false;
  }
  const detail::kernel& k = detail::active_kernel();
  const std::size_t units = text.size() / 3;
  if (k.decode_separated(text.data(), units, text[2], out.data()) != units ||
      k.decode(text.data() + 3 * units, 1, out.data() + units) != 1) {
    return false;
  }
  stored = units + 1;
  return true;
}

}  // namespace

std::size_t decode_text_into(std::span<std::uint8_t> out, std::string_view text,
                             const text_reading& reading) {
  std::array<bool, 256> ignore{};
  for (const char c : reading.ignore) ignore[static_cast<unsigned char>(c)] = true;
  if (out.size() < text.size() / 2 && out.size() < bytes_held(text, reading, ignore)) {
    throw std::length_error("Mivo.decode_text_into: output too small");
  }
  std::size_t stored = 0;
  if (reading.prefix.empty() && decode_units(out, text, ignore, stored)) return stored;
  if (reading.prefix.empty() &&
      decode_fast(out, text, detail::make_skip_tables(skip_list(reading.ignore)), stored)) {
    return stored;
  }
  stored = 0;
  auto store = [&](std::uint8_t b) { out[stored++] = b; };
  detail::text_scanner scanner(ignore, reading.prefix);
  scanner.feed(text, 0, store);
  scanner.finish(store);
  return stored;
}

std::string decode_text(std::string_view text, const text_reading& reading) {
  std::string bytes(text.size() / 2, '\0');
  const std::size_t n = decode_text_into(
      {reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()}, text, reading);
  bytes.resize(n);
  return bytes;
}

}  // namespace mivo
