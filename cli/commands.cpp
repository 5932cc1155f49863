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

void encode(input_list& in, const output& out, const mivo::skip_list& skip, bool newline,
            bool upper) {
  const auto block = uninitialized(block_size);
  const auto digits = uninitialized(2 * block_size);
  while (const std::size_t n = in.read({block.get(), block_size})) {
    const std::size_t count =
        mivo::encode_into({digits.get(), 2 * block_size}, skip, bytes_of(block, n));
    if (upper) {
      std::transform(digits.get(), digits.get() + count, digits.get(),
                     [](char c) { return static_cast<char>(c >= 'a' ? c - ('a' - 'A') : c); });
    }
    out.write(digits.get(), count);
  }
  if (newline) out.write("\n", 1);
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
