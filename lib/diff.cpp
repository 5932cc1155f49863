// Byte diff: equal stretches compared a block at a time; after each difference the sides are
// joined again at the nearest anchor (agreeing bytes found through a hash of one side's window),
// and the gap before it is aligned by a bounded Myers diff.
#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <vector>

#include <mivo.hpp>

namespace mivo {
namespace {

constexpr std::size_t anchor_length = 16;  // bytes that must agree to join the sides again
constexpr std::size_t min_equal = 4;       // fewer equal bytes between edits are chance
constexpr std::size_t first_window = 4096;
constexpr std::size_t max_window = std::size_t{4} << 20;
constexpr std::size_t block = std::size_t{256} << 10;  // compared and reported per step
constexpr std::size_t max_stride = anchor_length;      // so every 31 agreeing bytes are seen
constexpr std::size_t indexed_grams = std::size_t{1} << 18;
constexpr long myers_max_edits = 64;

// One input, read into a window that slides along it.
class side {
 public:
  explicit side(const diff_source& read) : read_(read) {}

  // Makes at least n bytes available from the current position, fewer only at the end.
  std::size_t fill(std::size_t n) {
    n = std::min(n, capacity);
    if (available() >= n || ended_) return available();
    if (begin_ > 0 && begin_ + n > buffer_.size()) {
      std::memmove(buffer_.data(), data(), available());
      end_ -= begin_;
      begin_ = 0;
    }
    // Grown as needed: small inputs never pay for the widest window.
    if (n > buffer_.size()) buffer_.resize(std::min(capacity, std::max(n, 2 * buffer_.size())));
    while (available() < n && !ended_) {
      const std::size_t room = buffer_.size() - end_;
      const std::size_t want = std::min(room, std::max(block, n - available()));
      const std::size_t got = read_(std::span(buffer_.data() + end_, want));
      if (got == 0) ended_ = true;
      end_ += std::min(got, want);
    }
    return available();
  }

  [[nodiscard]] const std::uint8_t* data() const noexcept { return buffer_.data() + begin_; }
  [[nodiscard]] std::size_t available() const noexcept { return end_ - begin_; }
  [[nodiscard]] std::uint64_t offset() const noexcept { return offset_; }
  [[nodiscard]] bool ended() const noexcept { return ended_; }

  void advance(std::size_t n) noexcept {
    begin_ += n;
    offset_ += n;
  }

 private:
  static constexpr std::size_t capacity = max_window + block;
  const diff_source& read_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint64_t offset_ = 0;
  bool ended_ = false;
};

std::size_t common_prefix(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) noexcept {
  constexpr std::size_t chunk = 4096;
  std::size_t i = 0;
  while (i + chunk <= n && std::memcmp(a + i, b + i, chunk) == 0) i += chunk;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) break;
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

std::uint64_t gram_hash(const std::uint8_t* p) noexcept {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::memcpy(&low, p, 8);
  std::memcpy(&high, p + 8, 8);
  std::uint64_t h = (low ^ (high * 0x9e3779b97f4a7c15U)) * 0xff51afd7ed558ccdU;
  return h ^ (h >> 29);
}

struct anchor {
  std::size_t x;  // into the first side's window
  std::size_t y;  // into the second's
  [[nodiscard]] std::size_t cost() const noexcept { return x + y; }
};

// A run of an alignment in the making: `equal` bytes, or `first` deleted and `second` inserted.
struct step {
  bool equal;
  std::size_t first;
  std::size_t second;
};

step equal_step(long length) {
  const auto n = static_cast<std::size_t>(length);
  return {true, n, n};
}

class differ {
 public:
  differ(const diff_source& first, const diff_source& second, const diff_sink& to)
      : a_(first), b_(second), to_(to) {}

  bool run() {
    while (!stopped_) {
      const std::size_t na = a_.fill(block);
      const std::size_t nb = b_.fill(block);
      const std::size_t same = common_prefix(a_.data(), b_.data(), std::min(na, nb));
      if (same > 0) {
        emit(diff_kind::equal, same, same);
      } else if (na == 0 && nb == 0) {
        break;
      } else if (na == 0) {
        emit(diff_kind::inserted, 0, nb);
      } else if (nb == 0) {
        emit(diff_kind::deleted, na, 0);
      } else {
        close_gap();
      }
    }
    return differ_;
  }

 private:
  void emit(diff_kind kind, std::size_t n1, std::size_t n2) {
    if (stopped_ || (n1 == 0 && n2 == 0)) return;
    const diff_run run{kind, a_.offset(), b_.offset(), {a_.data(), n1}, {b_.data(), n2}};
    differ_ = differ_ || kind != diff_kind::equal;
    a_.advance(n1);
    b_.advance(n2);
    stopped_ = !to_(run);
  }

  // d bytes of the first side and i of the second that do not agree: changed one for one as
  // far as both go, the rest deleted or inserted.
  void emit_edit(std::size_t d, std::size_t i) {
    const std::size_t changed = std::min(d, i);
    emit(diff_kind::changed, changed, changed);
    emit(diff_kind::deleted, d - changed, 0);
    emit(diff_kind::inserted, 0, i - changed);
  }

  // The sides differ at their current positions: finds where they agree again and reports the
  // bytes before it.
  void close_gap() {
    for (std::size_t window = next_window_;; window *= 2) {
      const std::size_t reach = window + anchor_length;
      const std::size_t la = std::min(a_.fill(reach), reach);
      const std::size_t lb = std::min(b_.fill(reach), reach);
      const bool whole =
          a_.ended() && b_.ended() && a_.available() <= reach && b_.available() <= reach;
      const std::optional<anchor> found = nearest_anchor(la, lb);
      // Past the window, every anchor costs at least `window`.
      if (found && (found->cost() <= window || whole || window >= max_window)) {
        next_window_ = first_window;
        return align(found->x, found->y);
      }
      if (whole) return align(la, lb);
      if (window >= max_window) {
        // Nothing joins within reach: the window counts as changed, and so, likely, will the
        // next, so the next search starts wide.
        next_window_ = max_window;
        const std::size_t n = std::min({la, lb, window});
        return emit(diff_kind::changed, n, n);
      }
    }
  }

  // The anchor of least x + y in the first la and lb bytes: anchor_length bytes that agree.
  std::optional<anchor> nearest_anchor(std::size_t la, std::size_t lb) {
    if (la < anchor_length || lb < anchor_length) return std::nullopt;
    const std::uint8_t* a = a_.data();
    const std::uint8_t* b = b_.data();
    const std::size_t grams = lb - anchor_length + 1;
    const std::size_t stride = std::clamp<std::size_t>(grams / indexed_grams, 1, max_stride);
    const std::size_t slots = std::bit_ceil(2 * (grams / stride + 1));
    const std::size_t mask = slots - 1;
    table_.assign(slots, 0);
    for (std::size_t y = 0; y < grams; y += stride) {
      const std::uint64_t h = gram_hash(b + y);
      const std::uint64_t key = h >> 32;
      for (std::size_t s = h & mask;; s = (s + 1) & mask) {
        if (table_[s] == 0) {
          table_[s] = key << 32 | (y + 1);
          break;
        }
        if (table_[s] >> 32 == key) break;  // the first y of a gram is the nearest
      }
    }
    std::optional<anchor> best;
    for (std::size_t x = 0; x + anchor_length <= la && (!best || x < best->cost() + stride); ++x) {
      const std::uint64_t h = gram_hash(a + x);
      const std::uint64_t key = h >> 32;
      for (std::size_t s = h & mask; table_[s] != 0; s = (s + 1) & mask) {
        if (table_[s] >> 32 != key) continue;
        anchor found{x, static_cast<std::size_t>(table_[s] & 0xffffffffU) - 1};
        if (std::memcmp(a + found.x, b + found.y, anchor_length) != 0) break;
        while (found.x > 0 && found.y > 0 && a[found.x - 1] == b[found.y - 1]) {
          --found.x;
          --found.y;
        }
        if (!best || found.cost() < best->cost()) best = found;
        break;
      }
    }
    return best;
  }

  // Reports the gap of x bytes of the first side and y of the second that ends at an anchor
  // or at the ends.
  void align(std::size_t x, std::size_t y) {
    if (x == 0 || y == 0 || !myers(x, y)) return emit_edit(x, y);
    // Short equal runs between edits join the edits around them.
    std::size_t d = 0;
    std::size_t i = 0;
    for (std::size_t k = 0; k < steps_.size(); ++k) {
      const step& s = steps_[k];
      const bool last = k + 1 == steps_.size();
      if (s.equal && (s.first >= min_equal || last)) {
        emit_edit(d, i);
        d = i = 0;
        emit(diff_kind::equal, s.first, s.first);
      } else {
        d += s.first;
        i += s.second;
      }
    }
    emit_edit(d, i);
  }

  // Myers' greedy O(ND) alignment of the gap into steps_, unless it takes more than
  // myers_max_edits edits.
  bool myers(std::size_t x_size, std::size_t y_size) {
    const auto n = static_cast<long>(x_size);
    const auto m = static_cast<long>(y_size);
    if (std::abs(n - m) > myers_max_edits) return false;
    const std::uint8_t* a = a_.data();
    const std::uint8_t* b = b_.data();
    constexpr long unreachable = -1;
    const long width = 2 * myers_max_edits + 1;
    const auto at = [&](long d, long k) -> long& {
      return trace_[static_cast<std::size_t>(d * width + k + myers_max_edits)];
    };
    trace_.assign(static_cast<std::size_t>((myers_max_edits + 1) * width), unreachable);
    // Where diagonal k starts at edit d: after a deletion from k - 1 or an insertion from
    // k + 1, whichever reaches further and stays inside the gap.
    const auto start = [&](long d, long k) -> std::pair<long, long> {  // (x, from diagonal)
      long best = unreachable;
      long from = 0;
      if (k > -d && at(d - 1, k - 1) != unreachable) {
        const long x = at(d - 1, k - 1) + 1;
        if (x <= n) best = x, from = k - 1;
      }
      if (k < d && at(d - 1, k + 1) != unreachable) {
        const long x = at(d - 1, k + 1);
        if (x - k <= m && x > best) best = x, from = k + 1;
      }
      return {best, from};
    };
    for (long d = 0; d <= myers_max_edits; ++d) {
      for (long k = -d; k <= d; k += 2) {
        long x = 0;
        if (d > 0) {
          x = start(d, k).first;
          if (x == unreachable) continue;
        }
        long y = x - k;
        if (y < 0 || y > m) continue;
        while (x < n && y < m && a[x] == b[y]) ++x, ++y;
        at(d, k) = x;
        if (x == n && y == m) {
          trace_back(d, k, n, start, at);
          return true;
        }
      }
    }
    return false;
  }

  template <class Start, class At>
  void trace_back(long d, long k, long x, const Start& start, const At& at) {
    steps_.clear();
    for (; d > 0; --d) {
      const auto [first_x, from] = start(d, k);
      const long snake = x - first_x;
      if (snake > 0) steps_.push_back(equal_step(snake));
      steps_.push_back(from == k - 1 ? step{false, 1, 0} : step{false, 0, 1});
      k = from;
      x = at(d - 1, k);
    }
    if (x > 0) steps_.push_back(equal_step(x));
    std::reverse(steps_.begin(), steps_.end());
  }

  side a_;
  side b_;
  const diff_sink& to_;
  bool differ_ = false;
  bool stopped_ = false;
  std::size_t next_window_ = first_window;
  std::vector<std::uint64_t> table_;  // gram hash (high half) and y + 1, 0 when empty
  std::vector<long> trace_;           // Myers' furthest x per edit count and diagonal
  std::vector<step> steps_;
};

}  // namespace

bool diff(const diff_source& first, const diff_source& second, const diff_sink& to) {
  differ d(first, second, to);
  return d.run();
}

bool diff(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second,
          const diff_sink& to) {
  const auto reader = [](std::span<const std::uint8_t>& rest) {
    return [&rest](std::span<std::uint8_t> into) {
      const std::size_t n = std::min(into.size(), rest.size());
      if (n > 0) std::memcpy(into.data(), rest.data(), n);
      rest = rest.subspan(n);
      return n;
    };
  };
  return diff(diff_source(reader(first)), diff_source(reader(second)), to);
}

}  // namespace mivo
