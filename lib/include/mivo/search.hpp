// Finding bytes in a stream and comparing two: byte_pattern, searcher and diff.
#ifndef MIVO_MIVO_SEARCH_HPP
#define MIVO_MIVO_SEARCH_HPP

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "codec.hpp"

namespace mivo {

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
  struct matcher;
  std::unique_ptr<matcher> matcher_;
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

}  // namespace mivo

#endif  // MIVO_MIVO_SEARCH_HPP
