// Streaming decoding: text in pieces of any size, bytes out to a stream a block at a time.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "codec.hpp"
#include "stream_block.hpp"
#include "tables.hpp"
#include "text_scanner.hpp"
#include "writer_life.hpp"

namespace mivo {
namespace {

// Text taken at a time when bytes are skipped: its digits decode into what the block has left.
constexpr std::size_t chunk_chars = detail::stream_block::block_size / 4;

// Where the next byte of `skip` stands in [p, end), or end.
const char* find_listed(const char* p, const char* end, const std::array<bool, 256>& listed) {
  while (p != end && !listed[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

bool lists_a_digit(const detail::skip_tables& tables) noexcept {
  for (std::size_t b = 0; b < tables.listed.size(); ++b) {
    if (tables.listed[b] && detail::digit_value[b] >= 0) return true;
  }
  return false;
}

}  // namespace

struct decode_writer::decoder {
  decoder(const skip_list& skip, std::string_view prefix, std::ostream& s)
      : tables(detail::make_skip_tables(skip)),
        skipping(!skip.empty()),
        block(s, "Mivo.decode_writer"),
        kept(skipping ? std::make_unique_for_overwrite<char[]>(chunk_chars + detail::keep_slack)
                      : nullptr) {
    if (!prefix.empty()) scanner.emplace(tables.listed, prefix);
  }

  const detail::skip_tables tables;
  const bool skipping;
  const bool skips_digits = lists_a_digit(tables);
  const detail::kernel& k = detail::active_kernel();
  detail::stream_block block;
  std::unique_ptr<char[]> kept;  // a chunk's text without the skipped bytes
  std::uint64_t position = 0;    // of the next character in the stream
  bool has_pending = false;      // a lone digit waiting for the other half of its pair
  char pending = 0;
  std::uint64_t pending_position = 0;
  detail::writer_life life{"Mivo.decode_writer"};
  std::optional<detail::text_scanner> scanner;  // with a prefix: character by character

  [[nodiscard]] std::uint8_t* free_bytes() noexcept {
    return reinterpret_cast<std::uint8_t*>(block.end());
  }

  void put(std::uint8_t b) {
    if (block.left() == 0) flush();
    *free_bytes() = b;
    block.advance(1);
  }

  // Runs a step of the scanner; at a fault, the bytes before it go out first.
  template <class Step>
  void scan(Step step) {
    auto to_block = [this](std::uint8_t b) { put(b); };
    try {
      step(to_block);
    } catch (const decode_error&) {
      flush();
      throw;
    }
  }

  void flush() { block.flush(); }

  [[noreturn]] void fail_at(const char* pair, std::uint64_t first_position) {
    flush();
    detail::throw_bad_pair(pair, static_cast<std::size_t>(first_position));
  }

  // Decodes the digits [p, end), which start at stream position `at`. Unless `exact`, a bad
  // pair returns false at once, for the caller to undo the call and find the fault exactly.
  bool run(const char* p, const char* end, std::uint64_t at, bool exact) {
    if (p == end) return true;
    if (has_pending) {  // judged as to_char judges, the second character first
      const int high = detail::digit_value[static_cast<unsigned char>(pending)];
      const int low = detail::digit_value[static_cast<unsigned char>(*p)];
      if ((high | low) < 0) {
        if (!exact) return false;
        flush();
        if (low < 0) detail::throw_invalid_char(*p, static_cast<std::size_t>(at));
        detail::throw_invalid_char(pending, static_cast<std::size_t>(pending_position));
      }
      put(static_cast<std::uint8_t>((high << 4) | low));
      has_pending = false;
      ++p;
      ++at;
    }
    while (end - p >= 2) {
      if (block.left() == 0) flush();
      const auto pairs = std::min(static_cast<std::size_t>(end - p) / 2, block.left());
      const std::size_t bad = k.decode(p, pairs, free_bytes());
      block.advance(bad);
      if (bad < pairs) {
        if (!exact) return false;
        fail_at(p + 2 * bad, at + 2 * bad);
      }
      p += 2 * pairs;
      at += 2 * pairs;
    }
    if (p != end) {
      has_pending = true;
      pending = *p;
      pending_position = at;
    }
    return true;
  }

  // The kept characters of [p, p + n), which start at stream position `at`, decoded at once
  // into the block, which has room for them. At a bad pair nothing changes, and false.
  bool run_kept(const char* p, std::size_t n, std::uint64_t at) {
    const char* const kept_end = k.keep_bytes(p, n, tables, kept.get());
    const std::size_t used_before = block.used();
    const bool pending_before = has_pending;
    const char pending_char = pending;
    if (!run(kept.get(), kept_end, 0, false)) {
      block.rewind(used_before);
      has_pending = pending_before;
      pending = pending_char;
      return false;
    }
    if (has_pending && kept_end != kept.get()) {  // the last kept character of this chunk
      std::size_t last = n - 1;
      while (tables.listed[static_cast<unsigned char>(p[last])]) --last;
      pending_position = at + last;
    }
    return true;
  }

  // Decodes the pairs at the start of [p, p + n) up to the first that holds a skipped byte or a
  // fault, straight into the block, which has room for them; returns how many. Text with
  // nothing to skip is then decoded without being copied. Not when digits are skipped.
  std::size_t plain_pairs(const char* p, std::size_t n) {
    if (has_pending || skips_digits) return 0;
    const std::size_t good = k.decode(p, n / 2, free_bytes());
    block.advance(good);
    return good;
  }

  // The characters of [p, p + n) run by run, each fault at its exact position.
  void run_exact(const char* p, std::size_t n, std::uint64_t at) {
    const char* const start = p;
    const char* const end = p + n;
    while (p != end) {
      const char* run_end = find_listed(p, end, tables.listed);
      run(p, run_end, at + static_cast<std::uint64_t>(p - start), true);
      p = run_end;
      while (p != end && tables.listed[static_cast<unsigned char>(*p)]) ++p;
    }
  }

  void text(std::string_view piece) {
    if (scanner) {
      scan([&](auto& to_block) { scanner->feed(piece, position, to_block); });
      position += piece.size();
      return;
    }
    if (!skipping) {
      run(piece.data(), piece.data() + piece.size(), position, true);
      position += piece.size();
      return;
    }
    for (std::size_t done = 0; done < piece.size();) {
      std::size_t n = std::min(piece.size() - done, chunk_chars);
      if (block.left() < n / 2 + 1) flush();
      const std::size_t plain = plain_pairs(piece.data() + done, n);
      done += 2 * plain;
      position += 2 * plain;
      n -= 2 * plain;
      if (!run_kept(piece.data() + done, n, position)) run_exact(piece.data() + done, n, position);
      done += n;
      position += n;
    }
  }

  void finish() {
    if (scanner) return scan([&](auto& to_block) { scanner->finish(to_block); });
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

decode_writer::decode_writer(skip_list skip, std::ostream& out) : decode_writer(skip, {}, out) {}

decode_writer::decode_writer(skip_list skip, std::string_view prefix, std::ostream& out)
    : decoder_(std::make_unique<decoder>(skip, prefix, out)) {}

decode_writer::~decode_writer() {
  decoder_->life.finish_quietly([this] { finish(); });
}

// An empty piece changes nothing; its data pointer may be null.
void decode_writer::write_text(std::string_view text) {
  decoder_->call([&] {
    if (!text.empty()) decoder_->text(text);
  });
}

void decode_writer::finish() {
  decoder_->life.finish_once([&] { decoder_->call([&] { decoder_->finish(); }); });
}

}  // namespace mivo
