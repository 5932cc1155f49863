#include "commands.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace mivo_cli {
namespace {

// A buffer of n bytes that are not zeroed first: a small input touches only the pages it uses.
std::unique_ptr<char[]> uninitialized(std::size_t n) {
  return std::make_unique_for_overwrite<char[]>(n);
}

std::span<const std::uint8_t> bytes_of(const std::unique_ptr<char[]>& block, std::size_t n) {
  return mivo::as_bytes(std::span(block.get(), n));
}

// Space, \t, \n, \v, \f and \r.
constexpr bool is_space(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The first whitespace byte in [p, end), or end. Hex text is all above 0x20, so eight bytes at a
// time are tested for any byte below 0x21 and only such words are looked at byte by byte.
const char* find_space(const char* p, const char* end) noexcept {
  constexpr std::uint64_t ones = 0x0101010101010101U;
  constexpr std::uint64_t highs = 0x8080808080808080U;
  for (; end - p >= 8; p += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    if (((word - 0x21 * ones) & ~word & highs) == 0) continue;  // no byte below 0x21
    for (int i = 0; i < 8; ++i) {
      if (is_space(p[i])) return p + i;
    }
  }
  for (; p != end; ++p) {
    if (is_space(*p)) return p;
  }
  return end;
}

// Decodes a stream of digits arriving in pieces, a pair possibly split between two pieces or
// two inputs, and writes the bytes a block at a time.
class stream_decoder {
 public:
  explicit stream_decoder(const output& out)
      : out_(out), bytes_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity)) {}

  // The digits p[0..n), standing at `offset` of input `name`.
  void add(const char* p, std::size_t n, const std::string& name, std::uint64_t offset) {
    if (n == 0) return;
    if (has_pending_) {
      bytes_[used_++] = judge_split_pair(p[0], name, offset);
      ++p;
      --n;
      ++offset;
    }
    const std::size_t even = n & ~std::size_t{1};
    try {
      used_ += mivo::decode_into(std::span(bytes_.get() + used_, capacity - used_),
                                 std::string_view(p, even));
    } catch (const mivo::decode_error& e) {
      used_ += e.position() / 2;
      fail(name, offset + e.position(), e.what());
    }
    if (n != even) {
      pending_ = p[even];
      has_pending_ = true;
      pending_name_ = name;
      pending_offset_ = offset + even;
    }
  }

  // Writes the bytes decoded so far.
  void flush() {
    out_.write(reinterpret_cast<const char*>(bytes_.get()), used_);
    used_ = 0;
  }

  void finish() {
    if (!has_pending_) return;
    try {
      (void)mivo::decode_into(std::span<std::uint8_t>(), std::string_view(&pending_, 1));
    } catch (const mivo::decode_error& e) {
      fail(pending_name_, pending_offset_, e.what());
    }
  }

 private:
  std::uint8_t judge_split_pair(char second, const std::string& name, std::uint64_t offset) {
    has_pending_ = false;
    try {
      return mivo::to_char(pending_, second);
    } catch (const mivo::decode_error& e) {
      if (e.position() == 1) fail(name, offset, e.what());
      fail(pending_name_, pending_offset_, e.what());
    }
  }

  [[noreturn]] void fail(const std::string& name, std::uint64_t offset, const char* what) {
    flush();
    throw failure(name + ": offset " + std::to_string(offset) + ": " + what);
  }

  static constexpr std::size_t capacity = block_size / 2 + 1;  // a block and a split pair
  const output& out_;
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t used_ = 0;
  char pending_ = 0;  // a lone digit waiting for the other half of its pair
  bool has_pending_ = false;
  std::string pending_name_;
  std::uint64_t pending_offset_ = 0;
};

}  // namespace

void dump(input_list& in, const output& out, mivo::dump_options options) {
  output_buffer buffer(out);
  std::ostream stream(&buffer);
  stream.exceptions(std::ios::badbit);  // our failures come through the stream as they are
  mivo::dump_writer writer(options, stream);
  const auto block = uninitialized(block_size);
  for (;;) {
    // Squeezed, a sparse file's holes are passed over without reading them.
    if (options.squeeze) writer.write_zeros(in.pass_hole());
    const std::size_t n = in.read({block.get(), block_size});
    if (n == 0) break;
    writer.write_bytes(bytes_of(block, n));
  }
  writer.finish();
}

namespace {

void uppercase(char* digits, std::size_t n) {
  std::transform(digits, digits + n, digits,
                 [](char c) { return static_cast<char>(c >= 'a' ? c - ('a' - 'A') : c); });
}

// Copies digits to `to`, a line feed after every `width` of them; `column` carries on from one
// call to the next. Returns the end.
char* wrap(const char* digits, std::size_t n, std::size_t width, std::size_t& column, char* to) {
  while (n > 0) {
    const std::size_t take = std::min(n, width - column);
    std::memcpy(to, digits, take);
    to += take;
    digits += take;
    n -= take;
    column += take;
    if (column == width) {
      *to++ = '\n';
      column = 0;
    }
  }
  return to;
}

}  // namespace

void encode(input_list& in, const output& out, const encode_layout& layout) {
  const auto block = uninitialized(block_size);
  const auto digits = uninitialized(2 * block_size);
  const std::size_t width = layout.width;
  const auto lines = width > 0 ? uninitialized(2 * block_size + 2 * block_size / width + 1)
                               : std::unique_ptr<char[]>();
  std::size_t column = 0;
  bool any = false;
  while (const std::size_t n = in.read({block.get(), block_size})) {
    const std::size_t count =
        mivo::encode_into({digits.get(), 2 * block_size}, layout.skip, bytes_of(block, n));
    if (layout.upper) uppercase(digits.get(), count);
    any = any || count > 0;
    if (width == 0) {
      out.write(digits.get(), count);
    } else {
      out.write(lines.get(),
                static_cast<std::size_t>(wrap(digits.get(), count, width, column, lines.get()) -
                                         lines.get()));
    }
  }
  // Wrapped, as xxd -p: every line ends in a line feed, and no digits make no line.
  const bool last_line_open = width == 0 || column > 0;
  if (layout.newline && last_line_open && (width == 0 || any)) out.write("\n", 1);
}

void encode_c_array(input_list& in, const output& out, std::string_view name, bool upper) {
  constexpr std::size_t per_line = 12;
  constexpr std::size_t chars_per_byte = 6;  // ", 0xab" or ",\n  0xab", less at the start
  const auto block = uninitialized(block_size);
  const auto digits = uninitialized(2 * block_size);
  const auto text = uninitialized(block_size * (chars_per_byte + 2) + 16);
  if (!name.empty()) {
    out.write("unsigned char ");
    out.write(name);
    out.write("[] = {\n");
  }
  std::uint64_t total = 0;
  while (const std::size_t n = in.read({block.get(), block_size})) {
    mivo::encode_into({digits.get(), 2 * n}, bytes_of(block, n));
    if (upper) uppercase(digits.get(), 2 * n);
    char* to = text.get();
    for (std::size_t i = 0; i < n; ++i, ++total) {
      if (total % per_line == 0) {
        if (total > 0) *to++ = ',';
        if (total > 0) *to++ = '\n';
        to = std::copy_n("  0x", 4, to);
      } else {
        to = std::copy_n(", 0x", 4, to);
      }
      to = std::copy_n(digits.get() + 2 * i, 2, to);
    }
    out.write(text.get(), static_cast<std::size_t>(to - text.get()));
  }
  if (total > 0) out.write("\n");
  if (!name.empty()) {
    out.write("};\nunsigned int ");
    out.write(name);
    out.write("_len = " + std::to_string(total) + ";\n");
  }
}

void decode(input_list& in, const output& out, bool strict) {
  const auto block = uninitialized(block_size);
  stream_decoder decoder(out);
  while (const std::size_t n = in.read({block.get(), block_size})) {
    const char* const begin = block.get();
    const char* const end = begin + n;
    if (strict) {
      decoder.add(begin, n, in.name(), in.offset());
    } else {
      for (const char* p = begin; p != end;) {
        while (p != end && is_space(*p)) ++p;
        const char* const run_end = find_space(p, end);
        decoder.add(p, static_cast<std::size_t>(run_end - p), in.name(),
                    in.offset() + static_cast<std::uint64_t>(p - begin));
        p = run_end;
      }
    }
    decoder.flush();
  }
  decoder.finish();
}

}  // namespace mivo_cli
