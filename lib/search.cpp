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

// Sixteen bytes as one value: GCC and Clang compile its operations to SSE2 on x86-64 and NEON
// on AArch64, and to plain code elsewhere, so the filter below has no kernel of its own.
using bytes16 = std::uint8_t __attribute__((vector_size(16)));

bytes16 load16(const std::uint8_t* p) noexcept {
  bytes16 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

bool any_set(bytes16 v) noexcept {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::memcpy(&low, &v, 8);
  std::memcpy(&high, reinterpret_cast<const char*>(&v) + 8, 8);
  return (low | high) != 0;
}

// Two bytes of the pattern that every match has, looked for together sixteen places at a time:
// on random data only one place in 65536 passes, so the full check seldom runs.
struct filter {
  std::size_t at[2];
  bytes16 mask[2];
  bytes16 value[2];

  [[nodiscard]] bytes16 hits(const std::uint8_t* p) const noexcept {
    return ((load16(p + at[0]) & mask[0]) == value[0]) &
           ((load16(p + at[1]) & mask[1]) == value[1]);
  }
};

}  // namespace

struct searcher::matcher {
  matcher(byte_pattern p, sink f) : pattern(std::move(p)), found(std::move(f)) {
    length = pattern.size();
    carry.reserve(2 * length);
    // The two rarest bytes that are not wildcards.
    std::vector<std::size_t> known;
    for (std::size_t k = 0; k < length; ++k) {
      if (pattern.mask_[k] != any) known.push_back(k);
    }
    std::stable_sort(known.begin(), known.end(), [&](std::size_t x, std::size_t y) {
      return commonness(pattern.value_[x]) < commonness(pattern.value_[y]);
    });
    if (known.empty()) return;
    const std::size_t second = known.size() > 1 ? known[1] : known[0];
    filter two{};
    for (std::size_t k = 0; k < 2; ++k) {
      const std::size_t at = k == 0 ? known[0] : second;
      two.at[k] = at;
      two.mask[k] = bytes16{} + pattern.mask_[at];
      two.value[k] = bytes16{} + pattern.value_[at];
    }
    fast = two;
  }

  byte_pattern pattern;
  sink found;
  std::size_t length = 0;
  std::optional<filter> fast;       // where the pattern has a byte that is not a wildcard
  std::vector<std::uint8_t> carry;  // the last length - 1 bytes, for matches across pieces
  std::uint64_t position = 0;       // bytes written so far
  bool stopped = false;

  // Reports the matches that start at p[0 .. starts) (each has `length` bytes there); p[0] is
  // at stream offset `base`.
  void scan(const std::uint8_t* p, std::size_t starts, std::uint64_t base) {
    std::size_t i = 0;
    if (fast) {
      constexpr std::size_t step = 64;
      for (; i + step <= starts && !stopped; i += step) {
        const bytes16 h0 = fast->hits(p + i);
        const bytes16 h1 = fast->hits(p + i + 16);
        const bytes16 h2 = fast->hits(p + i + 32);
        const bytes16 h3 = fast->hits(p + i + 48);
        if (any_set(h0 | h1 | h2 | h3)) check(p, i, step, base);
      }
    }
    check(p, i, starts - i, base);
  }

  void check(const std::uint8_t* p, std::size_t from, std::size_t count, std::uint64_t base) {
    for (std::size_t i = from; i < from + count && !stopped; ++i) report(p, i, base);
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
    : matcher_(std::make_unique<matcher>(std::move(pattern), std::move(found))) {}

searcher::~searcher() = default;

void searcher::write(std::span<const std::uint8_t> bytes) {
  matcher_->write(bytes.data(), bytes.size());
}

void searcher::write_zeros(std::uint64_t count) { matcher_->zeros(count); }

bool searcher::stopped() const noexcept { return matcher_->stopped; }

}  // namespace mivo
