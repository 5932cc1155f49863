// Finding byte patterns: memchr for one fixed byte of the pattern, then a check of the rest.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

#include <mivo.hpp>

#include "tables.hpp"

namespace mivo {

pattern_error::pattern_error(const std::string& reason, std::size_t column)
    : std::invalid_argument("column " + std::to_string(column) + ": " + reason), column_(column) {}

pattern_error::~pattern_error() = default;

namespace {

constexpr std::uint8_t fixed = 0xff;
constexpr std::uint8_t any = 0;
constexpr std::uint8_t either_case = 0xdf;

bool is_blank(char c) noexcept { return c == ' ' || c == '\t'; }

}  // namespace

byte_pattern byte_pattern::from_hex(std::string_view text) {
  byte_pattern p;
  std::size_t i = 0;
  const auto column = [&](std::size_t at) { return at + 1; };
  while (i < text.size()) {
    if (is_blank(text[i])) {
      ++i;
      continue;
    }
    if (i + 1 >= text.size() || is_blank(text[i + 1])) {
      throw pattern_error(text[i] == '?' ? "lone '?'" : "odd number of digits", column(i));
    }
    if (text[i] == '?' || text[i + 1] == '?') {
      const std::size_t question = text[i] == '?' ? i : i + 1;
      if (text[i] != text[i + 1]) throw pattern_error("lone '?'", column(question));
      p.value_.push_back(0);
      p.mask_.push_back(any);
    } else {
      const int high = detail::digit_value[static_cast<unsigned char>(text[i])];
      const int low = detail::digit_value[static_cast<unsigned char>(text[i + 1])];
      if (high < 0) throw pattern_error("invalid digit", column(i));
      if (low < 0) throw pattern_error("invalid digit", column(i + 1));
      p.value_.push_back(static_cast<std::uint8_t>((high << 4) | low));
      p.mask_.push_back(fixed);
    }
    i += 2;
  }
  if (p.value_.empty()) throw pattern_error("empty pattern", column(text.size()));
  return p;
}

byte_pattern byte_pattern::from_text(std::string_view text, bool ignore_case) {
  if (text.empty()) throw pattern_error("empty pattern", 1);
  byte_pattern p;
  for (const char c : text) {
    const auto b = static_cast<std::uint8_t>(c);
    const bool letter = (b | 0x20U) >= 'a' && (b | 0x20U) <= 'z';
    const std::uint8_t mask = ignore_case && letter ? either_case : fixed;
    p.value_.push_back(static_cast<std::uint8_t>(b & mask));
    p.mask_.push_back(mask);
  }
  return p;
}

bool byte_pattern::matches(const std::uint8_t* p) const noexcept {
  for (std::size_t k = 0; k < value_.size(); ++k) {
    if ((p[k] & mask_[k]) != value_[k]) return false;
  }
  return true;
}

bool byte_pattern::matches_zeros() const noexcept {
  return std::all_of(value_.begin(), value_.end(), [](std::uint8_t v) { return v == 0; });
}

namespace {

// How often a byte turns up in everyday files, roughly: zeros and 0xff fill images and
// padding, ASCII fills text. memchr looks for the rarest fixed byte of the pattern.
int commonness(std::uint8_t b) noexcept {
  if (b == 0 || b == 0xff) return 2;
  return b >= 0x20 && b < 0x7f ? 1 : 0;
}

}  // namespace

struct searcher::state {
  state(byte_pattern p, sink f) : pattern(std::move(p)), found(std::move(f)) {
    length = pattern.size();
    carry.reserve(2 * length);
    for (std::size_t k = 0; k < length; ++k) {
      if (pattern.mask_[k] != fixed) continue;
      if (!anchor || commonness(pattern.value_[k]) < commonness(pattern.value_[*anchor])) {
        anchor = k;
      }
    }
  }

  byte_pattern pattern;
  sink found;
  std::size_t length = 0;
  std::optional<std::size_t> anchor;  // a fixed byte memchr can look for
  std::vector<std::uint8_t> carry;    // the last length - 1 bytes, for matches across pieces
  std::uint64_t position = 0;         // bytes written so far
  bool stopped = false;

  // Reports the matches that start at p[0 .. starts) (each has `length` bytes there); p[0] is
  // at stream offset `base`.
  void scan(const std::uint8_t* p, std::size_t starts, std::uint64_t base) {
    if (!anchor) {
      for (std::size_t i = 0; i < starts && !stopped; ++i) report(p, i, base);
      return;
    }
    const std::size_t a = *anchor;
    const auto want = static_cast<int>(pattern.value_[a]);
    const std::uint8_t* from = p + a;
    const std::uint8_t* const end = p + a + starts;
    while (from < end && !stopped) {
      const auto* hit = static_cast<const std::uint8_t*>(
          std::memchr(from, want, static_cast<std::size_t>(end - from)));
      if (hit == nullptr) return;
      report(p, static_cast<std::size_t>(hit - p) - a, base);
      from = hit + 1;
    }
  }

  void report(const std::uint8_t* p, std::size_t i, std::uint64_t base) {
    if (pattern.matches(p + i) && !found(base + i)) stopped = true;
  }

  void write(const std::uint8_t* bytes, std::size_t n) {
    if (stopped || n == 0) return;
    // Matches that start in the carry and end in these bytes.
    if (!carry.empty()) {
      const std::size_t kept = carry.size();
      carry.insert(carry.end(), bytes, bytes + std::min(n, length - 1));
      if (carry.size() >= length) scan(carry.data(), carry.size() - length + 1, position - kept);
      carry.resize(kept);
    }
    if (n >= length) scan(bytes, n - length + 1, position);
    keep_tail(bytes, n);
    position += n;
  }

  // The last length - 1 bytes of everything so far.
  void keep_tail(const std::uint8_t* bytes, std::size_t n) {
    const std::size_t keep = length - 1;
    if (n >= keep) {
      carry.assign(bytes + n - keep, bytes + n);
      return;
    }
    carry.insert(carry.end(), bytes, bytes + n);
    if (carry.size() > keep) carry.erase(carry.begin(), carry.end() - static_cast<long>(keep));
  }

  void zeros(std::uint64_t count) {
    static constexpr std::array<std::uint8_t, 4096> zero_block{};
    const auto feed = [&](std::uint64_t n) {
      for (; n > 0 && !stopped;) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n, zero_block.size()));
        write(zero_block.data(), take);
        n -= take;
      }
    };
    const std::uint64_t edge = length - 1;
    if (pattern.matches_zeros() || count <= 2 * edge) return feed(count);
    // No match lies wholly in zeros: only the run's two edges can take part in one.
    feed(edge);
    position += count - 2 * edge;
    feed(edge);
  }
};

searcher::searcher(byte_pattern pattern, sink found)
    : state_(std::make_unique<state>(std::move(pattern), std::move(found))) {}

searcher::~searcher() = default;

void searcher::write(std::span<const std::uint8_t> bytes) {
  state_->write(bytes.data(), bytes.size());
}

void searcher::write_zeros(std::uint64_t count) { state_->zeros(count); }

bool searcher::stopped() const noexcept { return state_->stopped; }

}  // namespace mivo
