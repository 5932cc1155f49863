#include "diff.hpp"

#include <mivo.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>

#include "commands.hpp"
#include "quote.hpp"
#include "rows.hpp"

namespace mivo_cli {
namespace {

char mark_of(mivo::diff_kind kind) {
  switch (kind) {
    case mivo::diff_kind::changed:
      return '!';
    case mivo::diff_kind::deleted:
      return '-';
    case mivo::diff_kind::inserted:
      return '+';
    case mivo::diff_kind::equal:
      break;
  }
  return unmarked;
}

std::string_view text_of(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The bytes of one side shown in a hunk, from the start of a row, each with its mark.
struct pane {
  std::uint64_t start = 0;
  std::string bytes;
  std::string marks;

  [[nodiscard]] std::uint64_t end() const { return start + bytes.size(); }
  void add(std::span<const std::uint8_t> b, char mark) {
    bytes.append(text_of(b));
    marks.append(b.size(), mark);
  }
  void drop_front(std::size_t n) {
    bytes.erase(0, n);
    marks.erase(0, n);
    start += n;
  }
};

struct totals {
  std::uint64_t equal = 0;
  std::uint64_t inserted = 0;
  std::uint64_t deleted = 0;
  std::uint64_t changed = 0;
};

// Turns the runs of a diff into hunks of rows. Each side's rows are printed a section at a
// time, so a change of any size takes bounded memory.
class hunk_printer {
 public:
  hunk_printer(text_buffer& text, std::string name1, std::string name2, const diff_options& o)
      : text_(text),
        names_{std::move(name1), std::move(name2)},
        context_(o.context_rows * row_bytes),
        // Two changes closer than this share a hunk: their rows would touch.
        join_(2 * context_ + 2 * row_bytes),
        color_(o.color) {}

  bool add(const mivo::diff_run& r) {
    if (r.kind == mivo::diff_kind::equal) {
      add_equal(r.first);
    } else {
      add_change(r);
    }
    position_[0] = r.offset1 + r.first.size();
    position_[1] = r.offset2 + r.second.size();
    return true;
  }

  void finish() {
    if (in_hunk_) close_hunk();
    if (!differ_) return;
    note_equal(position_[0]);
    text_.add_line("", std::to_string(totals_.equal) + " bytes equal, " +
                           std::to_string(totals_.inserted) + " inserted, " +
                           std::to_string(totals_.deleted) + " deleted, " +
                           std::to_string(totals_.changed) + " changed");
  }

 private:
  void add_equal(std::span<const std::uint8_t> bytes) {
    totals_.equal += bytes.size();
    if (in_hunk_) {
      const std::uint64_t room = join_ - std::min(join_, equal_since_change_);
      const auto shown =
          bytes.first(static_cast<std::size_t>(std::min<std::uint64_t>(room, bytes.size())));
      panes_[0].add(shown, unmarked);
      panes_[1].add(shown, unmarked);
      equal_since_change_ += bytes.size();
      if (equal_since_change_ > join_) close_hunk();
    }
    keep_tail(bytes);
  }

  void add_change(const mivo::diff_run& r) {
    differ_ = true;
    (r.kind == mivo::diff_kind::changed    ? totals_.changed
     : r.kind == mivo::diff_kind::inserted ? totals_.inserted
                                           : totals_.deleted) +=
        std::max(r.first.size(), r.second.size());
    if (!in_hunk_) open_hunk(r.offset1, r.offset2);
    tail_.clear();
    const char mark = mark_of(r.kind);
    // A section at a time, so that a long run never sits whole in the panes.
    for (std::size_t done1 = 0, done2 = 0; done1 < r.first.size() || done2 < r.second.size();) {
      const std::size_t n1 = std::min(section, r.first.size() - done1);
      const std::size_t n2 = std::min(section, r.second.size() - done2);
      panes_[0].add(r.first.subspan(done1, n1), mark);
      panes_[1].add(r.second.subspan(done2, n2), mark);
      done1 += n1;
      done2 += n2;
      if (panes_[0].bytes.size() + panes_[1].bytes.size() > section) {
        print_rows(panes_[0], '-', false);
        print_rows(panes_[1], '+', false);
      }
    }
    equal_since_change_ = 0;
    change_end_[0] = r.offset1 + r.first.size();
    change_end_[1] = r.offset2 + r.second.size();
  }

  // The last equal bytes, for the rows before the next change.
  void keep_tail(std::span<const std::uint8_t> bytes) {
    const std::size_t keep = context_ + row_bytes;
    if (bytes.size() >= keep) {
      tail_.assign(text_of(bytes.last(keep)));
      return;
    }
    tail_.append(text_of(bytes));
    if (tail_.size() > keep) tail_.erase(0, tail_.size() - keep);
  }

  void open_hunk(std::uint64_t offset1, std::uint64_t offset2) {
    if (!headed_) {
      text_.add_line("--- ", names_[0]);
      text_.add_line("+++ ", names_[1]);
      headed_ = true;
    }
    const std::array<std::uint64_t, 2> at{offset1, offset2};
    for (std::size_t side = 0; side < 2; ++side) {
      const std::uint64_t context = std::min<std::uint64_t>(at[side], context_);
      const std::uint64_t start = std::max(row_down(at[side] - context), at[side] - tail_.size());
      const auto shown = static_cast<std::size_t>(at[side] - start);
      panes_[side] = pane{start, tail_.substr(tail_.size() - shown), std::string(shown, unmarked)};
    }
    note_equal(panes_[0].start);
    text_.add(color_ ? color_of('@') : "");
    text_.add("@@ -" + hex(offset1) + " +" + hex(offset2) + " @@");
    text_.add_line(color_ ? color_of(unmarked) : "", "");
    in_hunk_ = true;
  }

  void close_hunk() {
    for (std::size_t side = 0; side < 2; ++side) {
      pane& p = panes_[side];
      const std::uint64_t end = std::min(p.end(), row_up(change_end_[side] + context_));
      p.bytes.resize(static_cast<std::size_t>(end - p.start));
      p.marks.resize(p.bytes.size());
    }
    shown_end_ = panes_[0].end();
    print_rows(panes_[0], '-', true);
    print_rows(panes_[1], '+', true);
    in_hunk_ = false;
  }

  // Equal bytes left out before `offset` of the first side.
  void note_equal(std::uint64_t offset) {
    if (offset > shown_end_)
      text_.add_line("= ", std::to_string(offset - shown_end_) + " equal bytes");
    shown_end_ = std::max(shown_end_, offset);
  }

  static std::string hex(std::uint64_t n) {
    std::ostringstream s;
    s << "0x" << std::hex << n;
    return s.str();
  }

  // Prints the pane's complete rows (every byte with `all`) and drops them.
  void print_rows(pane& p, char side, bool all) {
    const std::size_t n = all ? p.bytes.size() : static_cast<std::size_t>(row_down(p.bytes.size()));
    print_marked_rows(text_, p.start, std::string_view(p.bytes).substr(0, n),
                      std::string_view(p.marks).substr(0, n), side == '-' ? "-" : "+", color_);
    p.drop_front(n);
  }

  static constexpr std::size_t section = std::size_t{64} << 10;  // bytes of rows held at most

  text_buffer& text_;
  std::array<std::string, 2> names_;
  std::uint64_t context_;
  std::uint64_t join_;
  bool color_;
  bool differ_ = false;
  bool headed_ = false;
  bool in_hunk_ = false;
  totals totals_;
  std::array<pane, 2> panes_;
  std::array<std::uint64_t, 2> position_{};
  std::array<std::uint64_t, 2> change_end_{};
  std::uint64_t equal_since_change_ = 0;
  std::uint64_t shown_end_ = 0;  // of the first side's rows printed so far
  std::string tail_;
};

// Reads until `block` is full or the input ends.
std::size_t read_full(input_list& in, std::span<char> block) {
  std::size_t got = 0;
  while (got < block.size()) {
    const std::size_t n = in.read(block.subspan(got));
    if (n == 0) break;
    got += n;
  }
  return got;
}

bool differ_quietly(input_list& in1, input_list& in2) {
  const page_block block1 = make_page_block(block_size);
  const page_block block2 = make_page_block(block_size);
  for (;;) {
    const std::size_t n1 = read_full(in1, {block1.get(), block_size});
    const std::size_t n2 = read_full(in2, {block2.get(), block_size});
    if (n1 != n2 || std::memcmp(block1.get(), block2.get(), n1) != 0) return true;
    if (n1 < block_size) return false;
  }
}

}  // namespace

bool diff(const std::string& first, const std::string& second, const output& out,
          const diff_options& o) {
  input_list in1({first}, out);
  input_list in2({second}, out);
  if (o.quiet) return differ_quietly(in1, in2);
  text_buffer text(out);
  hunk_printer printer(text, quote_name(first), quote_name(second), o);
  const auto source = [](input_list& in) {
    return [&in](std::span<std::uint8_t> into) {
      return in.read({reinterpret_cast<char*>(into.data()), into.size()});
    };
  };
  const bool differ =
      mivo::diff(source(in1), source(in2), [&](const mivo::diff_run& r) { return printer.add(r); });
  printer.finish();
  text.flush();
  return differ;
}

}  // namespace mivo_cli
