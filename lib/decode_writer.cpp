// Streaming decoding: text in pieces of any size, bytes out to a stream a block at a time.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "codec.hpp"
#include "tables.hpp"
#include "writer_life.hpp"

namespace mivo {
namespace {

constexpr std::size_t block_bytes = std::size_t{64} * 1024;

// Where the next byte of `skip` stands in [p, end), or end. When every listed byte is below
// 0x21, as whitespace is, eight characters at a time are passed that hold none below 0x21.
const char* find_listed(const char* p, const char* end, const std::array<bool, 256>& listed,
                        bool below_0x21_only) noexcept {
  if (below_0x21_only) {
    constexpr std::uint64_t ones = 0x0101010101010101U;
    constexpr std::uint64_t highs = 0x8080808080808080U;
    for (; end - p >= 8; p += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, p, sizeof word);
      if (((word - 0x21 * ones) & ~word & highs) != 0) break;  // a byte below 0x21 is in it
    }
  }
  while (p != end && !listed[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

}  // namespace

struct decode_writer::state {
  state(const skip_list& skip, std::ostream& s)
      : out(s), block(std::make_unique_for_overwrite<std::uint8_t[]>(block_bytes)) {
    skip.for_each([&](std::uint8_t b) {
      listed[b] = true;
      below_0x21_only = below_0x21_only && b < 0x21;
    });
    skipping = !skip.empty();
  }

  std::ostream& out;
  std::array<bool, 256> listed{};
  bool below_0x21_only = true;
  bool skipping = false;
  const detail::kernel& k = detail::active_kernel();
  std::unique_ptr<std::uint8_t[]> block;
  std::size_t used = 0;
  std::uint64_t position = 0;  // of the next character in the stream
  bool has_pending = false;    // a lone digit waiting for the other half of its pair
  char pending = 0;
  std::uint64_t pending_position = 0;
  detail::writer_life life{"Mivo.decode_writer"};

  void flush() {
    if (used == 0) return;
    out.write(reinterpret_cast<const char*>(block.get()),
              static_cast<std::streamsize>(std::exchange(used, 0)));
    if (out.fail()) throw std::ios_base::failure("Mivo.decode_writer: the stream failed");
  }

  [[noreturn]] void fail_at(const char* pair, std::uint64_t first_position) {
    flush();
    detail::throw_bad_pair(pair, static_cast<std::size_t>(first_position));
  }

  // Decodes the digits [p, end), which start at stream position `at`.
  void run(const char* p, const char* end, std::uint64_t at) {
    if (p == end) return;
    if (has_pending) {  // judged as to_char judges, the second character first
      const int high = detail::digit_value[static_cast<unsigned char>(pending)];
      const int low = detail::digit_value[static_cast<unsigned char>(*p)];
      if ((high | low) < 0) {
        flush();
        if (low < 0) detail::throw_invalid_char(*p, static_cast<std::size_t>(at));
        detail::throw_invalid_char(pending, static_cast<std::size_t>(pending_position));
      }
      if (used == block_bytes) flush();
      block[used++] = static_cast<std::uint8_t>((high << 4) | low);
      has_pending = false;
      ++p;
      ++at;
    }
    while (end - p >= 2) {
      if (used == block_bytes) flush();
      const auto pairs = std::min(static_cast<std::size_t>(end - p) / 2, block_bytes - used);
      const std::size_t bad = k.decode(p, pairs, block.get() + used);
      used += bad;
      if (bad < pairs) fail_at(p + 2 * bad, at + 2 * bad);
      p += 2 * pairs;
      at += 2 * pairs;
    }
    if (p != end) {
      has_pending = true;
      pending = *p;
      pending_position = at;
    }
  }

  void text(std::string_view piece) {
    const char* p = piece.data();
    const char* const end = p + piece.size();
    const std::uint64_t base = position;
    while (p != end) {
      const char* run_end = skipping ? find_listed(p, end, listed, below_0x21_only) : end;
      run(p, run_end, base + static_cast<std::uint64_t>(p - piece.data()));
      p = run_end;
      while (p != end && listed[static_cast<unsigned char>(*p)]) ++p;
    }
    position = base + piece.size();
  }

  void finish() {
    if (!has_pending) return;
    flush();
    throw decode_error(detail::odd_length_message, static_cast<std::size_t>(pending_position));
  }

  // One call of the writer: checked, run, and its bytes handed to the stream.
  template <class Step>
  void call(Step step) {
    life.check_writable();
    life.run([&] {
      step();
      flush();
    });
  }
};

decode_writer::decode_writer(std::ostream& out) : decode_writer(skip_list{}, out) {}

decode_writer::decode_writer(skip_list skip, std::ostream& out)
    : state_(std::make_unique<state>(skip, out)) {}

decode_writer::~decode_writer() {
  if (!state_->life.open()) return;
  try {
    finish();
  } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor must not throw
  }
}

// An empty piece changes nothing; its data pointer may be null.
void decode_writer::write_text(std::string_view text) {
  state_->call([&] {
    if (!text.empty()) state_->text(text);
  });
}

void decode_writer::finish() {
  if (state_->life.finished()) return;
  state_->call([&] { state_->finish(); });
  state_->life.mark_finished();
}

}  // namespace mivo
